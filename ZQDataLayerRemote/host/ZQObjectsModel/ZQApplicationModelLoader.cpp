#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"

#include <fstream>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQFieldServicesModelReader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelFileReader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModelReader.hpp"

using platform::Dictionary;
using platform::Value;
using R = ZQModelFileReader;

namespace {

constexpr uint64_t kMaxLength = 100000;

// One load: the model being built and where each attribute was defined, for messages.
class ModelBuilder {
  public:
    ModelBuilder(std::string name, std::filesystem::path modelFilePath)
        : model_(std::make_shared<ZQApplicationModel>(std::move(name), std::move(modelFilePath))) {}

    std::shared_ptr<ZQApplicationModel> build(const Dictionary& root) {
        R::allowMembers(root, "",
                        {"formatVersion", "name", "appServerBaseUrl", "domains", "attributes",
                         "structuredTypes", "businessComponents", "workWiths", "dataServices",
                         "fieldServices", "promptRules"});
        if (auto version = R::optionalUnsigned(root, "", "formatVersion", 1000);
            version && *version != 1)
            R::fail("formatVersion", "unsupported format version " + std::to_string(*version));
        if (auto base = R::optionalString(root, "", "appServerBaseUrl")) {
            auto url = platform::URL::fromString(*base);
            if (!url) R::fail("appServerBaseUrl", "not an absolute URL: \"" + *base + "\"");
            model_->setAppServerBaseUrl(url);
        }
        readDomains(R::optionalArray(root, "", "domains"));
        readStructuredTypes(R::optionalArray(root, "", "structuredTypes"));
        const auto& attributes = R::optionalArray(root, "", "attributes");
        for (size_t i = 0; i < attributes.size(); ++i)
            defineAttribute(attributes[i], R::element("attributes", i), true);
        readBusinessComponents(R::optionalArray(root, "", "businessComponents"));
        resolveStructuredTypes();
        checkAttributeReferences();
        // Every definition is read and resolved by now, wherever it was written.
        for (const auto& attribute : levelAttributes_)
            attribute->setFieldInfo(model_->attributeInfoNamed(attribute->name()));
        ZQWorkWithModelReader(*model_).readWorkWiths(R::optionalArray(root, "", "workWiths"),
                                                     "workWiths");
        ZQFieldServicesModelReader(*model_).read(root);
        return model_;
    }

  private:
    void readDomains(const platform::Array& domains) {
        std::map<std::string, std::string> seen;
        for (size_t i = 0; i < domains.size(); ++i) {
            std::string path = R::element("domains", i);
            const auto& object = R::object(domains[i], path);
            R::allowMembers(object, path, {"name", "type", "length", "decimals"});
            std::string name = R::requiredString(object, path, "name");
            noDuplicate(seen, name, path, "domain");
            model_->addDomainInfo(ZQApplicationModelLoader::readTypeSpec(
                object, path, name, ZQApplicationModelLoader::kTypeSpecOwn, true));
        }
    }

    void readStructuredTypes(const platform::Array& types) {
        std::map<std::string, std::string> seen;
        for (size_t i = 0; i < types.size(); ++i) {
            std::string path = R::element("structuredTypes", i);
            const auto& object = R::object(types[i], path);
            R::allowMembers(object, path, {"name", "members"});
            std::string name = R::requiredString(object, path, "name");
            noDuplicate(seen, name, path, "structured type");
            auto sdt = std::make_shared<ZQStructuredDataTypeInfo>(name);
            const auto& members = R::requiredArray(object, path, "members");
            std::string membersPath = R::member(path, "members");
            std::map<std::string, std::string> memberNames;
            for (size_t m = 0; m < members.size(); ++m) {
                std::string memberPath = R::element(membersPath, m);
                const auto& memberObject = R::object(members[m], memberPath);
                for (const auto& [key, value] : memberObject)
                    if (key != "name" && !ZQApplicationModelLoader::isTypeSpecMember(key))
                        R::fail(R::member(memberPath, key), "unknown member");
                std::string memberName = R::requiredString(memberObject, memberPath, "name");
                noDuplicate(memberNames, memberName, memberPath, "member");
                auto info = ZQApplicationModelLoader::readTypeSpec(
                    memberObject, memberPath, memberName, ZQApplicationModelLoader::kTypeSpecAny,
                    true);
                if (info->basedOnType() == ZQTypedObjectBasedOnSDT ||
                    info->basedOnType() == ZQTypedObjectBasedOnSDTCollection)
                    sdtReferences_[ZQLowercaseName(name)].push_back(
                        {ZQLowercaseName(info->basedOnName()), memberPath});
                pendingMembers_.push_back({info, memberPath});
                sdt->addMember(std::move(info));
            }
            model_->addSDTInfo(std::move(sdt));
        }
    }

