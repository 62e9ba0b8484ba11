#include "ZQDataLayerRemote/manager/ZQRemoteURLBuilder.hpp"

std::string ZQRemoteURLBuilder::remoteQuery(const std::optional<std::string>& queryParameters,
                                            bool isCollection, ZQRange pageRange, uint64_t zqid) {
    std::string query;
    if (queryParameters && !queryParameters->empty()) query = *queryParameters + "&";
    if (isCollection) {
        query += "start=" + std::to_string(pageRange.location) +
                 "&count=" + std::to_string(pageRange.length) + "&";
    }
    query += "zqid=" + std::to_string(zqid);
    return query;
}

platform::URL ZQRemoteURLBuilder::remoteURL(const platform::URL& baseURL,
                                            const std::optional<std::string>& queryParameters,
                                            bool isCollection, ZQRange pageRange, uint64_t zqid) {
    std::optional<platform::URL> url = platform::URL::resolve(
        "?" + remoteQuery(queryParameters, isCollection, pageRange, zqid), baseURL);
    return url ? *url : baseURL;
}
