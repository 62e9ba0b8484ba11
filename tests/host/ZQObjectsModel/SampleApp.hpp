// The sample application of examples/sample-app for tests: its folder and its model, loaded once
// per call. Header-only; used by the host and library test binaries.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "tests/support/SourceTree.hpp"

namespace zqtest {

inline std::filesystem::path sampleAppFolder() {
    return sourceRoot() / "examples" / "sample-app";
}

inline std::shared_ptr<const ZQApplicationModel> loadSampleModel() {
    auto result = ZQApplicationModelLoader::loadFromFile(sampleAppFolder() / "model.json");
    EXPECT_EQ(result.error, nullptr) << (result.error ? result.error->description() : "");
    return result.model;
}

}  // namespace zqtest
