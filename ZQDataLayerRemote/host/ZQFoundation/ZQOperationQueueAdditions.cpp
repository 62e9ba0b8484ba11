#include "ZQDataLayerRemote/host/ZQFoundation/ZQOperationQueueAdditions.hpp"

std::shared_ptr<ZQParseJsonOperation> addURLRequestAndParseJSONOperationsForRequest(
    const std::shared_ptr<platform::OperationQueue>& queue,
    const std::shared_ptr<ZQURLRequest>& request,
    std::weak_ptr<ZQURLRequestOperationDelegate> requestDelegate,
    std::weak_ptr<ZQParseJsonOperationDelegate> parseDelegate) {
    auto requestOperation = ZQURLRequestOperation::create(request, std::move(requestDelegate));
    auto parseOperation = ZQParseJsonOperation::create(std::move(parseDelegate));
    parseOperation->setSource(requestOperation);
    parseOperation->addDependency(requestOperation);
    queue->addOperation(requestOperation);
    queue->addOperation(parseOperation);
    return parseOperation;
}
