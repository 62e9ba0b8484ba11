#include "tools/zqdl/ZqdlResultPrinter.hpp"

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQuerySingleItemResult.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSDTData.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryResult.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "platform/objectstore/ManagedObject.hpp"
#include "platform/objectstore/ManagedObjectSet.hpp"

namespace zqdl {

std::string ZqdlResultPrinter::line(int delegate, const ZQEntityDataQueryResult& result,
                                    const ZQEntityDataSourceLevelDescriptor& level) {
    ZqdlJsonWriter out;
    out.beginObject();
    out.key("delegate");
    out.integer(delegate);
    writeStatus(out, result);
    out.key("error");
    writeError(out, result.error());
    writeData(out, result, level);
    writeAlphaIndex(out, result);
    out.endObject();
    return out.text();
}

void ZqdlResultPrinter::writeStatus(ZqdlJsonWriter& out, const ZQEntityDataQueryResult& result) {
    const auto* remote = dynamic_cast<const ZQRemoteEntityDataQueryResult*>(&result);
    const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionResult*>(&result);
    const auto* single = dynamic_cast<const ZQEntityDataQuerySingleItemResult*>(&result);
    out.key("source");
    if (remote) {
        out.string(remote->source() == ZQRemoteEntityDataQueryResultSource::Remote ? "remote"
                                                                                   : "cache");
    } else {
        out.null();
    }
    out.key("upToDate");
    out.boolean(remote && remote->isUpToDate());
    // A single item has no completeness of its own: null.
    out.key("complete");
    if (collection) {
        out.boolean(collection->complete());
    } else {
        out.null();
    }
    out.key("count");
    out.integer(collection ? static_cast<int64_t>(collection->count())
                           : (single && single->resultData() ? 1 : 0));
    out.key("timeStamp");
    out.date(result.timeStamp());
    out.key("dataTimeStamp");
    out.date(remote ? remote->dataTimeStamp() : std::nullopt);
    out.key("lastModified");
    out.date(remote ? remote->lastModified() : std::nullopt);
}

void ZqdlResultPrinter::writeError(ZqdlJsonWriter& out, const platform::ErrorPtr& error) {
    if (!error) return out.null();
    out.beginObject();
    out.key("domain");
    out.string(error->domain());
    out.key("code");
    out.integer(error->code());
    out.key("description");
    out.string(error->localizedDescription());
    out.endObject();
}

void ZqdlResultPrinter::writeData(ZqdlJsonWriter& out, const ZQEntityDataQueryResult& result,
                                  const ZQEntityDataSourceLevelDescriptor& level) {
    if (const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionResult*>(&result)) {
        out.key("sections");
        if (!collection->resultData()) return out.null();
        out.beginArray();
        for (const auto& section : *collection->resultData()) {
            out.beginArray();
            for (const auto& item : section) {
                if (item) {
                    writeItem(out, *item, level);
                } else {
                    out.null();
                }
            }
            out.endArray();
        }
        return out.endArray();
    }
    out.key("item");
    const auto* single = dynamic_cast<const ZQEntityDataQuerySingleItemResult*>(&result);
    if (!single || !single->resultData()) return out.null();
    writeItem(out, *single->resultData(), level);
}

void ZqdlResultPrinter::writeAlphaIndex(ZqdlJsonWriter& out,
                                        const ZQEntityDataQueryResult& result) {
    const auto* collection = dynamic_cast<const ZQEntityDataQueryCollectionResult*>(&result);
    out.key("alphaIndexTitles");
    if (!collection || !collection->alphaIndexTitles()) {
        out.null();
    } else {
        out.beginArray();
        for (const std::string& title : *collection->alphaIndexTitles()) out.string(title);
        out.endArray();
    }
    // Each title's range of sections as [location, length].
    out.key("alphaIndexRanges");
    if (!collection || !collection->alphaIndexRangesByTitle()) return out.null();
    out.beginObject();
    for (const auto& [title, range] : *collection->alphaIndexRangesByTitle()) {
        out.key(title);
        out.beginArray();
        out.integer(static_cast<int64_t>(range.location));
        out.integer(static_cast<int64_t>(range.length));
        out.endArray();
    }
    out.endObject();
}

void ZqdlResultPrinter::writeItem(ZqdlJsonWriter& out, const ZQEntityData& item,
                                  const ZQEntityDataSourceLevelDescriptor& level) {
    out.beginObject();
    if (auto fields = level.entityDataSourceDataDescriptor()) {
        for (const auto& field : fields->entityDataFieldDescriptors()) {
            if (field->entityDataFieldType() == ZQEntityDataFieldTypeSublevel) continue;
            const std::string& name = field->entityDataFieldName();
            out.key(name);
            // With the descriptor a structured field reads as its structure, not its stored text.
            platform::Value value = item.valueForEntityDataFieldName(name, std::nullopt, field);
            if (auto object = value.object()) {
                if (const auto* structured = dynamic_cast<const ZQSDTData*>(object.get())) {
                    value = structured->value();
                }
            }
            out.value(value);
        }
    }
    for (const auto& sublevel : level.entityDataSourceSublevels()) {
        const std::string& name = sublevel->entityDataSourceLevelName();
        out.key(name);
        writeSublevel(out, item.valueForEntityDataFieldName(name), *sublevel);
    }
    out.endObject();
}

void ZqdlResultPrinter::writeSublevel(ZqdlJsonWriter& out, const platform::Value& items,
                                      const ZQEntityDataSourceLevelDescriptor& sublevel) {
    // The cache answers a sublevel as the ordered set of its cached items.
    auto object = items.object();
    const auto* set =
        object ? dynamic_cast<const platform::ManagedObjectSet*>(object.get()) : nullptr;
    if (!set) return out.value(items);
    out.beginArray();
    for (const auto& member : set->objects()) {
        if (const auto* child = dynamic_cast<const ZQEntityData*>(member.get())) {
            writeItem(out, *child, sublevel);
        } else {
            out.null();
        }
    }
    out.endArray();
}

}  // namespace zqdl
