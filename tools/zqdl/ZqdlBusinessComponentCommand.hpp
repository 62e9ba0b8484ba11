// `zqdl bc load|defaults|delete|insert|update|upsert NAME`: one business-component handler made by
// the host's registered online business-component manager, started as an application starts it, and
// its one report printed as a JSON line (ZqdlInstancePrinter) with the user warnings the handler
// had the host's alert service show. Runs on the main thread; owns its environment for the length
// of the command.
#pragma once

#include <memory>
#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQInternalBusinessComponentManager.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Value.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlEnvironment.hpp"

namespace zqdl {

class ZqdlBusinessComponentCommand {
  public:
    [[nodiscard]] static int run(const CommandLine& line);

    // The key of the component's root level from the --key texts, each converted for its
    // attribute; none, with *failure set (status 2), for an unknown component, a wrong count or a
    // text that is no value of its attribute.
    static std::shared_ptr<const ZQEntityDataKey> keyFor(const ZQApplicationModel& model,
                                                         const BusinessComponentOptions& options,
                                                         ZqdlFailure* failure);
    // The --set values by field name; none, with *failure set (status 2), for an unknown
    // component or field, or a value that does not convert for its field.
    static std::optional<platform::Dictionary> inferredValuesFor(
        const ZQApplicationModel& model, const BusinessComponentOptions& options,
        ZqdlFailure* failure);
    // The insert, update or insert-or-update handler (by line.command) of the manager for an
    // instance made from json in the manager's scratch context, with line's attachments given to
    // their fields; *instance is that instance, which the caller gives back to the manager once
    // the handler reported. None, with *failure set, when the JSON or an attachment does not fit.
    static std::shared_ptr<ZQBusinessComponentHandler> makeSaveHandler(
        const CommandLine& line, const std::shared_ptr<const ZQBusinessComponentModel>& component,
        ZQInternalBusinessComponentManager& manager, const platform::Dictionary& json,
        std::shared_ptr<ZQBusinessComponentLevelEntityData>* instance, ZqdlFailure* failure);
};

}  // namespace zqdl
