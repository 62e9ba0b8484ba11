// The answer to a single-item query: the item (none when there is none), its time stamp and the
// error. Built on one thread, then only read.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"

class ZQEntityDataQuerySingleItemResult : public virtual ZQEntityDataQueryResult {
  public:
    ZQEntityDataQuerySingleItemResult(std::shared_ptr<ZQEntityData> resultData,
                                      std::optional<platform::Date> timeStamp,
                                      platform::ErrorPtr error)
        : resultData_(std::move(resultData)), timeStamp_(timeStamp), error_(std::move(error)) {}

    const std::shared_ptr<ZQEntityData>& resultData() const { return resultData_; }
    // The same item, under the name providers use.
    const std::shared_ptr<ZQEntityData>& dataItem() const { return resultData_; }
    std::optional<platform::Date> timeStamp() const override { return timeStamp_; }
    platform::ErrorPtr error() const override { return error_; }

  private:
    std::shared_ptr<ZQEntityData> resultData_;
    std::optional<platform::Date> timeStamp_;
    platform::ErrorPtr error_;
};
