// An absolute URL with an authority ("scheme://host/path?query#fragment"), parsed, resolved and
// extended through libcurl's URL API. Immutable value; copies share one parsed payload, so a URL is
// cheap to copy and safe to read from any thread. The components are split out of the text once,
// on first use, under a once flag; nothing else in it changes after parsing.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class URL {
  public:
    using QueryItems = std::vector<std::pair<std::string, std::string>>;

    // Any scheme is accepted, but libcurl needs an authority: "mailto:x" and other URLs without
    // "//" give none, as do relative references, spaces and bad ports.
    static std::optional<URL> fromString(std::string_view text);
    // The reference resolved against the base (RFC 3986, section 5.2): "?q" keeps the base's path
    // and replaces its query, "x" replaces the last segment, "/x" the path, "../x" goes up, "//h/x"
    // keeps only the scheme, an absolute URL replaces everything. Dot segments are removed.
    // Non-ASCII bytes of a relative reference come out percent-escaped. None when the reference
    // is malformed or holds a space.
    static std::optional<URL> resolve(std::string_view reference, const URL& base);

    // libcurl's normal form: lower-case scheme, "/" for an empty path, "." and ".." removed,
    // percent escapes left as written. An empty query keeps its "?".
    const std::string& absoluteString() const;
    const std::string& scheme() const;
    // None for URLs without a host ("file:///tmp/x").
    const std::optional<std::string>& host() const;
    // The port written in the URL; none when it was left to the scheme's default.
    std::optional<int> port() const;
    // Still percent-escaped, as it appears in absoluteString().
    const std::string& path() const;
    // Without the "?"; none when the URL has no "?", empty for a bare "?".
    const std::optional<std::string>& query() const;
    const std::optional<std::string>& fragment() const;

    // Appends "name=value" pairs, each side percent-escaped, after any existing query with "&".
    // libcurl 7.88 writes the escapes of parts it is handed in lower-case hex ("%c3%a9").
    URL appendingQueryItems(const QueryItems& items) const;
    // Appends the component to the path with one "/" between. A "/" inside the component
    // separates segments; each segment is percent-escaped. Query and fragment are kept.
    URL appendingPathComponent(std::string_view component) const;

    bool operator==(const URL& other) const { return absoluteString() == other.absoluteString(); }

  private:
    struct Parts;
    struct Components;
    const Components& components() const;
    explicit URL(std::shared_ptr<const Parts> parts) : parts_(std::move(parts)) {}
    std::shared_ptr<const Parts> parts_;  // never null
};

// Escapes every byte except the unreserved ones (letters, digits, "-", ".", "_", "~").
std::string percentEscape(std::string_view text);
// Decodes "%XX" escapes. None when a "%" is not followed by two hex digits or when the result is
// not valid UTF-8. "+" stays "+".
std::optional<std::string> percentUnescape(std::string_view text);

}  // namespace platform
