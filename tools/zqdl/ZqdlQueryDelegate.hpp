// The delegate of one query that zqdl hands the entity data manager: passes each answer, with its
// own number, to the runner's callback. Held by the runner (the manager holds it weakly); the
// manager calls it on the main thread only, where the callback runs too.
#pragma once

#include <functional>
#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

namespace zqdl {

class ZqdlQueryDelegate : public ZQEntityDataManagerDelegate {
  public:
    using Callback = std::function<void(int number, const std::shared_ptr<ZQEntityDataQueryInfo>&,
                                        const std::shared_ptr<ZQEntityDataQueryResult>&)>;

    ZqdlQueryDelegate(int number, Callback callback)
        : number_(number), callback_(std::move(callback)) {}

    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>& manager,
        const std::shared_ptr<ZQEntityDataQueryInfo>& query,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override;

    int number() const { return number_; }

  private:
    const int number_;
    const Callback callback_;
};

}  // namespace zqdl