    // An attribute definition (type or domain); required says whether one must be there.
    // Returns the attribute's name.
    std::string defineAttribute(const Value& value, const std::string& path, bool required,
                                bool* defined = nullptr) {
        const auto& object = R::object(value, path);
        std::string name = R::requiredString(object, path, "name");
        auto info = ZQApplicationModelLoader::readTypeSpec(
            object, path, name,
            ZQApplicationModelLoader::kTypeSpecOwn | ZQApplicationModelLoader::kTypeSpecDomain,
            required);
        if (defined) *defined = info != nullptr;
        if (!info) return name;
        if (required)
            R::allowMembers(object, path, {"name", "type", "length", "decimals", "domain"});
        std::string key = ZQLowercaseName(name);
        if (auto it = attributePaths_.find(key); it != attributePaths_.end())
            R::fail(path, "attribute \"" + name + "\" is already defined at " + it->second);
        attributePaths_[key] = path;
        if (info->basedOnType() == ZQTypedObjectBasedOnDomain &&
            !ZQApplicationModelLoader::resolve(*info, *model_))
            R::fail(R::member(path, "domain"), "no domain named \"" + info->basedOnName() + "\"");
        model_->addAttributeInfo(std::move(info));
        return name;
    }

    void readBusinessComponents(const platform::Array& components) {
        std::map<std::string, std::string> seen;
        for (size_t i = 0; i < components.size(); ++i) {
            std::string path = R::element("businessComponents", i);
            const auto& object = R::object(components[i], path);
            R::allowMembers(object, path, {"name", "levels"});
            std::string name = R::requiredString(object, path, "name");
            noDuplicate(seen, name, path, "business component");
            auto component = std::make_shared<ZQBusinessComponentModel>(name);
            readLevels(*component, component, R::requiredArray(object, path, "levels"),
                       R::member(path, "levels"));
            model_->addBusinessComponent(std::move(component));
        }
    }

    void readLevels(ZQBusinessComponentModel& component,
                    const std::shared_ptr<ZQBusinessComponentModel>& owner,
                    const platform::Array& levels, const std::string& path) {
        if (levels.empty()) R::fail(path, "a business component needs at least its root level");
        std::map<std::string, std::shared_ptr<ZQBusinessComponentLevel>> byName;
        for (size_t i = 0; i < levels.size(); ++i) {
            std::string levelPath = R::element(path, i);
            const auto& object = R::object(levels[i], levelPath);
            R::allowMembers(object, levelPath, {"name", "levelName", "parent", "attributes"});
            std::string name = R::requiredString(object, levelPath, "name");
            auto levelName = R::optionalString(object, levelPath, "levelName").value_or(name);
            if (byName.count(name))
                R::fail(R::member(levelPath, "name"), "duplicate level \"" + name + "\"");
            auto level = std::make_shared<ZQBusinessComponentLevel>(name, levelName);
            level->setBusinessComponent(owner);
            auto parentName = R::optionalString(object, levelPath, "parent");
            if (i == 0 && parentName)
                R::fail(R::member(levelPath, "parent"),
                        "the first level is the root level and has no parent");
            if (i > 0 && !parentName)
                R::fail(R::member(levelPath, "parent"), "missing required member");
            if (parentName) {
                auto parent = byName.find(*parentName);
                if (parent == byName.end())
                    R::fail(R::member(levelPath, "parent"),
                            "no earlier level named \"" + *parentName + "\"");
                level->setParentLevel(parent->second);
                parent->second->addChildLevel(level);
            }
            const auto& attributes = R::requiredArray(object, levelPath, "attributes");
            std::string attributesPath = R::member(levelPath, "attributes");
            for (size_t a = 0; a < attributes.size(); ++a) {
                std::string attributePath = R::element(attributesPath, a);
                const auto& attributeObject = R::object(attributes[a], attributePath);
                R::allowMembers(attributeObject, attributePath,
                                {"name", "key", "type", "length", "decimals", "domain"});
                bool defined = false;
                std::string attributeName =
                    defineAttribute(attributes[a], attributePath, false, &defined);
                if (!defined) references_.push_back({attributeName, attributePath});
                bool isKey = R::optionalBool(attributeObject, attributePath, "key", false);
                auto attribute =
                    std::make_shared<ZQBusinessComponentAttribute>(attributeName, isKey);
                levelAttributes_.push_back(attribute);
                level->addAttribute(std::move(attribute));
            }
            byName[name] = level;
            component.addLevel(level);
        }
    }

