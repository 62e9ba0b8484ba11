#include "ZQDataLayerRemote/cache/operations/ZQEntityDataCacheSectionsBuilder.hpp"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompoundFieldComparator.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryFieldComparator.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"

namespace {

constexpr std::string_view kObjectIDKey = "objectID";
constexpr std::string_view kNonLetterTitle = "#";

bool isASCII(unsigned char c) {
    return c < 0x80;
}

// The Unicode work of the index: first character, letter test, upper-casing and the
// diacritic-insensitive key. Owned by one builder call, so its ICU objects need no lock; the break
// iterator is made on the first value that does not start with plain ASCII, which keeps lists of
// ASCII values (the common case) free of it.
class IndexCharacters {
  public:
    IndexCharacters() = default;
    IndexCharacters(const IndexCharacters&) = delete;
    IndexCharacters& operator=(const IndexCharacters&) = delete;
    ~IndexCharacters() { utext_close(&text_); }

    // The first grapheme cluster of value (empty for an empty value).
    std::string_view firstCharacter(std::string_view value) {
        if (value.empty()) return value;
        // One code point followed by an ASCII character (or by nothing) is a whole cluster, except
        // CR LF and a prepended mark: whatever else extends a cluster lies beyond ASCII. That
        // spares the break rules for most values.
        const auto length = static_cast<int32_t>(std::min<size_t>(value.size(), INT32_MAX));
        int32_t next = 0;
        UChar32 c;
        U8_NEXT(value.data(), next, length, c);
        if (next == length) return value.substr(0, static_cast<size_t>(next));
        const auto following = static_cast<unsigned char>(value[static_cast<size_t>(next)]);
        if (c >= 0 && isASCII(following) && !(c == '\r' && following == '\n') &&
            (c < 0x80 || u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK) != U_GCB_PREPEND))
            return value.substr(0, static_cast<size_t>(next));
        return value.substr(0, clusterLength(value));
    }

    // Every code point is a letter (general category L*). Combining marks (M*) may follow the
    // first one: "e" + U+0301 is the same letter as the precomposed "é", only spelled apart, while
    // a cluster that opens with a stray mark is not a letter.
    static bool isLetter(std::string_view character) {
        if (character.size() == 1) {
            const auto c = static_cast<unsigned char>(character[0]) | 0x20;
            return c >= 'a' && c <= 'z';
        }
        int32_t i = 0;
        const auto length = static_cast<int32_t>(character.size());
        bool first = true;
        while (i < length) {
            UChar32 c;
            U8_NEXT(character.data(), i, length, c);
            if (c < 0) return false;
            const uint32_t allowed = first ? U_GC_L_MASK : (U_GC_L_MASK | U_GC_M_MASK);
            if ((U_GET_GC_MASK(c) & allowed) == 0) return false;
            first = false;
        }
        return !first;
    }

