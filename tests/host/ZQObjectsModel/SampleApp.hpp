// The sample application of examples/sample-app for tests: its folder and its model, loaded once
// per call. Header-only; used by the host and library test binaries.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"

namespace zqtest {

inline std::filesystem::path sampleAppFolder() {
    // This header is tests/host/ZQObjectsModel/SampleApp.hpp in the repository.
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path().parent_path() /
           "examples" / "sample-app";
}

inline std::shared_ptr<const ZQApplicationModel> loadSampleModel() {
    auto result = ZQApplicationModelLoader::loadFromFile(sampleAppFolder() / "model.json");
    EXPECT_EQ(result.error, nullptr) << (result.error ? result.error->description() : "");
    return result.model;
}

}  // namespace zqtest
