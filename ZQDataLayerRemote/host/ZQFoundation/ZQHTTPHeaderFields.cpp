#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPHeaderFields.hpp"

#include <algorithm>

namespace {
char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

ZQHTTPHeaderFields::ZQHTTPHeaderFields(std::initializer_list<Field> fields) {
    for (const Field& field : fields) add(field.first, field.second);
}

bool ZQHTTPHeaderFields::namesEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

void ZQHTTPHeaderFields::set(std::string_view name, std::string value) {
    for (Field& field : fields_) {
        if (namesEqual(field.first, name)) {
            field.second = std::move(value);
            return;
        }
    }
    fields_.emplace_back(std::string(name), std::move(value));
}

ZQHTTPHeaderFields ZQHTTPHeaderFields::fromReceived(std::vector<Field> fields) {
    ZQHTTPHeaderFields result;
    size_t kept = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        auto first =
            std::find_if(fields.begin(), fields.begin() + static_cast<ptrdiff_t>(kept),
                         [&](const Field& f) { return namesEqual(f.first, fields[i].first); });
        if (first != fields.begin() + static_cast<ptrdiff_t>(kept)) {
            first->second.append(", ").append(fields[i].second);
        } else {
            if (kept != i) fields[kept] = std::move(fields[i]);
            ++kept;
        }
    }
    fields.resize(kept);
    result.fields_ = std::move(fields);
    return result;
}

void ZQHTTPHeaderFields::add(std::string_view name, std::string_view value) {
    for (Field& field : fields_) {
        if (namesEqual(field.first, name)) {
            field.second.append(", ").append(value);
            return;
        }
    }
    fields_.emplace_back(std::string(name), std::string(value));
}

void ZQHTTPHeaderFields::remove(std::string_view name) {
    fields_.erase(std::remove_if(fields_.begin(), fields_.end(),
                                 [&](const Field& f) { return namesEqual(f.first, name); }),
                  fields_.end());
}

const std::string* ZQHTTPHeaderFields::find(std::string_view name) const {
    for (const Field& field : fields_) {
        if (namesEqual(field.first, name)) return &field.second;
    }
    return nullptr;
}

platform::Value ZQHTTPHeaderFields::get(std::string_view name) const {
    const std::string* value = find(name);
    return value ? platform::Value(*value) : platform::Value();
}

platform::Dictionary ZQHTTPHeaderFields::toDictionary() const {
    std::vector<platform::Dictionary::Entry> entries;
    entries.reserve(fields_.size());
    for (const Field& field : fields_)
        entries.emplace_back(field.first, platform::Value(field.second));
    return platform::Dictionary::fromEntries(std::move(entries));
}
