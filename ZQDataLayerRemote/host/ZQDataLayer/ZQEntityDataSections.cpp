#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSections.hpp"

#include <stdexcept>
#include <string>
#include <utility>

namespace {

class HeldItems : public ZQEntityDataSections::Source {
  public:
    explicit HeldItems(std::vector<ZQEntityDataItems> sections) : sections_(std::move(sections)) {}
    size_t sectionCount() const override { return sections_.size(); }
    size_t sectionSize(size_t section) const override { return sections_[section].size(); }
    std::shared_ptr<ZQEntityData> item(size_t section, size_t index) const override {
        return sections_[section][index];
    }

  private:
    const std::vector<ZQEntityDataItems> sections_;
};

}  // namespace

ZQEntityDataSections::ZQEntityDataSections(std::vector<ZQEntityDataItems> sections)
    : source_(std::make_shared<HeldItems>(std::move(sections))) {}

ZQEntityDataSections::ZQEntityDataSections(std::initializer_list<ZQEntityDataItems> sections)
    : ZQEntityDataSections(std::vector<ZQEntityDataItems>(sections)) {}

ZQEntityDataSections::ZQEntityDataSections(std::shared_ptr<const Source> source)
    : source_(std::move(source)) {}

ZQEntityDataSections::Section ZQEntityDataSections::at(size_t i) const {
    if (i >= size())
        throw std::out_of_range("ZQEntityDataSections: no section " + std::to_string(i));
    return (*this)[i];
}

size_t ZQEntityDataSections::rowCount() const {
    size_t rows = 0;
    for (size_t i = 0; i < size(); ++i) rows += source_->sectionSize(i);
    return rows;
}

std::shared_ptr<ZQEntityData> ZQEntityDataSections::Section::at(size_t i) const {
    if (i >= size_) throw std::out_of_range("ZQEntityDataSections: no item " + std::to_string(i));
    return (*this)[i];
}

ZQEntityDataItems ZQEntityDataSections::Section::items() const {
    ZQEntityDataItems out;
    out.reserve(size_);
    for (size_t i = 0; i < size_; ++i) out.push_back((*this)[i]);
    return out;
}
