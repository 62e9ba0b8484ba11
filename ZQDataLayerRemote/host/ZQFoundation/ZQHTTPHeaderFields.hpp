// HTTP header fields with case-insensitive names: look-ups ignore case, iteration gives the names
// as first spelled, in the order first seen. A value type with no lock; a copy may go to another
// thread, one object is used by one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Value.hpp"

class ZQHTTPHeaderFields {
  public:
    using Field = std::pair<std::string, std::string>;
    using const_iterator = std::vector<Field>::const_iterator;

    ZQHTTPHeaderFields() = default;
    ZQHTTPHeaderFields(std::initializer_list<Field> fields);
    // The fields as received, in order; repeated names combine as add() combines them.
    static ZQHTTPHeaderFields fromReceived(std::vector<Field> fields);

    // Replaces any value of that name (keeping the first spelling of the name).
    void set(std::string_view name, std::string value);
    // Adds to the value of that name, joined with ", " as repeated fields combine (RFC 9110).
    void add(std::string_view name, std::string_view value);
    void remove(std::string_view name);

    const std::string* find(std::string_view name) const;
    // The value as a string Value, absent when the field is missing.
    platform::Value get(std::string_view name) const;
    platform::Value operator[](std::string_view name) const { return get(name); }
    bool contains(std::string_view name) const { return find(name) != nullptr; }

    size_t size() const { return fields_.size(); }
    bool empty() const { return fields_.empty(); }
    const_iterator begin() const { return fields_.begin(); }
    const_iterator end() const { return fields_.end(); }
    // The fields as a dictionary of strings, keyed by the names as spelled here.
    platform::Dictionary toDictionary() const;

    static bool namesEqual(std::string_view a, std::string_view b);

  private:
    std::vector<Field> fields_;
};
