#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSONArrayReader.hpp"

#include <cstring>
#include <string>

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

size_t skipSpace(std::string_view text, size_t at) {
    while (at < text.size() && isSpace(text[at])) ++at;
    return at;
}

// Where the element starting at `at` ends: the first ',' or ']' outside strings at its own
// depth, or npos where brackets close past it or the text ends first (not JSON either way). The
// element's text itself is checked later, by parsing it.
size_t elementEnd(std::string_view text, size_t at) {
    size_t depth = 0;
    const char* data = text.data();
    const size_t size = text.size();
    while (at < size) {
        char c = data[at];
        if (c == '"') {
            // To the closing quote, past escaped characters.
            for (++at; at < size && data[at] != '"'; ++at) {
                if (data[at] == '\\') ++at;
            }
            if (at >= size) return std::string_view::npos;
            ++at;
            continue;
        }
        if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (depth == 0) return c == ']' ? at : std::string_view::npos;
            --depth;
        } else if (c == ',' && depth == 0) {
            return at;
        }
        ++at;
    }
    return std::string_view::npos;
}

}  // namespace

ZQJSONArrayReader::ZQJSONArrayReader(platform::Value text) : text_(std::move(text)) {}

bool ZQJSONArrayReader::startsWithArray(std::string_view text) {
    size_t at = skipSpace(text, 0);
    return at < text.size() && text[at] == '[';
}

std::string_view ZQJSONArrayReader::text() const {
    if (const platform::Value::Bytes* bytes = text_.bytes()) {
        return {reinterpret_cast<const char*>(bytes->data()), bytes->size()};
    }
    return text_.string().value_or(std::string_view());
}

ZQJSONParseResult ZQJSONArrayReader::parseWhole() const {
    return ZQJSON::parse(text());
}

platform::ErrorPtr ZQJSONArrayReader::wholeTextError() const {
    ZQJSONParseResult whole = parseWhole();
    if (whole.error) return whole.error;
    if (!whole.value.isArray()) {
        return platform::Error::create(ZQJSONErrorDomain, ZQJSONErrorShape,
                                       "The JSON text is not an array");
    }
    // The scan and ZQJSON disagree about the text: never taken as success.
    return platform::Error::create(ZQJSONErrorDomain, ZQJSONErrorSyntax,
                                   "The JSON array could not be read in runs of elements");
}

platform::ErrorPtr ZQJSONArrayReader::read(
    size_t elementsPerRun, const std::function<bool(const platform::Value& items)>& batch) const {
    const std::string_view text = this->text();
    size_t at = skipSpace(text, 0);
    if (at >= text.size() || text[at] != '[') return wholeTextError();
    at = skipSpace(text, at + 1);
    if (at < text.size() && text[at] == ']') {
        // An empty array.
        if (skipSpace(text, at + 1) != text.size()) return wholeTextError();
        return nullptr;
    }
    std::string run;  // "[" + the run's elements with their commas + "]"
    size_t runStart = at;
    size_t inRun = 0;
    for (;;) {
        size_t end = elementEnd(text, at);
        // No element (",," or a comma before "]"): a run that held none would parse as "[]".
        if (end == std::string_view::npos || skipSpace(text, at) == end) return wholeTextError();
        const bool last = text[end] == ']';
        if (last || ++inRun >= elementsPerRun) {
            inRun = 0;
            run.assign(1, '[');
            run.append(text.substr(runStart, end - runStart));
            run.push_back(']');
            ZQJSONParseResult parsed = ZQJSON::parse(run);
            if (parsed.error || !parsed.value.isArray()) return wholeTextError();
            if (!batch(parsed.value)) return nullptr;
            runStart = end + 1;
        }
        if (last) break;
        at = end + 1;
    }
    if (skipSpace(text, runStart) != text.size()) return wholeTextError();
    return nullptr;
}
