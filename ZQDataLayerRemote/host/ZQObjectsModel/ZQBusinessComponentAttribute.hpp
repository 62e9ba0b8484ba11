// One attribute of a business-component level: its name and whether it is part of the level's
// key. Its type is the application model's attribute definition of the same name (looked up by
// the name in lower case). Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <string>
#include <utility>

class ZQBusinessComponentAttribute {
  public:
    ZQBusinessComponentAttribute(std::string name, bool isKey)
        : name_(std::move(name)), isKey_(isKey) {}

    const std::string& name() const { return name_; }
    bool isKey() const { return isKey_; }

  private:
    std::string name_;
    bool isKey_;
};
