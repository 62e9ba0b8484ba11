// The delegate protocol of an object uploader (the save handlers). Held weakly by the uploader;
// every call runs on the main thread. The callbacks are optional.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Error.hpp"

class ZQObjectUploader;

class ZQObjectUploaderDelegate {
  public:
    virtual ~ZQObjectUploaderDelegate() = default;
    // The upload path of the level being saved ("Sales/Invoice/Line"); none uploads to
    // "zqobject" directly under the server's base URL.
    virtual std::optional<std::string> uploaderRestPath() const { return std::nullopt; }
    virtual void objectUploaderDidFinishUploading(
        const std::shared_ptr<ZQObjectUploader>& uploader) {
        (void)uploader;
    }
    virtual void objectUploaderDidFailUploadingWithError(
        const std::shared_ptr<ZQObjectUploader>& uploader, const platform::ErrorPtr& error) {
        (void)uploader;
        (void)error;
    }
};
