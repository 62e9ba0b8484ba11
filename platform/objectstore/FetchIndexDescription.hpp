// A fetch index of an entity: a name and ordered elements (property, binary collation, ascending
// or descending), made into an SQL index by the stores. Value type, owned by its entity; read-only
// and shared by every thread once the model is frozen.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

struct FetchIndexElementDescription {
    enum class Collation { Binary };
    std::string propertyName;
    bool ascending = true;
    Collation collation = Collation::Binary;

    bool operator==(const FetchIndexElementDescription&) const = default;
};

class FetchIndexDescription {
  public:
    FetchIndexDescription() = default;
    FetchIndexDescription(std::string name, std::vector<FetchIndexElementDescription> elements)
        : name_(std::move(name)), elements_(std::move(elements)) {}

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::vector<FetchIndexElementDescription>& elements() const { return elements_; }
    void setElements(std::vector<FetchIndexElementDescription> elements) {
        elements_ = std::move(elements);
    }

    // Searched only among the members of one owner (a query's rows by position, never the rows
    // of every query at once). An entity's first fetch index follows the foreign key in the SQL
    // index of each of its to-one relationships; one searched within an owner then needs no SQL
    // index of its own, and every insert keeps one index fewer up to date. A storage hint: not
    // part of the model's version hash or its file.
    bool isSearchedWithinOwner() const { return searchedWithinOwner_; }
    void setSearchedWithinOwner(bool searched) { searchedWithinOwner_ = searched; }

    bool operator==(const FetchIndexDescription&) const = default;

  private:
    std::string name_;
    std::vector<FetchIndexElementDescription> elements_;
    bool searchedWithinOwner_ = false;
};

}  // namespace platform
