// Key-value access to an object's declared keys, used by operations that copy values between
// objects by key name (a data setter copying "parsedData" from a loader into a result). Subclasses
// declare their keys, with a getter and an optional setter, in their constructors only; after
// construction the table is read-only, so look-ups need no lock from this class. The getters and
// setters apply the object's own locking, and that alone decides which threads may use them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Value.hpp"

namespace platform {

class KeyValueCoding {
  public:
    using Getter = std::function<Value()>;
    using Setter = std::function<void(const Value&)>;

    virtual ~KeyValueCoding() = default;
    // The accessors capture the object they belong to, so a copy would read and write the
    // original.
    KeyValueCoding(const KeyValueCoding&) = delete;
    KeyValueCoding& operator=(const KeyValueCoding&) = delete;

    // Absent for an undeclared key.
    Value valueForKey(std::string_view key) const;
    // False, and nothing set, for an undeclared or read-only key.
    [[nodiscard]] bool setValueForKey(const Value& value, std::string_view key);

    bool hasKey(std::string_view key) const { return accessors_.find(key) != accessors_.end(); }
    bool isKeyWritable(std::string_view key) const;
    std::vector<std::string> keys() const;

  protected:
    KeyValueCoding() = default;
    // Constructors only. A key declared again (by a subclass, whose constructor runs later)
    // takes the new accessors. Without a setter the key is read-only.
    void declareKey(std::string key, Getter getter, Setter setter = nullptr);

  private:
    struct Accessors {
        Getter getter;
        Setter setter;
    };
    std::map<std::string, Accessors, std::less<>> accessors_;
};

}  // namespace platform
