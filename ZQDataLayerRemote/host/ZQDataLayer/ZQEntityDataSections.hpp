// A collection result's rows, cut into sections. Either it holds its items, or it reads them from
// a source that makes (or finds) each item when it is asked for, so that a result of 100,000
// cached rows holds no object for a row nobody looks at. A value type: copies, sections and
// iterators share what they read from. A lazy list's items are made on the thread its source
// belongs to (the main thread for the cache's rows), so it is read on that thread only.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

class ZQEntityData;

using ZQEntityDataItems = std::vector<std::shared_ptr<ZQEntityData>>;

class ZQEntityDataSections {
    // Walks a container by position, handing out what its operator[] makes (by value).
    template <typename Container, typename Value>
    class PositionIterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Value;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Value;

        PositionIterator() = default;
        PositionIterator(const Container* container, size_t index)
            : container_(container), index_(index) {}
        Value operator*() const { return (*container_)[index_]; }
        PositionIterator& operator++() {
            ++index_;
            return *this;
        }
        PositionIterator operator++(int) {
            PositionIterator before = *this;
            ++index_;
            return before;
        }
        bool operator==(const PositionIterator& other) const { return index_ == other.index_; }

      private:
        const Container* container_ = nullptr;
        size_t index_ = 0;
    };

  public:
    class Source {
      public:
        virtual ~Source() = default;
        virtual size_t sectionCount() const = 0;
        virtual size_t sectionSize(size_t section) const = 0;
        // Made (or found) now.
        virtual std::shared_ptr<ZQEntityData> item(size_t section, size_t index) const = 0;
    };

    // One section: its items by position, each made when read.
    class Section {
      public:
        using iterator = PositionIterator<Section, std::shared_ptr<ZQEntityData>>;

        size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        std::shared_ptr<ZQEntityData> operator[](size_t i) const {
            return source_->item(index_, i);
        }
        // Throws std::out_of_range past the end.
        std::shared_ptr<ZQEntityData> at(size_t i) const;
        iterator begin() const { return iterator(this, 0); }
        iterator end() const { return iterator(this, size_); }
        // Every item, made now.
        ZQEntityDataItems items() const;

      private:
        friend class ZQEntityDataSections;
        Section(std::shared_ptr<const Source> source, size_t index)
            : source_(std::move(source)), index_(index), size_(source_->sectionSize(index)) {}
        std::shared_ptr<const Source> source_;
        size_t index_;
        size_t size_;
    };

    using iterator = PositionIterator<ZQEntityDataSections, Section>;

    ZQEntityDataSections() = default;
    // Sections that hold their items.
    ZQEntityDataSections(std::vector<ZQEntityDataItems> sections);  // NOLINT: a list converts
    ZQEntityDataSections(std::initializer_list<ZQEntityDataItems> sections);
    // Sections read from `source` as they are asked for.
    explicit ZQEntityDataSections(std::shared_ptr<const Source> source);

    size_t size() const { return source_ ? source_->sectionCount() : 0; }
    bool empty() const { return size() == 0; }
    Section operator[](size_t i) const { return Section(source_, i); }
    // Throws std::out_of_range past the end.
    Section at(size_t i) const;
    iterator begin() const { return iterator(this, 0); }
    iterator end() const { return iterator(this, size()); }
    // The rows of every section.
    size_t rowCount() const;

  private:
    std::shared_ptr<const Source> source_;
};
