// A Work With data provider: a named query of the application's REST server that returns one item
// or a collection, with its elements, sublevels, caching settings and, for collections, orders,
// break-by and filters. The list, detail or section that declares it owns it; it refers to its
// Work With model weakly. Built by the model loader; immutable afterwards; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithCacheProperties.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataBreakBy.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataFilterAdvanced.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataFilterSearch.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataOrder.hpp"

class ZQWorkWithModel;
class ZQWorkWithData;

// The input parameters of a Work With list, detail or section, in order.
using ZQWorkWithParameters = std::vector<std::shared_ptr<const ZQTypedObjectInfo>>;
using ZQWorkWithDataList = std::vector<std::shared_ptr<const ZQWorkWithData>>;

class ZQWorkWithData : public ZQWorkWithDataLevel {
  public:
    ZQWorkWithData(std::string dataProviderName, bool isCollection)
        : dataProviderName_(std::move(dataProviderName)), isCollection_(isCollection) {}

    // The first element of data whose dataProviderName equals name; none when there is none.
    static std::shared_ptr<const ZQWorkWithData> workWithDataForDataProviderName(
        const std::string& name, const ZQWorkWithDataList& data);

    // "." separates modules: "Sales.Orders.List" is served at rest/Sales/Orders/List.
    const std::string& dataProviderName() const { return dataProviderName_; }
    bool isCollection() const { return isCollection_; }
    // None when the model gives no caching settings (no caching).
    const std::shared_ptr<const ZQWorkWithCacheProperties>& cacheProperties() const {
        return cacheProperties_;
    }
    const std::vector<std::shared_ptr<const ZQWorkWithDataOrder>>& orders() const {
        return orders_;
    }
    const std::shared_ptr<const ZQWorkWithDataBreakBy>& breakBy() const { return breakBy_; }
    const std::shared_ptr<const ZQWorkWithDataFilterSearch>& filterSearch() const {
        return filterSearch_;
    }
    const std::shared_ptr<const ZQWorkWithDataFilterAdvanced>& filterAdvanced() const {
        return filterAdvanced_;
    }
    std::shared_ptr<const ZQWorkWithModel> workWithModel() const { return workWithModel_.lock(); }

    // Loader only.
    void setCacheProperties(std::shared_ptr<const ZQWorkWithCacheProperties> properties) {
        cacheProperties_ = std::move(properties);
    }
    void addOrder(std::shared_ptr<const ZQWorkWithDataOrder> order) {
        orders_.push_back(std::move(order));
    }
    void setBreakBy(std::shared_ptr<const ZQWorkWithDataBreakBy> breakBy) {
        breakBy_ = std::move(breakBy);
    }
    void setFilterSearch(std::shared_ptr<const ZQWorkWithDataFilterSearch> filter) {
        filterSearch_ = std::move(filter);
    }
    void setFilterAdvanced(std::shared_ptr<const ZQWorkWithDataFilterAdvanced> filter) {
        filterAdvanced_ = std::move(filter);
    }
    void setWorkWithModel(std::weak_ptr<const ZQWorkWithModel> model) {
        workWithModel_ = std::move(model);
    }

  private:
    std::string dataProviderName_;
    bool isCollection_;
    std::shared_ptr<const ZQWorkWithCacheProperties> cacheProperties_;
    std::vector<std::shared_ptr<const ZQWorkWithDataOrder>> orders_;
    std::shared_ptr<const ZQWorkWithDataBreakBy> breakBy_;
    std::shared_ptr<const ZQWorkWithDataFilterSearch> filterSearch_;
    std::shared_ptr<const ZQWorkWithDataFilterAdvanced> filterAdvanced_;
    std::weak_ptr<const ZQWorkWithModel> workWithModel_;
};