    // Upper case in the root locale (no language-specific rules such as a Turkish dotted I).
    std::string upperCased(std::string_view character) {
        if (character.size() == 1 && isASCII(static_cast<unsigned char>(character[0]))) {
            char c = character[0];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            return std::string(1, c);
        }
        toUTF16(character, utf16_);
        UErrorCode status = U_ZERO_ERROR;
        upper_.resize(utf16_.size() * 3 + 4);
        int32_t length =
            u_strToUpper(upper_.data(), static_cast<int32_t>(upper_.size()), utf16_.data(),
                         static_cast<int32_t>(utf16_.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            status = U_ZERO_ERROR;
            upper_.resize(static_cast<size_t>(length));
            length = u_strToUpper(upper_.data(), length, utf16_.data(),
                                  static_cast<int32_t>(utf16_.size()), "", &status);
        }
        if (U_FAILURE(status)) return std::string(character);
        upper_.resize(static_cast<size_t>(length));
        std::string out;
        icu::UnicodeString(false, upper_.data(), length).toUTF8String(out);
        return out;
    }

    // The code points of character after canonical decomposition with the non-spacing marks
    // dropped: two characters are the same letter, accents aside, when their keys are equal. Case
    // is kept (a collator at primary strength would fold it, and "a" must not continue "A").
    void diacriticFreeKey(std::string_view character, std::u32string& key) {
        key.clear();
        if (character.size() == 1) {
            key.push_back(static_cast<unsigned char>(character[0]));
            return;
        }
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
        if (U_FAILURE(status)) nfd = nullptr;
        const auto length = static_cast<int32_t>(character.size());
        int32_t next = 0;
        UChar32 single;
        U8_NEXT(character.data(), next, length, single);
        const icu::UnicodeString* decomposed = &decomposed_;
        if (next == length && single >= 0) {
            // One code point: its decomposition, when it has one, without a normalisation pass.
            if (!nfd || !nfd->getDecomposition(single, decomposed_)) decomposed_.setTo(single);
        } else {
            source_ = icu::UnicodeString::fromUTF8(icu::StringPiece(character.data(), length));
            decomposed = &source_;
            if (nfd) {
                nfd->normalize(source_, decomposed_, status);
                if (U_SUCCESS(status)) decomposed = &decomposed_;
            }
        }
        for (int32_t i = 0; i < decomposed->length();) {
            const UChar32 c = decomposed->char32At(i);
            i += U16_LENGTH(c);
            if ((U_GET_GC_MASK(c) & U_GC_MN_MASK) == 0) key.push_back(static_cast<char32_t>(c));
        }
    }

  private:
    // Length in bytes of the first grapheme cluster of a non-empty value, found by ICU's
    // character break rules straight on the UTF-8 bytes.
    size_t clusterLength(std::string_view value) {
        UErrorCode status = U_ZERO_ERROR;
        if (!breaks_) {
            breaks_.reset(
                icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
            if (U_FAILURE(status)) breaks_.reset();
        }
        if (breaks_) {
            utext_openUTF8(&text_, value.data(), static_cast<int64_t>(value.size()), &status);
            breaks_->setText(&text_, status);
            if (U_SUCCESS(status)) {
                const int32_t end = breaks_->following(0);
                if (end > 0) return static_cast<size_t>(end);
            }
        }
        // Without break rules, one code point stands for the character.
        int32_t i = 0;
        UChar32 c;
        const auto length = static_cast<int32_t>(std::min<size_t>(value.size(), INT32_MAX));
        U8_NEXT(value.data(), i, length, c);
        return static_cast<size_t>(i);
    }

    static void toUTF16(std::string_view utf8, std::u16string& out) {
        out.resize(utf8.size());
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                             &length, utf8.data(), static_cast<int32_t>(utf8.size()), 0xFFFD,
                             nullptr, &status);
        out.resize(U_SUCCESS(status) ? static_cast<size_t>(length) : 0);
    }

    std::unique_ptr<icu::BreakIterator> breaks_;
    UText text_ = UTEXT_INITIALIZER;
    std::u16string utf16_;
    std::u16string upper_;
    icu::UnicodeString source_;
    icu::UnicodeString decomposed_;
};

}  // namespace

// The sections a walk has cut, and the rows of the one it is filling: an array per section for
// identifier values, one flat list for row numbers.
template <typename Item>
class SectionList {
  public:
    void add(Item item) { current_.push_back(std::move(item)); }
    bool currentEmpty() const { return current_.empty(); }
    void closeCurrent() {
        // The next section is likely about as long as this one: one allocation for it.
        const size_t size = current_.size();
        sections_.emplace_back(std::move(current_));
        current_ = std::vector<Item>();
        current_.reserve(size);
    }
    bool empty() const { return sections_.empty(); }
    void addEmpty() { sections_.emplace_back(); }
    std::vector<std::vector<Item>> take() { return std::move(sections_); }

  private:
    std::vector<std::vector<Item>> sections_;
    std::vector<Item> current_;
};

