#include "tools/zqdl/ZqdlQueryDelegate.hpp"

namespace zqdl {

void ZqdlQueryDelegate::entityDataManagerDidFinishLoadingQuery(
    const std::shared_ptr<ZQEntityDataManager>& manager,
    const std::shared_ptr<ZQEntityDataQueryInfo>& query,
    const std::shared_ptr<ZQEntityDataQueryResult>& result) {
    if (callback_) callback_(number_, query, result);
}

}  // namespace zqdl
