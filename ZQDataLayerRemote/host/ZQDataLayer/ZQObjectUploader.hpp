// The protocol of an operation that uploads the binary values of one save: an asynchronous
// platform::Operation the caller starts (or adds to a queue) after setting its delegate. Shared
// by the caller and the uploader's own steps; implementations say which lock guards what.
#pragma once

#include <memory>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderDelegate.hpp"
#include "platform/Error.hpp"
#include "platform/Operation.hpp"

class ZQObjectUploader : public platform::Operation {
  public:
    // The references given at creation, the same objects (identity): each uploaded single
    // reference carries its uploadedObjectId afterwards.
    virtual const std::vector<std::shared_ptr<ZQBinaryDataFieldReference>>&
    binaryDataFieldReferences() const = 0;
    // The error that ended the upload; none after a success or before the end.
    virtual platform::ErrorPtr error() const = 0;
    virtual void setDelegate(std::weak_ptr<ZQObjectUploaderDelegate> delegate) = 0;
};
