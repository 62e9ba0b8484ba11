// The request URL of a remote load: the query-parameter string, the page (collections only) and
// the caller's zqid, as a query resolved against the provider's base URL. Paging and zqid are
// never part of a cache key, so they are added here and nowhere else. Stateless; any thread. The
// remote loader context's remoteURL calls it with its own fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQRange.hpp"
#include "platform/URL.hpp"

class ZQRemoteURLBuilder {
  public:
    // "?" + the non-empty parts among: queryParameters (when not empty), "start=L&count=N" for a
    // collection (a length of 0 asks for every row), "zqid=Z"; joined by "&" and resolved against
    // baseURL, replacing any query it has. baseURL itself when that gives no URL.
    static platform::URL remoteURL(const platform::URL& baseURL,
                                   const std::optional<std::string>& queryParameters,
                                   bool isCollection, ZQRange pageRange, uint64_t zqid);
    // The query text alone (without "?").
    static std::string remoteQuery(const std::optional<std::string>& queryParameters,
                                   bool isCollection, ZQRange pageRange, uint64_t zqid);
};
