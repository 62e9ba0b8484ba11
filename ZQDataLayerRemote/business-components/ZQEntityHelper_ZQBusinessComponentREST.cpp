#include "ZQDataLayerRemote/business-components/ZQEntityHelper_ZQBusinessComponentREST.hpp"

#include <deque>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentModel.hpp"

namespace {

std::string dotsAsSlashes(std::string name) {
    for (char& c : name)
        if (c == '.') c = '/';
    return name;
}

// The component's name for the root level, the level's own name otherwise; empty when unknown.
std::string segmentName(const ZQBusinessComponentLevel& level) {
    if (level.parentLevel()) return dotsAsSlashes(level.name());
    auto component = level.businessComponent();
    return component ? dotsAsSlashes(component->name()) : std::string();
}

std::string joined(const std::deque<std::string>& parts, const char* separator) {
    std::string text;
    for (const auto& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

}  // namespace

std::optional<platform::URL> ZQEntityHelper_ZQBusinessComponentREST::businessComponentURLFromLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level,
    const std::shared_ptr<const ZQEntityDataKey>& key) {
    if (!level || !key) return std::nullopt;
    std::deque<std::string> segments;
    auto currentLevel = level;
    auto currentKey = key;
    while (currentLevel && currentKey) {
        std::string name = segmentName(*currentLevel);
        if (name.empty()) return std::nullopt;
        auto values = ZQEntityHelper::urlParametersArrayFromEntityDataKey(*currentKey);
        if (!values) return std::nullopt;
        std::string keyText;
        for (const auto& value : *values) {
            if (!keyText.empty()) keyText += ',';
            keyText += value;
        }
        segments.push_front(std::move(keyText));
        segments.push_front(std::move(name));
        currentLevel = currentLevel->parentLevel();
        currentKey = currentKey->parentEntityDataKey();
    }
    if (currentLevel || currentKey) return std::nullopt;
    segments.push_front("rest");
    return ZQEntityHelper::urlRelativeToServerBaseURL(joined(segments, "/"));
}

std::optional<platform::URL>
ZQEntityHelper_ZQBusinessComponentREST::businessComponentDefaultURLFromName(
    const std::optional<std::string>& name) {
    if (!name || name->empty()) return std::nullopt;
    return ZQEntityHelper::urlRelativeToServerBaseURL("rest/" + dotsAsSlashes(*name) + "/_default");
}

std::string
ZQEntityHelper_ZQBusinessComponentREST::fileUploadURLPathComponentForBusinessComponentLevel(
    const std::shared_ptr<const ZQBusinessComponentLevel>& level) {
    std::deque<std::string> segments;
    for (auto current = level; current; current = current->parentLevel()) {
        std::string name = segmentName(*current);
        if (name.empty()) break;
        segments.push_front(std::move(name));
    }
    return joined(segments, "/");
}
