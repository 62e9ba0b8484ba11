// The answer to a collection query: rows in sections (none when there is no data), the number of
// rows, whether the server has no more, and the alphabetic index (titles in row order, and for
// each title the range of sections it covers). Built on one thread, then only read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryResult.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"

using ZQAlphaIndexRangesByTitle = std::map<std::string, ZQRange>;

class ZQEntityDataQueryCollectionResult : public virtual ZQEntityDataQueryResult {
  public:
    ZQEntityDataQueryCollectionResult(
        std::optional<ZQEntityDataSections> resultData, std::optional<platform::Date> timeStamp,
        platform::ErrorPtr error, uint64_t count, bool complete,
        std::optional<std::vector<std::string>> alphaIndexTitles,
        std::optional<ZQAlphaIndexRangesByTitle> alphaIndexRangesByTitle)
        : resultData_(std::move(resultData)),
          timeStamp_(timeStamp),
          error_(std::move(error)),
          count_(count),
          complete_(complete),
          alphaIndexTitles_(std::move(alphaIndexTitles)),
          alphaIndexRangesByTitle_(std::move(alphaIndexRangesByTitle)) {}

    const std::optional<ZQEntityDataSections>& resultData() const { return resultData_; }
    std::optional<platform::Date> timeStamp() const override { return timeStamp_; }
    platform::ErrorPtr error() const override { return error_; }
    uint64_t count() const { return count_; }
    // No more rows exist on the server.
    bool complete() const { return complete_; }
    const std::optional<std::vector<std::string>>& alphaIndexTitles() const {
        return alphaIndexTitles_;
    }
    const std::optional<ZQAlphaIndexRangesByTitle>& alphaIndexRangesByTitle() const {
        return alphaIndexRangesByTitle_;
    }

  private:
    std::optional<ZQEntityDataSections> resultData_;
    std::optional<platform::Date> timeStamp_;
    platform::ErrorPtr error_;
    uint64_t count_;
    bool complete_;
    std::optional<std::vector<std::string>> alphaIndexTitles_;
    std::optional<ZQAlphaIndexRangesByTitle> alphaIndexRangesByTitle_;
};
