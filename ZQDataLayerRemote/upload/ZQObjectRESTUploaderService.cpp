#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"

#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderOperation.hpp"

std::shared_ptr<ZQObjectUploader>
ZQObjectRESTUploaderService::objectUploaderOperationWithBinaryDataFieldReferences(
    std::vector<std::shared_ptr<ZQBinaryDataFieldReference>> references) {
    return ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences(
        std::move(references));
}
