// Loads application models: reads the model file, lets every registered extension add model
// objects (read back from the extension's cache, or produced by its load operations on a queue of
// the manager's), and makes the ZQModel. Also answers where an application's model files live.
// Any thread; mutex_ guards the list of extensions; a load runs on the calling thread and waits
// for its operations.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManagerExtension.hpp"
#include "platform/Mutex.hpp"

struct ZQModelLoadResult {
    std::shared_ptr<ZQModel> model;  // none on error
    platform::ErrorPtr error;        // none on success
};

class ZQModelManager {
  public:
    static std::shared_ptr<ZQModelManager> sharedManager();
    // A manager of one's own (tests); the host uses sharedManager().
    [[nodiscard]] static std::shared_ptr<ZQModelManager> create();

    // The manager keeps the extension for its whole life.
    void registerModelManagerExtension(std::shared_ptr<ZQModelManagerExtension> extension)
        EXCLUDES(mutex_);
    std::vector<std::shared_ptr<ZQModelManagerExtension>> modelManagerExtensions() const
        EXCLUDES(mutex_);

    // The folder of the application's model files, from the application storage service; none
    // when it does not exist (and createIfNeeded is false or creating failed).
    static std::optional<std::filesystem::path> defaultModelFileDirectoryURLForApplication(
        const ZQApplication& application, bool createIfNeeded);
    // The model file with that extension in the folder: "<folder>/Model.<extension>".
    static std::filesystem::path modelFileURLForDirectoryURL(const std::filesystem::path& directory,
                                                             std::string_view extension);
    // The model file of the application model itself ("Model.json").
    static std::filesystem::path modelFileURLForDirectoryURL(
        const std::filesystem::path& directory);

    // Loads the application: its model file (unless application already is a loaded
    // ZQApplicationModel), then the extensions' model objects; the first error wins. Does not
    // make the model current.
    [[nodiscard]] ZQModelLoadResult loadModelForApplication(
        const std::shared_ptr<const ZQApplication>& application) EXCLUDES(mutex_);
    // Asks every extension to forget what it saved for the application.
    void clearCachedModelObjectsForApplication(
        const std::shared_ptr<const ZQApplication>& application) EXCLUDES(mutex_);

  private:
    // Makes the model folder and clears the extensions' saved objects when the model file
    // differs from the copy kept there.
    void refreshModelDirectory(const std::shared_ptr<const ZQApplicationModel>& app)
        EXCLUDES(mutex_);

    mutable platform::Mutex mutex_;
    std::vector<std::shared_ptr<ZQModelManagerExtension>> extensions_ GUARDED_BY(mutex_);
};
