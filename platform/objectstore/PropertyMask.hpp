// One flag per property of an entity, such as which properties an object changed since its last
// save: kept inline for entities of up to 128 properties, so that an object's flags cost no
// allocation of their own. Value type; used on one thread at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <tuple>
#include <vector>

namespace platform {

class PropertyMask {
  public:
    PropertyMask() = default;
    explicit PropertyMask(size_t size) { assign(size); }

    // `size` flags, all clear.
    void assign(size_t size) {
        size_ = size;
        inline_[0] = inline_[1] = 0;
        if (size > kInlineBits) {
            heap_.assign((size + 63) / 64, 0);
        } else {
            heap_.clear();
        }
    }
    // Clears every flag.
    void clear() { assign(size_); }
    size_t size() const { return size_; }
    bool operator[](size_t i) const { return (words()[i / 64] >> (i % 64)) & 1u; }
    void set(size_t i, bool value = true) {
        uint64_t bit = uint64_t{1} << (i % 64);
        uint64_t& word = words()[i / 64];
        word = value ? (word | bit) : (word & ~bit);
    }
    size_t count() const {
        size_t n = 0;
        for (size_t w = 0; w < wordCount(); ++w)
            n += static_cast<size_t>(__builtin_popcountll(words()[w]));
        return n;
    }

    bool operator==(const PropertyMask& other) const {
        return size_ == other.size_ && std::equal(words(), words() + wordCount(), other.words());
    }
    bool operator<(const PropertyMask& other) const {
        if (size_ != other.size_) return size_ < other.size_;
        return std::lexicographical_compare(words(), words() + wordCount(), other.words(),
                                            other.words() + other.wordCount());
    }

  private:
    static constexpr size_t kInlineBits = 128;
    size_t wordCount() const { return (size_ + 63) / 64; }
    const uint64_t* words() const { return size_ > kInlineBits ? heap_.data() : inline_; }
    uint64_t* words() { return size_ > kInlineBits ? heap_.data() : inline_; }

    size_t size_ = 0;
    uint64_t inline_[2] = {};
    std::vector<uint64_t> heap_;
};

}  // namespace platform
