#include "tools/zqdl/ZqdlBusinessComponentCommand.hpp"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ZQDataLayerRemote/business-components/ZQBusinessComponentRESTManager.hpp"
#include "ZQDataLayerRemote/cache/store/ZQModel_ZQCoreDataCache.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentKeyDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBusinessComponentManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSimpleKey.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQFoundationServices.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "platform/MainLoop.hpp"
#include "tools/zqdl/ZqdlInstanceBuilder.hpp"
#include "tools/zqdl/ZqdlInstancePrinter.hpp"
#include "tools/zqdl/ZqdlUploadProgress.hpp"

namespace zqdl {

namespace {

int fail(const ZqdlFailure& failure) {
    std::fprintf(stderr, "zqdl: %s\n", failure.message.c_str());
    return failure.exitStatus;
}

std::shared_ptr<const ZQBusinessComponentModel> componentNamed(const ZQApplicationModel& model,
                                                               const std::string& name,
                                                               ZqdlFailure* failure) {
    auto component = model.businessComponentNamed(name);
    if (!component || !component->rootLevel()) {
        *failure = {2, "unknown business component \"" + name + "\""};
        return nullptr;
    }
    return component;
}

// The texts the alert service recorded after the first `from` alerts, one per shown message.
std::vector<std::string> alertTextsSince(size_t from) {
    std::vector<std::string> texts;
    auto alerts = ZQFoundationServices::alertMessageService()->recordedAlerts();
    for (size_t i = from; i < alerts.size(); ++i) {
        std::istringstream lines(alerts[i].message);
        for (std::string text; std::getline(lines, text);) texts.push_back(text);
    }
    return texts;
}

bool isSave(Command command) {
    return command == Command::BusinessComponentInsert ||
           command == Command::BusinessComponentUpdate ||
           command == Command::BusinessComponentUpsert;
}

// The instance JSON of a save command, checked against the component; none, with *failure set
// (status 2), for no --json, an unreadable file, text that is not a JSON object, or an object that
// does not fit the component or lacks a key value.
std::optional<platform::Dictionary> saveJSON(const ZQApplicationModel& model,
                                             const BusinessComponentOptions& options,
                                             ZqdlFailure* failure) {
    auto component = componentNamed(model, options.component, failure);
    if (!component) return std::nullopt;
    if (options.jsonFile.empty()) {
        *failure = {2, "bc insert, update and upsert need --json FILE (or - for standard input)"};
        return std::nullopt;
    }
    std::stringstream text;
    if (options.jsonFile == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(options.jsonFile, std::ios::binary);
        if (!in) {
            *failure = {2, "cannot read " + options.jsonFile};
            return std::nullopt;
        }
        text << in.rdbuf();
    }
    auto parsed = ZQJSON::parse(text.str(), options.jsonFile);
    if (parsed.error || !parsed.value.isDictionary()) {
        *failure = {2, options.jsonFile + ": " +
                           (parsed.error ? parsed.error->localizedDescription()
                                         : std::string("not a JSON object"))};
        return std::nullopt;
    }
    std::string error;
    if (!ZqdlInstanceBuilder::check(*component->rootLevel(), *parsed.value.dictionary(), &error)) {
        *failure = {2, options.jsonFile + ": " + error};
        return std::nullopt;
    }
    for (const auto& [target, path] : options.attachments) {
        if (!ZqdlInstanceBuilder::attachTarget(component->rootLevel(), *parsed.value.dictionary(),
                                               target, path, &error)) {
            *failure = {2, error};
            return std::nullopt;
        }
    }
    for (const auto& key : component->rootLevel()->keyAttributes()) {
        if (parsed.value.dictionary()->get(key->name()).isNothing()) {
            *failure = {2, options.jsonFile + ": the instance needs its key " + key->name()};
            return std::nullopt;
        }
    }
    return *parsed.value.dictionary();
}

std::shared_ptr<ZQBusinessComponentHandler> makeHandler(
    const CommandLine& line, const ZQApplicationModel& model,
    const std::shared_ptr<const ZQBusinessComponentModel>& component,
    ZQInternalBusinessComponentManager& manager, ZqdlFailure* failure) {
    const BusinessComponentOptions& options = line.businessComponent;
    if (line.command == Command::BusinessComponentDefaults) {
        auto inferred = ZqdlBusinessComponentCommand::inferredValuesFor(model, options, failure);
        if (!inferred) return nullptr;
        return manager.newBusinessComponentDefaultLoadHandlerForModel(
            component, inferred->empty() ? std::nullopt : inferred);
    }
    auto key = ZqdlBusinessComponentCommand::keyFor(model, options, failure);
    if (!key) return nullptr;
    if (line.command == Command::BusinessComponentLoad)
        return manager.newBusinessComponentLoadHandlerForModel(component, key);
    return manager.newBusinessComponentDeleteHandlerForLevel(component->rootLevel(), key);
}

}  // namespace

std::shared_ptr<ZQBusinessComponentHandler> ZqdlBusinessComponentCommand::makeSaveHandler(
    const CommandLine& line, const std::shared_ptr<const ZQBusinessComponentModel>& component,
    ZQInternalBusinessComponentManager& manager, const platform::Dictionary& json,
    std::shared_ptr<ZQBusinessComponentLevelEntityData>* instance, ZqdlFailure* failure) {
    auto rest = dynamic_cast<ZQBusinessComponentRESTManager*>(&manager);
    auto model = ZQModel::currentModel();
    auto schema = model ? ZQModel_ZQCoreDataCache::managedObjectModel(model) : nullptr;
    if (!rest || !schema) {
        *failure = {1, "the data layer has no cache model to make the instance in"};
        return nullptr;
    }
    const auto& context = rest->newBusinessComponentTmpMoc();
    if (!context->persistentStoreCoordinator())
        context->setPersistentStoreCoordinator(
            platform::PersistentStoreCoordinator::create(schema));
    std::string error;
    ZqdlInstanceBuilder::LinesByLevel lines;
    *instance =
        ZqdlInstanceBuilder::build(*context, *schema, component->rootLevel(), json, &error, &lines);
    if (!*instance) {
        *failure = {2, line.businessComponent.jsonFile + ": " + error};
        return nullptr;
    }
    for (const auto& [target, path] : line.businessComponent.attachments) {
        auto where =
            ZqdlInstanceBuilder::attachTarget(component->rootLevel(), json, target, path, &error);
        if (!where || !ZqdlInstanceBuilder::attach(**instance, lines, *where, path, &error)) {
            *failure = {2, error};
            return nullptr;
        }
    }
    switch (line.command) {
        case Command::BusinessComponentInsert:
            return manager.newBusinessComponentInsertHandlerForModel(component, *instance);
        case Command::BusinessComponentUpdate:
            return manager.newBusinessComponentUpdateHandlerForLevel(component->rootLevel(),
                                                                     *instance);
        default:
            return manager.newBusinessComponentInsertOrUpdateHandlerForModel(component, *instance);
    }
}

std::shared_ptr<const ZQEntityDataKey> ZqdlBusinessComponentCommand::keyFor(
    const ZQApplicationModel& model, const BusinessComponentOptions& options,
    ZqdlFailure* failure) {
    auto component = componentNamed(model, options.component, failure);
    if (!component) return nullptr;
    auto root = component->rootLevel();
    auto keyAttributes = root->keyAttributes();
    if (options.keys.size() != keyAttributes.size()) {
        *failure = {2, options.component + " needs " + std::to_string(keyAttributes.size()) +
                           " --key value(s), one per key attribute in order, not " +
                           std::to_string(options.keys.size())};
        return nullptr;
    }
    platform::Dictionary values;
    for (size_t i = 0; i < keyAttributes.size(); ++i) {
        platform::Value value =
            ZQEntityHelper::coreDataFieldValue(*keyAttributes[i], platform::Value(options.keys[i]));
        if (value.isNothing()) {
            *failure = {2, "--key \"" + options.keys[i] + "\" is not a value of " +
                               keyAttributes[i]->name()};
            return nullptr;
        }
        values.set(keyAttributes[i]->name(), std::move(value));
    }
    return std::make_shared<ZQEntityDataSimpleKey>(
        std::make_shared<ZQBusinessComponentKeyDescriptor>(*root), std::move(values));
}

std::optional<platform::Dictionary> ZqdlBusinessComponentCommand::inferredValuesFor(
    const ZQApplicationModel& model, const BusinessComponentOptions& options,
    ZqdlFailure* failure) {
    auto component = componentNamed(model, options.component, failure);
    if (!component) return std::nullopt;
    platform::Dictionary values;
    for (const auto& [field, text] : options.inferred) {
        auto attribute = component->rootLevel()->attributeNamed(field);
        if (!attribute) {
            *failure = {2, "--set " + field + ": " + options.component + " has no field " + field};
            return std::nullopt;
        }
        // The handler converts the text for its field; a text it cannot convert is refused here.
        if (ZQEntityHelper::coreDataFieldValue(*attribute, platform::Value(text)).isNothing()) {
            *failure = {2, "--set " + field + "=" + text + ": not a value of " + field};
            return std::nullopt;
        }
        values.set(field, platform::Value(text));
    }
    return values;
}

int ZqdlBusinessComponentCommand::run(const CommandLine& line) {
    ZqdlFailure failure;
    // Usage errors first, from the model alone, before the host and the server start.
    auto model = ZqdlEnvironment::loadAppModel(ZqdlEnvironment::modelPath(line.global), &failure);
    if (!model) return fail(failure);
    bool defaults = line.command == Command::BusinessComponentDefaults;
    bool save = isSave(line.command);
    std::optional<platform::Dictionary> json;
    if (save) {
        json = saveJSON(*model, line.businessComponent, &failure);
        if (!json) return fail(failure);
    } else if (defaults ? !inferredValuesFor(*model, line.businessComponent, &failure)
                        : !keyFor(*model, line.businessComponent, &failure)) {
        return fail(failure);
    }

    auto environment = ZqdlEnvironment::start({line.global}, &failure);
    if (!environment) return fail(failure);
    auto component =
        environment->appModel()->businessComponentNamed(line.businessComponent.component);
    auto manager = ZQBusinessComponentManager::newOnlineBusinessComponentManager();
    if (!manager) return fail({1, "the data layer registered no business-component manager"});
    std::shared_ptr<ZQBusinessComponentLevelEntityData> edited;
    auto handler = save
                       ? makeSaveHandler(line, component, *manager, *json, &edited, &failure)
                       : makeHandler(line, *environment->appModel(), component, *manager, &failure);
    if (!handler)
        return fail(failure.message.empty() ? ZqdlFailure{1, "no handler was made"} : failure);

    const size_t alertsBefore =
        ZQFoundationServices::alertMessageService()->recordedAlerts().size();
    ZqdlInstanceOutcome outcome;
    bool reported = false;
    // The handler reports once, on the main thread, where this runs.
    handler->setCompletion([&](const auto& entityData, const platform::ErrorPtr& error) {
        outcome.instance = entityData;
        outcome.error = error;
        reported = true;
    });
    // A save uploads its binary values first; a terminal sees how far each file has got.
    std::unique_ptr<ZqdlUploadProgress> progress =
        save ? ZqdlUploadProgress::startIfTerminal() : nullptr;
    handler->start();
    bool done = platform::runUntil([&reported] { return reported; }, line.global.timeoutSeconds);
    progress.reset();
    if (!done) {
        handler->cancel();
        return fail({1, "timed out after " +
                            std::to_string(static_cast<int>(line.global.timeoutSeconds)) +
                            " s waiting for the business-component handler"});
    }
    outcome.warnings = alertTextsSince(alertsBefore);
    std::printf("%s\n", ZqdlInstancePrinter::line(outcome, *component->rootLevel()).c_str());
    std::fflush(stdout);
    // A default instance lives in the manager's scratch context until it is given back.
    if (defaults && outcome.instance)
        manager->releaseBusinessComponentEntityDataWithDefaults(outcome.instance, component);
    if (edited) manager->releaseBusinessComponentEntityDataWithDefaults(edited, component);
    return outcome.error ? 1 : 0;
}

}  // namespace zqdl
