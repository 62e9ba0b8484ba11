#include "platform/objectstore/ModelFile.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/objectstore/ManagedObjectModel.hpp"

namespace platform {

namespace {

constexpr const char* kMagic = "zq-managed-object-model 1";

std::string encode(const std::string& s) {
    if (s.empty()) return "%";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c == '%' || c == 0x7f) {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool decode(const std::string& token, std::string& out) {
    out.clear();
    if (token == "%") return true;
    for (size_t i = 0; i < token.size(); ++i) {
        if (token[i] != '%') {
            out += token[i];
            continue;
        }
        if (i + 2 >= token.size()) return false;
        char* end = nullptr;
        std::string hex = token.substr(i + 1, 2);
        long v = std::strtol(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 2) return false;
        out += static_cast<char>(v);
        i += 2;
    }
    return true;
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> tokens;
    std::istringstream in(line);
    std::string t;
    while (in >> t) tokens.push_back(t);
    return tokens;
}

bool toInt(const std::string& s, int64_t& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0') return false;
    out = v;
    return true;
}

struct Parser {
    std::shared_ptr<ManagedObjectModel> model = ManagedObjectModel::create();
    std::vector<std::shared_ptr<EntityDescription>> entities;
    std::vector<std::shared_ptr<PropertyDescription>> properties;
    std::vector<FetchIndexDescription> indexes;
    std::vector<std::pair<std::string, std::vector<std::shared_ptr<EntityDescription>>>> configs;
    bool ended = false;
    bool entityOpen = false;

    void finishEntity() {
        if (!entityOpen) return;
        entityOpen = false;
        entities.back()->setProperties(std::move(properties));
        entities.back()->setIndexes(std::move(indexes));
        properties.clear();
        indexes.clear();
    }

    bool line(const std::vector<std::string>& t) {
        std::vector<std::string> s(t.size());
        for (size_t i = 0; i < t.size(); ++i) {
            if (!decode(t[i], s[i])) return false;
        }
        int64_t a = 0, b = 0, c = 0, d = 0, e = 0;
        if (s[0] == "entity" && s.size() == 3) {
            finishEntity();
            entities.push_back(EntityDescription::create(s[1], s[2]));
            entityOpen = true;
        } else if (s[0] == "attribute" && s.size() == 4 && entityOpen) {
            if (!toInt(s[2], a) || !toInt(s[3], b)) return false;
            auto type = static_cast<AttributeType>(a);
            if (!isStorableAttributeType(type) || a % 100 != 0 || a > 1000) return false;
            properties.push_back(AttributeDescription::create(s[1], type, b != 0));
        } else if (s[0] == "relationship" && s.size() == 9 && entityOpen) {
            if (!toInt(s[4], a) || !toInt(s[5], b) || !toInt(s[6], c) || !toInt(s[7], d) ||
                !toInt(s[8], e) || (d != 1 && d != 2)) {
                return false;
            }
            auto r =
                RelationshipDescription::create(s[1], s[2], b != 1, static_cast<DeleteRule>(d));
            r->setInverseName(s[3]);
            r->setMinCount(a);
            r->setMaxCount(b);
            r->setOrdered(c != 0);
            r->setOptional(e != 0);
            properties.push_back(r);
        } else if (s[0] == "index" && s.size() == 2 && entityOpen) {
            indexes.emplace_back(s[1], std::vector<FetchIndexElementDescription>{});
        } else if (s[0] == "searched-within-owner" && s.size() == 1 && entityOpen &&
                   !indexes.empty()) {
            indexes.back().setSearchedWithinOwner(true);
        } else if (s[0] == "element" && s.size() == 4 && entityOpen && !indexes.empty() &&
                   s[3] == "binary") {
            if (!toInt(s[2], a)) return false;
            auto elements = indexes.back().elements();
            elements.push_back({s[1], a != 0, FetchIndexElementDescription::Collation::Binary});
            indexes.back().setElements(std::move(elements));
        } else if (s[0] == "configuration" && s.size() >= 2) {
            finishEntity();
            std::vector<std::shared_ptr<EntityDescription>> members;
            for (size_t i = 2; i < s.size(); ++i) {
                std::shared_ptr<EntityDescription> found;
                for (const auto& entity : entities) {
                    if (entity->name() == s[i]) found = entity;
                }
                if (!found) return false;
                members.push_back(found);
            }
            configs.emplace_back(s[1], std::move(members));
        } else if (s[0] == "end" && s.size() == 1) {
            finishEntity();
            ended = true;
        } else {
            return false;
        }
        return true;
    }
};

ErrorPtr foreign(const std::string& what) {
    return Error::create(kErrorDomain, errc::kInvalidFile,
                         "The managed object model " + what + " is not in the model file format");
}

}  // namespace

std::string ModelFile::serialize(const ManagedObjectModel& model, bool withStorageHints) {
    std::string out = std::string(kMagic) + "\n";
    for (const auto& entity : model.entities()) {
        out += "entity " + encode(entity->name()) + " " + encode(entity->managedObjectClassName()) +
               "\n";
        for (const auto& p : entity->properties()) {
            if (auto* a = dynamic_cast<const AttributeDescription*>(p.get())) {
                out += "attribute " + encode(a->name()) + " " +
                       std::to_string(static_cast<int>(a->attributeType())) + " " +
                       (a->isOptional() ? "1" : "0") + "\n";
            } else if (auto* r = dynamic_cast<const RelationshipDescription*>(p.get())) {
                out += "relationship " + encode(r->name()) + " " +
                       encode(r->destinationEntityName()) + " " + encode(r->inverseName()) + " " +
                       std::to_string(r->minCount()) + " " + std::to_string(r->maxCount()) + " " +
                       (r->isOrdered() ? "1" : "0") + " " +
                       std::to_string(static_cast<int>(r->deleteRule())) + " " +
                       (r->isOptional() ? "1" : "0") + "\n";
            }
        }
        for (const auto& index : entity->indexes()) {
            out += "index " + encode(index.name()) + "\n";
            if (withStorageHints && index.isSearchedWithinOwner()) out += "searched-within-owner\n";
            for (const auto& element : index.elements()) {
                out += "element " + encode(element.propertyName) + " " +
                       (element.ascending ? "1" : "0") + " binary\n";
            }
        }
    }
    for (const auto& [name, members] : model.configurationTable()) {
        out += "configuration " + encode(name);
        for (const auto& m : members) out += " " + encode(m);
        out += "\n";
    }
    out += "end\n";
    return out;
}

std::shared_ptr<ManagedObjectModel> ModelFile::parse(const std::string& text, ErrorPtr& error) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) {
        error = foreign("text");
        return nullptr;
    }
    Parser parser;
    while (std::getline(in, line)) {
        auto tokens = split(line);
        if (tokens.empty()) continue;
        if (parser.ended || !parser.line(tokens)) {
            error = foreign("text");
            return nullptr;
        }
    }
    if (!parser.ended) {
        error = foreign("text (truncated)");
        return nullptr;
    }
    parser.model->setEntities(parser.entities);
    for (const auto& [name, members] : parser.configs) {
        parser.model->setEntitiesForConfiguration(members, name);
    }
    error = nullptr;
    return parser.model;
}

ErrorPtr ModelFile::write(const ManagedObjectModel& model, const std::string& path) {
    // Written beside the target and renamed, so a reader never sees half a file.
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << serialize(model);
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return Error::create(kErrorDomain, errc::kFileWriteUnknown,
                                 "Could not write the managed object model to " + path);
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Error::create(kErrorDomain, errc::kFileWriteUnknown,
                             "Could not write the managed object model to " + path);
    }
    return nullptr;
}

std::shared_ptr<ManagedObjectModel> ModelFile::read(const std::string& path, ErrorPtr& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = Error::create(kErrorDomain, errc::kFileReadUnknown,
                              "Could not read the managed object model at " + path);
        return nullptr;
    }
    std::ostringstream text;
    text << in.rdbuf();
    auto model = parse(text.str(), error);
    if (!model) error = foreign("at " + path);
    return model;
}

}  // namespace platform