    void resolveStructuredTypes() {
        // Checked before anything is resolved: a resolved cycle would be a cycle of owners that
        // outlives the model.
        std::map<std::string, int> state;  // 1 while its members are walked, 2 once done
        for (const auto& entry : sdtReferences_) rejectCycleFrom(entry.first, state);
        for (const auto& [info, path] : pendingMembers_) {
            if (info->basedOnType() == ZQTypedObjectBasedOnNone) continue;
            if (!ZQApplicationModelLoader::resolve(*info, *model_))
                R::fail(path, "no definition named \"" + info->basedOnName() + "\"");
        }
    }

    // A structured type that contains itself, directly or through others, has no finite value.
    void rejectCycleFrom(const std::string& type, std::map<std::string, int>& state) {
        int& mark = state[type];
        if (mark == 2) return;
        mark = 1;
        auto found = sdtReferences_.find(type);
        if (found != sdtReferences_.end()) {
            for (const auto& [target, path] : found->second) {
                auto seen = state.find(target);
                if (seen != state.end() && seen->second == 1)
                    R::fail(path, "structured type \"" + model_->sdtInfoNamed(target)->name() +
                                      "\" contains itself");
                rejectCycleFrom(target, state);
            }
        }
        state[type] = 2;
    }

    void checkAttributeReferences() {
        for (const auto& [name, path] : references_)
            if (!model_->attributeInfoNamed(name))
                R::fail(R::member(path, "name"), "attribute \"" + name + "\" is not defined");
    }

    static void noDuplicate(std::map<std::string, std::string>& seen, const std::string& name,
                            const std::string& path, const char* what) {
        auto [it, inserted] = seen.emplace(ZQLowercaseName(name), path);
        if (!inserted)
            R::fail(R::member(path, "name"),
                    std::string(what) + " \"" + name + "\" is already defined at " + it->second);
    }

    std::shared_ptr<ZQApplicationModel> model_;
    std::map<std::string, std::string> attributePaths_;
    std::vector<std::pair<std::shared_ptr<ZQTypedObjectInfo>, std::string>> pendingMembers_;
    std::vector<std::pair<std::string, std::string>> references_;
    // Structured type (lower case) -> the structured types its members name, with each member's
    // path.
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> sdtReferences_;
    std::vector<std::shared_ptr<ZQBusinessComponentAttribute>> levelAttributes_;
};

platform::ErrorPtr modelError(const std::string& source, std::string description, Dictionary info) {
    info.set(ZQModelErrorFileKey, Value(source));
    return platform::Error::create(ZQModelErrorDomain, 0, std::move(description), std::move(info));
}

}  // namespace

bool ZQApplicationModelLoader::isTypeSpecMember(std::string_view key) {
    return key == "type" || key == "length" || key == "decimals" || key == "domain" ||
           key == "attribute" || key == "sdt" || key == "collection";
}

