#include "platform/URL.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <mutex>
#include <new>

namespace platform {

// The text is split into its components only when one is asked for: most URLs (those of
// requests above all) are only ever used whole, and each component read from libcurl costs an
// allocation and a formatted copy.
struct URL::Components {
    std::string scheme;
    std::optional<std::string> host;
    std::optional<int> port;
    std::string path = "/";
    std::optional<std::string> query;
    std::optional<std::string> fragment;
};
struct URL::Parts {
    std::string absolute;
    mutable std::once_flag split;
    mutable Components components;  // written once, under `split`
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
// A caller that knows the URL has no "?" at all says so, and saves asking for the query.
std::optional<std::string> textOf(CURLU* handle, bool mayHaveQuery = true) {
    std::optional<std::string> text = getPart(handle, CURLUPART_URL);
    if (!text || !mayHaveQuery) return text;
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

// A character libcurl keeps as written in a path ("/" included) or, with "?", in a query.
bool keptAsWritten(char c, bool inQuery) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    if (inQuery && c == '?') return true;
    return std::string_view("-._~!$&'()*+,;=:@/").find(c) != std::string_view::npos;
}

// A dotted quad as libcurl writes one: four decimal parts of 0-255 without leading zeros.
bool isCanonicalIPv4(std::string_view host) {
    int parts = 0;
    size_t at = 0;
    while (at <= host.size()) {
        size_t dot = std::min(host.find('.', at), host.size());
        std::string_view part = host.substr(at, dot - at);
        int value = 0;
        auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || part.size() > 3 || error != std::errc() ||
            end != part.data() + part.size() || value > 255 ||
            (part.size() > 1 && part[0] == '0')) {
            return false;
        }
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

// True when the text is an http(s) URL already in libcurl's normal form, which parsing gives back
// unchanged: lower-case scheme and host name (or a dotted quad), at most a port without leading
// zeros, a path without empty or dot segments, a query, no user and no fragment, and only
// characters that libcurl keeps as written ("%" with two hex digits). Request URLs are mostly of
// this kind, and they skip the round trip through libcurl, which costs more than the request's
// own bookkeeping. Anything else goes through libcurl.
bool isNormalHTTPURL(std::string_view text) {
    size_t at = text.rfind("http://", 0) == 0 ? 7 : text.rfind("https://", 0) == 0 ? 8 : 0;
    if (at == 0) return false;
    size_t hostEnd = text.find_first_of(":/", at);
    if (hostEnd == std::string_view::npos || hostEnd == at) return false;
    std::string_view host = text.substr(at, hostEnd - at);
    // libcurl reads a host whose every label starts with a digit as an IPv4 address in any of
    // its forms ("127.1", "0x7f.0.0.1") and writes it as a dotted quad.
    bool numeric = true;
    for (size_t i = 0; i < host.size(); ++i) {
        char c = host[i];
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.')) {
            return false;
        }
        if ((i == 0 || host[i - 1] == '.') && (c < '0' || c > '9')) numeric = false;
    }
    if (host.front() == '.' || host.back() == '.' || host.find("..") != std::string_view::npos ||
        (numeric && !isCanonicalIPv4(host))) {
        return false;
    }
    at = hostEnd;
    if (text[at] == ':') {
        size_t slash = text.find('/', at);
        if (slash == std::string_view::npos) return false;
        std::string_view port = text.substr(at + 1, slash - at - 1);
        int value = 0;
        auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (port.empty() || port[0] < '1' || port[0] > '9' || error != std::errc() ||
            end != port.data() + port.size() || value > 65535) {
            return false;
        }
        at = slash;
    }
    bool inQuery = false;
    size_t segment = at + 1;  // where the current path segment starts
    for (size_t i = at + 1; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '\0';
        if (!inQuery && (c == '/' || c == '?' || c == '\0')) {
            std::string_view name = text.substr(segment, i - segment);
            bool last = c != '/';
            if (name == "." || name == ".." || (name.empty() && !last)) return false;
            segment = i + 1;
            if (c == '?') inQuery = true;
            continue;
        }
        if (c == '\0') break;
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
            i += 2;
        } else if (!keptAsWritten(c, inQuery)) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<URL> URL::fromString(std::string_view text) {
    if (text.empty() || text.find('\0') != std::string_view::npos) return std::nullopt;
    if (isNormalHTTPURL(text)) {
        auto parts = std::make_shared<Parts>();
        parts->absolute = std::string(text);
        return URL(std::move(parts));
    }
    // libcurl guesses an authority for "p:/x" too; an absolute URL here always writes one.
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || text.substr(colon + 1, 2) != "//") return std::nullopt;
    std::optional<std::string> absolute(text);
    // libcurl's normal form is not always reached in one pass (an escaped host "0%31" becomes
    // "01", which the next pass reads as the address 0.0.0.1): normalise until the text stands,
    // so that a URL reads back equal from its own text.
    for (int pass = 0; pass < 3; ++pass) {
        CurlUrl handle = newHandle();
        if (!setPart(handle.get(), CURLUPART_URL, absolute->c_str(), kParseFlags)) {
            return std::nullopt;
        }
        std::optional<std::string> next =
            textOf(handle.get(), absolute->find('?') != std::string::npos);
        if (!next) return std::nullopt;
        if (*next == *absolute) break;
        absolute = std::move(next);
    }
    auto parts = std::make_shared<Parts>();
    parts->absolute = std::move(*absolute);
    return URL(std::move(parts));
}

// The text came out of libcurl, so it parses again, into the parts it was made of.
const URL::Components& URL::components() const {
    std::call_once(parts_->split, [this] {
        Components& c = parts_->components;
        CurlUrl handle = newHandle();
        if (!setPart(handle.get(), CURLUPART_URL, parts_->absolute.c_str(), kParseFlags)) return;
        c.scheme = getPart(handle.get(), CURLUPART_SCHEME).value_or("");
        c.host = getPart(handle.get(), CURLUPART_HOST);
        if (std::optional<std::string> port = getPart(handle.get(), CURLUPART_PORT)) {
            int value = 0;
            auto [end, error] = std::from_chars(port->data(), port->data() + port->size(), value);
            if (error == std::errc() && end == port->data() + port->size()) c.port = value;
        }
        c.path = getPart(handle.get(), CURLUPART_PATH).value_or("/");
        c.query = getPart(handle.get(), CURLUPART_QUERY);
        c.fragment = getPart(handle.get(), CURLUPART_FRAGMENT);
    });
    return parts_->components;
}

namespace {

// A relative path (with or without a query) below a base in libcurl's normal form, when the
// joined text is in that form too (no dot or empty segments, nothing libcurl would rewrite):
// the base's directory followed by the path, which is what libcurl's resolution gives, without
// three trips through it. The URLs of a business component's instances are made this way.
std::optional<URL> joinedBelow(std::string_view reference, const URL& base) {
    if (reference.empty() || reference.front() == '/' || reference.front() == '?') {
        return std::nullopt;
    }
    // A colon in the first segment would be read as a scheme.
    if (reference.substr(0, reference.find_first_of("/?#")).find(':') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string& text = base.absoluteString();
    if (!isNormalHTTPURL(text)) return std::nullopt;
    size_t query = text.find('?');
    size_t lastSlash = text.rfind('/', query == std::string::npos ? query : query - 1);
    std::string joined = text.substr(0, lastSlash + 1);
    joined += reference;
    if (!isNormalHTTPURL(joined)) return std::nullopt;
    return URL::fromString(joined);
}

}  // namespace

std::optional<URL> URL::resolve(std::string_view reference, const URL& base) {
    if (auto joined = joinedBelow(reference, base)) return joined;
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
    return components().scheme;
}
const std::optional<std::string>& URL::host() const {
    return components().host;
}
std::optional<int> URL::port() const {
    return components().port;
}
const std::string& URL::path() const {
    return components().path;
}
const std::optional<std::string>& URL::query() const {
    return components().query;
}
const std::optional<std::string>& URL::fragment() const {
    return components().fragment;
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
