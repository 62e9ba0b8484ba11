#include "platform/URL.hpp"

#include <curl/curl.h>

#include <charconv>
#include <climits>
#include <cstdint>
#include <new>

namespace platform {

struct URL::Parts {
    std::string absolute;
    std::string scheme;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path;
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};

namespace {

struct CurlUrlCleanup {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlCleanup>;

struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlFree>;

// Any scheme, not only the ones this libcurl build can fetch: the system stores and compares
// URLs of schemes it never requests.
constexpr unsigned kParseFlags = CURLU_NON_SUPPORT_SCHEME;

// libcurl only fails these calls for bad input, except when memory runs out; that one is not a
// property of the text, so it is not folded into "none".
CURLUcode checked(CURLUcode code) {
    if (code == CURLUE_OUT_OF_MEMORY) throw std::bad_alloc();
    return code;
}

CurlUrl newHandle() {
    CurlUrl handle(curl_url());
    if (!handle) throw std::bad_alloc();
    return handle;
}

std::optional<std::string> getPart(CURLU* handle, CURLUPart part) {
    char* raw = nullptr;
    CURLUcode code = checked(curl_url_get(handle, part, &raw, 0));
    CurlString owned(raw);
    if (code != CURLUE_OK || !raw) return std::nullopt;
    return std::string(raw);
}

bool setPart(CURLU* handle, CURLUPart part, const char* value, unsigned flags) {
    return checked(curl_url_set(handle, part, value, flags)) == CURLUE_OK;
}

// The handle's URL as text. libcurl 7.88 leaves out the "?" of an empty query, although it keeps
// the empty query as a part; putting the "?" back keeps "http://h/p?" and "http://h/p" apart.
std::optional<std::string> textOf(CURLU* handle) {
    std::optional<std::string> text = getPart(handle, CURLUPART_URL);
    if (!text) return std::nullopt;
    std::optional<std::string> query = getPart(handle, CURLUPART_QUERY);
    if (query && query->empty()) {
        std::optional<std::string> fragment = getPart(handle, CURLUPART_FRAGMENT);
        size_t at = text->size();
        if (fragment && fragment->size() < text->size()) {
            size_t hash = text->size() - fragment->size() - 1;
            if ((*text)[hash] == '#') at = hash;
        }
        if (at == 0 || (*text)[at - 1] != '?') text->insert(at, "?");
    }
    return text;
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isValidUTF8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        size_t length = byte < 0x80           ? 1
                        : (byte >> 5) == 0x6  ? 2
                        : (byte >> 4) == 0xE  ? 3
                        : (byte >> 3) == 0x1E ? 4
                                              : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;  // overlong, out of range or a surrogate
        }
        i += length;
    }
    return true;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view text) {
    if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
    CurlUrl handle = newHandle();
    if (!setPart(handle.get(), CURLUPART_URL, std::string(text).c_str(), kParseFlags)) {
        return std::nullopt;
    }
    auto parts = std::make_shared<Parts>();
    std::optional<std::string> absolute = textOf(handle.get());
    if (!absolute) return std::nullopt;
    parts->absolute = std::move(*absolute);
    parts->scheme = getPart(handle.get(), CURLUPART_SCHEME).value_or("");
    parts->host = getPart(handle.get(), CURLUPART_HOST);
    if (std::optional<std::string> port = getPart(handle.get(), CURLUPART_PORT)) {
        int value = 0;
        auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
        if (error == std::errc() && end == port->data() + port->size()) parts->port = value;
    }
    parts->path = getPart(handle.get(), CURLUPART_PATH).value_or("/");
    parts->query = getPart(handle.get(), CURLUPART_QUERY);
    parts->fragment = getPart(handle.get(), CURLUPART_FRAGMENT);
    return URL(std::move(parts));
}

std::optional<URL> URL::resolve(std::string_view reference, const URL& base) {
    // libcurl escapes spaces in relative references (a leniency for redirects, turning "?a b" into
    // "?a+b"); text with a space is no reference, and fromString refuses it too.
    if (reference.find_first_of(std::string_view(" \0", 2)) != std::string_view::npos) {
        return std::nullopt;
    }
    CurlUrl handle = newHandle();
    if (!setPart(handle.get(), CURLUPART_URL, base.absoluteString().c_str(), kParseFlags)) {
        return std::nullopt;
    }
    if (reference.empty() || reference.front() == '#') {
        // libcurl 7.88 treats these like "." (dropping the last segment and the query); the
        // base without its fragment, plus the new fragment, is what they mean.
        setPart(handle.get(), CURLUPART_FRAGMENT, nullptr, 0);
        std::optional<std::string> stem = textOf(handle.get());
        if (!stem) return std::nullopt;
        return fromString(*stem + std::string(reference));
    }
    if (!setPart(handle.get(), CURLUPART_URL, std::string(reference).c_str(), kParseFlags)) {
        return std::nullopt;
    }
    // Reparsed so that the result reads back equal from its own text.
    std::optional<std::string> text = textOf(handle.get());
    return text ? fromString(*text) : std::nullopt;
}

const std::string& URL::absoluteString() const {
    return parts_->absolute;
}
const std::string& URL::scheme() const {
    return parts_->scheme;
}
const std::optional<std::string>& URL::host() const {
    return parts_->host;
}
std::optional<int> URL::port() const {
    return parts_->port;
}
const std::string& URL::path() const {
    return parts_->path;
}
const std::optional<std::string>& URL::query() const {
    return parts_->query;
}
const std::optional<std::string>& URL::fragment() const {
    return parts_->fragment;
}

URL URL::appendingQueryItems(const QueryItems& items) const {
    if (items.empty()) return *this;
    CurlUrl handle = newHandle();
    // The text came out of libcurl, so it parses again; failures past this point mean only that
    // libcurl refused an escaped part, which it does not do, and leave the URL as it was.
    if (!setPart(handle.get(), CURLUPART_URL, absoluteString().c_str(), kParseFlags)) return *this;
    for (const auto& [name, value] : items) {
        std::string item = percentEscape(name) + "=" + percentEscape(value);
        if (!setPart(handle.get(), CURLUPART_QUERY, item.c_str(), CURLU_APPENDQUERY)) return *this;
    }
    std::optional<std::string> text = textOf(handle.get());
    std::optional<URL> result = text ? fromString(*text) : std::nullopt;
    return result ? *result : *this;
}

URL URL::appendingPathComponent(std::string_view component) const {
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    if (component.empty()) return *this;
    std::string newPath = path();
    if (newPath.empty() || newPath.back() != '/') newPath += '/';
    size_t start = 0;
    while (true) {
        size_t slash = component.find('/', start);
        newPath += percentEscape(component.substr(start, slash - start));
        if (slash == std::string_view::npos) break;
        newPath += '/';
        start = slash + 1;
    }
    CurlUrl handle = newHandle();
    if (!setPart(handle.get(), CURLUPART_URL, absoluteString().c_str(), kParseFlags) ||
        !setPart(handle.get(), CURLUPART_PATH, newPath.c_str(), 0)) {
        return *this;
    }
    // Reparsed so that "." and ".." components are resolved the way parsing resolves them.
    std::optional<std::string> text = textOf(handle.get());
    std::optional<URL> result = text ? fromString(*text) : std::nullopt;
    return result ? *result : *this;
}

std::string percentEscape(std::string_view text) {
    std::string out;
    // curl_easy_escape takes an int length (0 meaning "up to the NUL"); escaping is byte by byte,
    // so long text goes through in pieces. The handle argument is unused by libcurl.
    constexpr size_t kPiece = INT_MAX / 2;
    for (size_t at = 0; at < text.size(); at += kPiece) {
        std::string_view piece = text.substr(at, kPiece);
        CurlString escaped(curl_easy_escape(nullptr, piece.data(), static_cast<int>(piece.size())));
        if (!escaped) throw std::bad_alloc();
        out += escaped.get();
    }
    return out;
}

std::optional<std::string> percentUnescape(std::string_view text) {
    // libcurl copies a malformed escape through unchanged; here it is an error.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) {
            return std::nullopt;
        }
        i += 2;
    }
    if (text.empty()) return std::string();
    if (text.size() > INT_MAX) return std::nullopt;
    int length = 0;
    CurlString decoded(
        curl_easy_unescape(nullptr, text.data(), static_cast<int>(text.size()), &length));
    if (!decoded) throw std::bad_alloc();
    std::string out(decoded.get(), static_cast<size_t>(length));
    if (!isValidUTF8(out)) return std::nullopt;
    return out;
}

}  // namespace platform
