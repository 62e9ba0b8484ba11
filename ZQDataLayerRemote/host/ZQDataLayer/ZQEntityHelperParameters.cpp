// ZQEntityHelper: the parameter strings of called services (field look-ups, prompt rules).
#include <utility>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRegistration.hpp"
#include "platform/WorkerPool.hpp"

using platform::Value;

std::optional<std::string> ZQEntityHelper::entityDataFieldNameFromActionParameterDescriptor(
    const ZQActionParameterDescriptor& descriptor) {
    const auto& name = descriptor.actionParameterFieldName();
    if (!name || name->empty()) return std::nullopt;
    return name;
}

namespace {

ZQRegistration<ZQEntityHelper::ParametersStringScheduler>& schedulerSlot() {
    static platform::Immortal<ZQRegistration<ZQEntityHelper::ParametersStringScheduler>> slot;
    return slot.get();
}

Value parameterValue(const ZQActionParameterDescriptor& descriptor, const ZQEntityData* entityData,
                     const ZQActionHandlerContext* context) {
    if (!descriptor.actionParameterConstantValue().isNothing())
        return descriptor.actionParameterConstantValue();
    auto field = ZQEntityHelper::entityDataFieldNameFromActionParameterDescriptor(descriptor);
    if (!field) return Value();
    if (context && (*field)[0] == '&') {
        Value value = context->valueForVariable(*field);
        if (!value.isAbsent()) return value;
    }
    return entityData ? entityData->valueForEntityDataFieldName(*field) : Value();
}

}  // namespace

std::optional<std::string> ZQEntityHelper::parametersString(
    const std::shared_ptr<const ZQEntityData>& entityData,
    const std::shared_ptr<const ZQActionHandlerContext>& actionHandlerContext,
    const ZQActionParameterDescriptors& inputParameterDescriptors) {
    if (inputParameterDescriptors.empty()) return std::nullopt;
    std::string text;
    for (const auto& descriptor : inputParameterDescriptors) {
        if (!descriptor) continue;
        if (!text.empty()) text += '&';
        text += urlSimpleEscapeString(descriptor->actionParameterCalledTargetParameterName());
        text += '=';
        Value value = parameterValue(*descriptor, entityData.get(), actionHandlerContext.get());
        text += urlParameterText(value, descriptor->actionParameterFieldInfo().get());
    }
    return text;
}

void ZQEntityHelper::parametersStringFromEntityData(
    const std::shared_ptr<const ZQEntityData>& entityData,
    const std::shared_ptr<const ZQActionHandlerContext>& actionHandlerContext,
    const ZQActionParameterDescriptors& inputParameterDescriptors,
    ParametersStringCompletion completion) {
    if (!completion) return;
    // The entity data belongs to the caller's thread: read it here, hand the text over later.
    auto text = parametersString(entityData, actionHandlerContext, inputParameterDescriptors);
    std::function<void()> task = [text = std::move(text),
                                  completion = std::move(completion)]() mutable {
        completion(std::move(text));
    };
    if (auto installed = schedulerSlot().get())
        installed(std::move(task));
    else
        platform::WorkerPool::submit(std::move(task));
}

void ZQEntityHelper::setParametersStringScheduler(ParametersStringScheduler replacement) {
    schedulerSlot().set(std::move(replacement));
}
