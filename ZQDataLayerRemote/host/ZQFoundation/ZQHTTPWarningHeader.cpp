#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPWarningHeader.hpp"

#include "platform/DateFormat.hpp"

namespace {

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[pos_]; }
    void skipSpaces() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t')) ++pos_;
    }
    bool take(char c) {
        if (peek() != c) return false;
        ++pos_;
        return true;
    }
    std::optional<int64_t> code() {
        if (pos_ + 3 > text_.size()) return std::nullopt;
        int64_t value = 0;
        for (size_t i = 0; i < 3; ++i) {
            char c = text_[pos_ + i];
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        size_t after = pos_ + 3;
        if (after < text_.size() && text_[after] != ' ' && text_[after] != '\t')
            return std::nullopt;
        pos_ = after;
        return value;
    }
    // Up to white space or a comma.
    std::string token() {
        size_t start = pos_;
        while (!atEnd() && peek() != ' ' && peek() != '\t' && peek() != ',') ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }
    // A quoted-string with backslash escapes; an unterminated one runs to the end.
    std::string quoted() {
        std::string out;
        ++pos_;  // the opening quote
        while (!atEnd()) {
            char c = text_[pos_++];
            if (c == '"') return out;
            if (c == '\\' && !atEnd()) c = text_[pos_++];
            out += c;
        }
        return out;
    }
    // Unquoted text up to the next comma, trimmed.
    std::string bare() {
        size_t start = pos_;
        while (!atEnd() && peek() != ',') ++pos_;
        std::string_view part = text_.substr(start, pos_ - start);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
        return std::string(part);
    }
    // Past the next comma that is not inside a quoted string.
    void skipToNextValue() {
        bool inQuotes = false;
        while (!atEnd()) {
            char c = text_[pos_++];
            if (inQuotes && c == '\\' && !atEnd()) {
                ++pos_;
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == ',' && !inQuotes) {
                return;
            }
        }
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

std::optional<ZQHTTPWarningHeader> readValue(Reader& in) {
    ZQHTTPWarningHeader warning;
    std::optional<int64_t> code = in.code();
    if (!code) return std::nullopt;
    warning.code = *code;
    in.skipSpaces();
    warning.agent = in.token();
    if (warning.agent.empty()) return std::nullopt;
    in.skipSpaces();
    if (in.peek() == '"') {
        warning.warningText = in.quoted();
    } else {
        warning.warningText = in.bare();
    }
    in.skipSpaces();
    if (in.peek() == '"') {
        warning.date = platform::parseHTTPDate(in.quoted());
        in.skipSpaces();
    }
    if (!in.atEnd() && in.peek() != ',') return std::nullopt;
    warning.isUserWarning = warning.code == 199 || warning.code == 299;
    return warning;
}

}  // namespace

std::optional<std::vector<ZQHTTPWarningHeader>> ZQHTTPWarningHeader::parseList(
    std::string_view value) {
    std::vector<ZQHTTPWarningHeader> warnings;
    Reader in(value);
    while (!in.atEnd()) {
        in.skipSpaces();
        if (in.take(',')) continue;
        if (in.atEnd()) break;
        if (std::optional<ZQHTTPWarningHeader> warning = readValue(in)) {
            warnings.push_back(std::move(*warning));
        }
        in.skipToNextValue();
    }
    if (warnings.empty()) return std::nullopt;
    return warnings;
}
