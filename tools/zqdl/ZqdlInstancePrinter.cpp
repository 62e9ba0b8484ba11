#include "tools/zqdl/ZqdlInstancePrinter.hpp"

#include <algorithm>

#include "tools/zqdl/ZqdlResultPrinter.hpp"

namespace zqdl {

namespace {

// Key order of two lines: numbers by value, anything else by its text.
bool keyLess(const platform::Value& a, const platform::Value& b) {
    std::optional<double> x = a.number(), y = b.number();
    if (x && y) return *x < *y;
    if (x || y) return x.has_value();
    return a.description() < b.description();
}

}  // namespace

std::string ZqdlInstancePrinter::line(const ZqdlInstanceOutcome& outcome,
                                      const ZQBusinessComponentLevel& rootLevel) {
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("ok");
    out.boolean(!outcome.error);
    out.key("instance");
    if (outcome.instance) {
        writeInstance(out, *outcome.instance, rootLevel);
    } else {
        out.null();
    }
    out.key("warnings");
    out.beginArray();
    for (const std::string& warning : outcome.warnings) out.string(warning);
    out.endArray();
    out.key("error");
    ZqdlResultPrinter::writeError(out, outcome.error);
    out.endObject();
    return out.text();
}

void ZqdlInstancePrinter::writeInstance(ZqdlJsonWriter& out,
                                        const ZQBusinessComponentLevelEntityData& data,
                                        const ZQBusinessComponentLevel& level) {
    out.beginObject();
    for (const auto& attribute : level.attributes()) {
        out.key(attribute->name());
        out.value(data.valueForEntityDataFieldName(attribute->name()));
    }
    for (const auto& child : level.childLevels()) {
        out.key(child->levelName());
        auto lines = data.entityChildLevelEntitiesForLevelName(child->levelName());
        if (!lines) {
            out.null();
            continue;
        }
        // The cache keeps a level's lines as a set: sorted here, so that equal instances print
        // equal lines.
        auto keys = child->keyAttributes();
        auto less = [&keys](const auto& a, const auto& b) {
            for (const auto& attribute : keys) {
                platform::Value x = a->valueForEntityDataFieldName(attribute->name());
                platform::Value y = b->valueForEntityDataFieldName(attribute->name());
                if (keyLess(x, y)) return true;
                if (keyLess(y, x)) return false;
            }
            return false;
        };
        std::sort(lines->begin(), lines->end(), less);
        out.beginArray();
        for (const auto& line : *lines) {
            if (line) {
                writeInstance(out, *line, *child);
            } else {
                out.null();
            }
        }
        out.endArray();
    }
    out.endObject();
}

}  // namespace zqdl
