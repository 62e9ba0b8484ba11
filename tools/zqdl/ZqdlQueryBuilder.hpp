// Turns the options of `zqdl query` into the library's remote query info for a provider of the
// model, checking them against the provider: its parameters (count and types), its orders and
// search fields, and options that only collections take. Stateless functions; any thread.
#pragma once

#include <memory>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "tools/zqdl/ZqdlCommandLine.hpp"
#include "tools/zqdl/ZqdlProviderCatalog.hpp"

namespace zqdl {

class ZqdlQueryBuilder {
  public:
    // A new query info on dataSource (made from provider); none, with *error set to a usage
    // message, when the options do not fit the provider.
    [[nodiscard]] static std::shared_ptr<ZQEntityDataQueryInfo> make(
        const ZqdlProvider& provider,
        const std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor>& dataSource,
        const QueryOptions& options, std::string* error);

  private:
    static bool checkCollectionOptions(const ZqdlProvider& provider, const QueryOptions& options,
                                       std::string* error);
    static std::optional<platform::Array> parameterValues(const ZqdlProvider& provider,
                                                          const QueryOptions& options,
                                                          std::string* error);
};

}  // namespace zqdl
