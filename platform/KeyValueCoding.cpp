#include "platform/KeyValueCoding.hpp"

#include <algorithm>

namespace platform {

const KeyValueCoding::Key* KeyValueCoding::find(std::string_view key) const {
    // A class declares a handful of keys: a scan beats any index.
    for (const Key& entry : keys_) {
        if (entry.name == key) return &entry;
    }
    return nullptr;
}

Value KeyValueCoding::valueForKey(std::string_view key) const {
    const Key* entry = find(key);
    return entry && entry->get ? entry->get(*this) : Value();
}

bool KeyValueCoding::setValueForKey(const Value& value, std::string_view key) {
    const Key* entry = find(key);
    if (!entry || !entry->set) return false;
    entry->set(*this, value);
    return true;
}

bool KeyValueCoding::isKeyWritable(std::string_view key) const {
    const Key* entry = find(key);
    return entry && entry->set;
}

std::vector<std::string> KeyValueCoding::keys() const {
    std::vector<std::string> out;
    for (const Key& entry : keys_) {
        if (find(entry.name) == &entry) out.emplace_back(entry.name);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace platform