std::shared_ptr<ZQTypedObjectInfo> ZQApplicationModelLoader::readTypeSpec(const Dictionary& object,
                                                                          const std::string& path,
                                                                          std::string name,
                                                                          unsigned allowed,
                                                                          bool required) {
    struct Kind {
        const char* key;
        unsigned flag;
    };
    const Kind kinds[] = {{"type", kTypeSpecOwn},
                          {"domain", kTypeSpecDomain},
                          {"attribute", kTypeSpecAttribute},
                          {"sdt", kTypeSpecSDT}};
    const Kind* found = nullptr;
    for (const auto& kind : kinds) {
        if (!object.contains(kind.key)) continue;
        if (!(allowed & kind.flag)) R::fail(R::member(path, kind.key), "not allowed here");
        if (found)
            R::fail(R::member(path, kind.key), std::string("give only one of \"") + found->key +
                                                   "\" and \"" + kind.key + "\"");
        found = &kind;
    }
    bool own = found && found->flag == kTypeSpecOwn;
    if (!own && (object.contains("length") || object.contains("decimals")))
        R::fail(R::member(path, object.contains("length") ? "length" : "decimals"),
                "only allowed with \"type\"");
    if (object.contains("collection") && !(found && found->flag == kTypeSpecSDT))
        R::fail(R::member(path, "collection"), "only allowed with \"sdt\"");
    if (!found) {
        if (required) R::fail(R::member(path, "type"), "missing required member");
        return nullptr;
    }
    std::string reference = R::requiredString(object, path, found->key);
    switch (found->flag) {
        case kTypeSpecOwn: {
            auto type = ZQDataTypeFromName(reference);
            if (!type) R::fail(R::member(path, "type"), "unknown data type \"" + reference + "\"");
            auto length = R::optionalUnsigned(object, path, "length", kMaxLength);
            auto decimals = R::optionalUnsigned(object, path, "decimals", kMaxLength).value_or(0);
            if (*type == ZQDataTypeNumeric && !length)
                R::fail(R::member(path, "length"),
                        "missing required member (numeric types need a length)");
            if (decimals > 0 && (*type != ZQDataTypeNumeric || decimals + 1 >= length.value_or(0)))
                R::fail(
                    R::member(path, "decimals"),
                    "decimals need a numeric type whose length holds them, the point and a digit");
            return std::make_shared<ZQTypedObjectInfo>(std::move(name), *type,
                                                       static_cast<uint32_t>(length.value_or(0)),
                                                       static_cast<uint32_t>(decimals));
        }
        case kTypeSpecDomain:
            return std::make_shared<ZQTypedObjectInfo>(std::move(name), ZQTypedObjectBasedOnDomain,
                                                       reference);
        case kTypeSpecAttribute:
            return std::make_shared<ZQTypedObjectInfo>(std::move(name),
                                                       ZQTypedObjectBasedOnAttribute, reference);
        default: {
            bool collection = R::optionalBool(object, path, "collection", false);
            return std::make_shared<ZQTypedObjectInfo>(
                std::move(name),
                collection ? ZQTypedObjectBasedOnSDTCollection : ZQTypedObjectBasedOnSDT,
                reference);
        }
    }
}

bool ZQApplicationModelLoader::resolve(ZQTypedObjectInfo& info, const ZQApplicationModel& model) {
    std::shared_ptr<const ZQTypedObjectInfo> target;
    switch (info.basedOnType()) {
        case ZQTypedObjectBasedOnNone:
            return true;
        case ZQTypedObjectBasedOnAttribute:
            target = model.attributeInfoNamed(info.basedOnName());
            break;
        case ZQTypedObjectBasedOnDomain:
            target = model.domainInfoNamed(info.basedOnName());
            break;
        case ZQTypedObjectBasedOnSDT:
        case ZQTypedObjectBasedOnSDTCollection:
            target = model.sdtInfoNamed(info.basedOnName());
            break;
    }
    if (!target) return false;
    info.resolveBasedOn(std::move(target));
    return true;
}

ZQApplicationModelLoadResult ZQApplicationModelLoader::loadFromFile(
    const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {nullptr,
                modelError(path.string(), path.string() + ": the model file cannot be read",
                           Dictionary())};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return {nullptr,
                modelError(path.string(), path.string() + ": the model file cannot be read",
                           Dictionary())};
    }
    return loadFromString(text.str(), path.string(), path);
}

ZQApplicationModelLoadResult ZQApplicationModelLoader::loadFromString(
    std::string_view text, std::string_view sourceName,
    const std::filesystem::path& modelFilePath) {
    std::string source(sourceName.empty() ? "model" : sourceName);
    auto parsed = ZQJSON::parse(text);
    if (parsed.error) {
        std::string where = parsed.line ? "line " + std::to_string(parsed.line) + ", column " +
                                              std::to_string(parsed.column)
                                        : std::string("the text");
        Dictionary info;
        if (parsed.line) {
            info.set(ZQModelErrorLineKey, Value(parsed.line));
            info.set(ZQModelErrorColumnKey, Value(parsed.column));
        }
        return {nullptr, modelError(source,
                                    source + ": " + where + ": not valid JSON (" +
                                        parsed.error->localizedDescription() + ")",
                                    std::move(info))};
    }
    try {
        const auto& root = R::object(parsed.value, "");
        std::string name = R::requiredString(root, "", "name");
        ModelBuilder builder(std::move(name), modelFilePath);
        return {builder.build(root), nullptr};
    } catch (const R::Failure& failure) {
        std::string where = failure.path.empty() ? "the top level" : failure.path;
        return {nullptr, modelError(source, source + ": " + where + ": " + failure.message,
                                    Dictionary{{ZQModelErrorPathKey, Value(failure.path)}})};
    }
}
