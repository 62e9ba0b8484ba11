#include "platform/KeyValueCoding.hpp"

namespace platform {

Value KeyValueCoding::valueForKey(std::string_view key) const {
    auto it = accessors_.find(key);
    if (it == accessors_.end() || !it->second.getter) return Value();
    return it->second.getter();
}

bool KeyValueCoding::setValueForKey(const Value& value, std::string_view key) {
    auto it = accessors_.find(key);
    if (it == accessors_.end() || !it->second.setter) return false;
    it->second.setter(value);
    return true;
}

bool KeyValueCoding::isKeyWritable(std::string_view key) const {
    auto it = accessors_.find(key);
    return it != accessors_.end() && it->second.setter != nullptr;
}

std::vector<std::string> KeyValueCoding::keys() const {
    std::vector<std::string> out;
    out.reserve(accessors_.size());
    for (const auto& entry : accessors_) out.push_back(entry.first);
    return out;
}

void KeyValueCoding::declareKey(std::string key, Getter getter, Setter setter) {
    accessors_.insert_or_assign(std::move(key), Accessors{std::move(getter), std::move(setter)});
}

}  // namespace platform
