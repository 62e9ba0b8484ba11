// Key-value access to an object's declared keys, used by operations that copy values between
// objects by key name (a data setter copying "parsedData" from a loader into a result). Each class
// declares its keys once, in a static table of names and accessors, so that making an object
// declares nothing. The table is read-only, so look-ups need no lock from this class. The accessors
// apply the object's own locking, and that alone decides which threads may use them.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.hpp"

namespace platform {

class KeyValueCoding {
  public:
    // A declared key. The accessors receive the object whose table names them, as its base.
    struct Key {
        std::string_view name;
        Value (*get)(const KeyValueCoding& self);
        void (*set)(KeyValueCoding& self, const Value& value);  // null for a read-only key
    };

    virtual ~KeyValueCoding() = default;

    // Absent for an undeclared key.
    Value valueForKey(std::string_view key) const;
    // False, and nothing set, for an undeclared or read-only key.
    [[nodiscard]] bool setValueForKey(const Value& value, std::string_view key);

    bool hasKey(std::string_view key) const { return find(key) != nullptr; }
    bool isKeyWritable(std::string_view key) const;
    // In name order.
    std::vector<std::string> keys() const;

  protected:
    // The table must outlive the object: a static array of the class. A subclass passes its own
    // table, which replaces its base's and lists the base keys it keeps; where a name appears
    // twice, the first entry counts.
    explicit KeyValueCoding(std::span<const Key> keys) : keys_(keys) {}

  private:
    const Key* find(std::string_view key) const;

    std::span<const Key> keys_;
};

}  // namespace platform