template <>
class SectionList<int64_t> {
  public:
    void add(int64_t row) { cut_.rows.push_back(row); }
    bool currentEmpty() const {
        return cut_.rows.size() == (cut_.ends.empty() ? 0 : cut_.ends.back());
    }
    void closeCurrent() { cut_.ends.push_back(cut_.rows.size()); }
    bool empty() const { return cut_.ends.empty(); }
    void addEmpty() { cut_.ends.push_back(cut_.rows.size()); }
    ZQEntityDataCacheRowSections take() { return std::move(cut_); }

  private:
    ZQEntityDataCacheRowSections cut_;
};

// One pass over the rows, cutting sections and title runs as the rows come. Lives for one
// builder call (rows as identifier values) or builder object (rows as row numbers).
template <typename Item>
class ZQEntityDataCacheSectionsBuilder::Walk {
  public:
    // grouped: sections follow the grouping attributes (the caller says where one ends); else
    // every title run is a section of its own.
    Walk(bool grouped, bool indexed) : grouped_(grouped), indexed_(indexed) {}

    // breakAfter: with grouping, the next row starts a new section.
    void addRow(Item item, std::optional<std::string_view> text, bool breakAfter) {
        bool startsTitle = false;
        std::string_view character;
        bool letter = false;
        if (indexed_) {
            if (text) character = characters_.firstCharacter(*text);
            letter = !character.empty() && IndexCharacters::isLetter(character);
            if (!title_ || !continuesTitle(character, letter)) {
                if (title_) closeTitle();
                startsTitle = true;
            }
        }
        if (newSection_ || (startsTitle && !grouped_)) closeSection();
        if (startsTitle) startTitle(character, letter);
        sections_.add(std::move(item));
        newSection_ = grouped_ && breakAfter;
    }

    // With grouping, the next row starts a new section.
    void breakBefore() { newSection_ = grouped_; }

    ZQEntityDataCacheSections finish() {
        if (!sections_.currentEmpty()) sections_.closeCurrent();
        // Nothing to cut by: one section, even an empty one.
        if (!grouped_ && !indexed_ && sections_.empty()) sections_.addEmpty();
        ZQEntityDataCacheSections result;
        if constexpr (std::is_same_v<Item, platform::Value>) {
            auto cut = sections_.take();
            platform::Array sections;
            sections.reserve(cut.size());
            for (auto& section : cut) sections.emplace_back(std::move(section));
            result.sections = platform::Value(std::move(sections));
        } else {
            result.rowSections = sections_.take();
        }
        if (!indexed_) return result;
        if (title_) closeTitle();
        result.titles = platform::Value(std::move(titles_));
        std::vector<platform::Dictionary::Entry> entries;
        entries.reserve(ranges_.size());
        for (const auto& [title, range] : ranges_) {
            entries.emplace_back(
                title, platform::Dictionary{
                           {ZQEntityDataCacheSectionsBuilder::kRangeLocationKey, range.location},
                           {ZQEntityDataCacheSectionsBuilder::kRangeLengthKey, range.length}});
        }
        result.ranges = platform::Dictionary::fromEntries(std::move(entries));
        return result;
    }

  private:
    bool continuesTitle(std::string_view character, bool letter) {
        if (!letter || !titleIsLetter_) return letter == titleIsLetter_;
        characters_.diacriticFreeKey(character, rowKey_);
        return rowKey_ == titleKey_;
    }

    void startTitle(std::string_view character, bool letter) {
        titleIsLetter_ = letter;
        title_ = letter ? characters_.upperCased(character) : std::string(kNonLetterTitle);
        // Rows are compared with the title's first character, upper case: "a" will not
        // continue the title "A", while "Á" will.
        if (letter) characters_.diacriticFreeKey(characters_.firstCharacter(*title_), titleKey_);
        titleFirstSection_ = static_cast<uint64_t>(section_);
    }

    // The run ends in the section that holds its last row, which is the current one.
    void closeTitle() {
        const auto last = static_cast<uint64_t>(section_);
        ranges_[*title_] = ZQRange{titleFirstSection_, last - titleFirstSection_ + 1};
        titles_.emplace_back(std::move(*title_));
        title_.reset();
    }

