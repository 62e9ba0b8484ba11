// An application the host can load: its name and the path of its model file. The model loaded
// from the file (ZQApplicationModel) is an application too, so directory look-ups accept either.
// Immutable; any thread.
#pragma once

#include <filesystem>
#include <string>

class ZQApplication {
  public:
    ZQApplication(std::string name, std::filesystem::path modelFilePath)
        : name_(std::move(name)), modelFilePath_(std::move(modelFilePath)) {}
    virtual ~ZQApplication() = default;

    // Names the application's caches and model directories.
    const std::string& name() const { return name_; }
    // Empty for a model read from text.
    const std::filesystem::path& modelFilePath() const { return modelFilePath_; }

  private:
    std::string name_;
    std::filesystem::path modelFilePath_;
};
