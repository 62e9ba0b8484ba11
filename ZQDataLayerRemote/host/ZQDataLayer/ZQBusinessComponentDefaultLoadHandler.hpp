// Base of the handlers that load the default values of a new business-component instance, with
// the values the host inferred for some fields (by field name; they win over the server's).
// Reports go through ZQBusinessComponentHandler: onSuccess with an unsaved instance, or onError.
// The inferred values are fixed at construction, so any thread reads them; otherwise as its base.
#pragma once

#include <optional>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentHandler.hpp"
#include "platform/Value.hpp"

class ZQBusinessComponentDefaultLoadHandler : public ZQBusinessComponentHandler {
  public:
    // None when the host inferred nothing.
    const std::optional<platform::Dictionary>& inferredValuesByFieldName() const {
        return inferredValuesByFieldName_;
    }

  protected:
    ZQBusinessComponentDefaultLoadHandler(
        std::shared_ptr<const ZQBusinessComponentLevel> level,
        std::optional<platform::Dictionary> inferredValuesByFieldName = std::nullopt)
        : ZQBusinessComponentHandler(std::move(level), nullptr),
          inferredValuesByFieldName_(std::move(inferredValuesByFieldName)) {}

  private:
    const std::optional<platform::Dictionary> inferredValuesByFieldName_;
};