    void closeSection() {
        if (!sections_.currentEmpty()) sections_.closeCurrent();
        ++section_;
    }

    const bool grouped_;
    const bool indexed_;
    IndexCharacters characters_;

    SectionList<Item> sections_;
    int64_t section_ = -1;  // index of the section that current_ will become
    bool newSection_ = true;

    platform::Array titles_;
    std::map<std::string, ZQRange> ranges_;  // a title's later run replaces an earlier one
    std::optional<std::string> title_;
    bool titleIsLetter_ = false;
    std::u32string titleKey_;
    std::u32string rowKey_;
    uint64_t titleFirstSection_ = 0;
};

namespace {

std::shared_ptr<const ZQFieldComparator> comparatorFor(
    const std::vector<std::shared_ptr<const platform::AttributeDescription>>& attributes) {
    std::vector<std::shared_ptr<const ZQFieldComparator>> comparators;
    for (const auto& attribute : attributes)
        if (attribute)
            comparators.push_back(std::make_shared<ZQDictionaryFieldComparator>(attribute->name()));
    if (comparators.empty()) return nullptr;
    if (comparators.size() == 1) return comparators.front();
    return std::make_shared<ZQCompoundFieldComparator>(std::move(comparators));
}

const platform::Dictionary& rowAt(const platform::Array& rows, size_t i) {
    static const platform::Dictionary kNoFields;
    const platform::Dictionary* row = rows[i].dictionary();
    return row ? *row : kNoFields;
}

}  // namespace

ZQEntityDataCacheSections ZQEntityDataCacheSectionsBuilder::sectionsFromRows(
    const platform::Value& rows,
    const std::vector<std::shared_ptr<const platform::AttributeDescription>>& groupingAttributes,
    const std::shared_ptr<const platform::AttributeDescription>& indexAttribute) {
    static const platform::Array kNoRows;
    const platform::Array& list = rows.array() ? *rows.array() : kNoRows;
    auto comparator = comparatorFor(groupingAttributes);

    if (!comparator && !indexAttribute) {
        // Nothing to cut by: one section, empty when there are no rows.
        platform::Array section;
        section.reserve(list.size());
        for (size_t i = 0; i < list.size(); ++i)
            section.push_back(rowAt(list, i).get(kObjectIDKey));
        ZQEntityDataCacheSections result;
        result.sections = platform::Array{platform::Value(std::move(section))};
        return result;
    }

    Walk<platform::Value> walk(comparator != nullptr, indexAttribute != nullptr);
    for (size_t i = 0; i < list.size(); ++i) {
        const platform::Dictionary& row = rowAt(list, i);
        std::optional<std::string_view> text;
        if (indexAttribute) {
            const platform::Value* value = row.find(indexAttribute->name());
            if (std::optional<std::string_view> string = value ? value->string() : std::nullopt) {
                text = *string;
            }
        }
        const bool breakAfter = comparator && i + 1 < list.size() &&
                                !comparator->compareEntity(row, rowAt(list, i + 1));
        walk.addRow(row.get(kObjectIDKey), text, breakAfter);
    }
    return walk.finish();
}

ZQEntityDataCacheSectionsBuilder::ZQEntityDataCacheSectionsBuilder(bool grouped, bool indexed)
    : walk_(std::make_unique<Walk<int64_t>>(grouped, indexed)) {}

ZQEntityDataCacheSectionsBuilder::~ZQEntityDataCacheSectionsBuilder() = default;

void ZQEntityDataCacheSectionsBuilder::addRow(int64_t entityRow,
                                              std::optional<std::string_view> indexText,
                                              bool startsSection) {
    if (startsSection) walk_->breakBefore();
    walk_->addRow(entityRow, indexText, false);
}

ZQEntityDataCacheSections ZQEntityDataCacheSectionsBuilder::finish() {
    return walk_->finish();
}
