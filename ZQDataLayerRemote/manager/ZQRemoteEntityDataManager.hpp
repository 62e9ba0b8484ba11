// The online entity data manager: turns a query into its request (base URL, parameter string)
// and its keys, and owns the data-service manager that performs and shares the requests. Made by
// create() and owned by the host; the request and key functions are stateless and may be called
// from any thread; the service manager is fixed at construction.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceManager.hpp"
#include "ZQDataLayerRemote/services/ZQEntityDataServiceQueryInfo.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

class ZQRemoteEntityDataManager : public platform::Object,
                                  public std::enable_shared_from_this<ZQRemoteEntityDataManager> {
  public:
    ZQRemoteEntityDataManager();
    [[nodiscard]] static std::shared_ptr<ZQRemoteEntityDataManager> create();

    const std::shared_ptr<ZQEntityDataServiceManager>& serviceManager() const {
        return serviceManager_;
    }

    // "rest/" + the data provider's name with every "." replaced by "/", relative to the
    // application's server. None without a running model or server URL.
    static std::optional<platform::URL> baseURLForQueryInfo(const ZQEntityDataQueryInfo& queryInfo);
    // The provider parameters and, for collections, order, advanced filter and search, as the
    // host's parameter string sorted by name (equal queries give equal strings). None for a
    // single-item query without parameters; empty for a collection query without any.
    static std::optional<std::string> queryParametersForQueryInfo(
        const ZQEntityDataQueryInfo& queryInfo);
    // The query key: "<base URL>?<parameters>", or the base URL alone without a parameter string.
    // Paging and zqid are not part of it, so all pages and callers of one query share it.
    static std::string keyForBaseURL(const platform::URL& baseURL,
                                     const std::optional<std::string>& queryParameters);
    // The service key: the request URL directly followed by the standard description of its
    // If-Modified-Since date, when it has one.
    static std::string keyForServiceQueryInfo(const ZQEntityDataServiceQueryInfo& queryInfo);

  private:
    const std::shared_ptr<ZQEntityDataServiceManager> serviceManager_;
};
