// The constants shared by the host's data providers and the providers that subclass them: option
// keys of a load's options dictionary, the markers a total count takes while it is unknown, the
// bits of refreshFlags, the states of a held load, the loaded state of a detail, and the
// notification posted when the application returns to the foreground. Constants; any thread.
#pragma once

#include <cstdint>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryInfo.hpp"

// The query types the providers ask for (the entity data manager gives them their roles).
inline constexpr ZQEntityDataQueryType ZQEntityDataQueryTypeLocal = 0;
inline constexpr ZQEntityDataQueryType ZQEntityDataQueryTypeFirst = 1;
inline constexpr ZQEntityDataQueryType ZQEntityDataQueryTypeRefresh = 2;
inline constexpr ZQEntityDataQueryType ZQEntityDataQueryTypeNextPage = 3;

// Options dictionary keys (boolean values).
// Ask the server even inside the data source's caching window.
inline constexpr const char* ZQRemoteEntityProviderForceOptionKey =
    "ZQRemoteEntityProviderForceOption";
// Load again, in one request, every row already loaded (a list refresh that keeps the scroll).
inline constexpr const char* ZQEntityDataListProviderAllLoadedDataOptionKey =
    "ZQEntityDataListProviderAllLoadedDataOption";

// Total counts: a non-negative count means every row is loaded; these markers mean it is not.
// The cache has not been read yet for the current query.
inline constexpr int64_t ZQTotalCountUnknownLocal = -1;
// The server has not answered the current query yet.
inline constexpr int64_t ZQTotalCountUnknownRemote = -2;
// The server answered with a page and has more rows.
inline constexpr int64_t ZQTotalCountUnknownPendingRemote = -3;

// refreshFlags bits: a refresh is required, it goes to the server even inside the caching
// window, and (lists) it reloads every row already loaded.
inline constexpr uint32_t ZQEntityDataProviderRefreshFlagRequired = 1u << 0;
inline constexpr uint32_t ZQEntityDataProviderRefreshFlagForce = 1u << 1;
inline constexpr uint32_t ZQEntityDataProviderRefreshFlagAllLoadedData = 1u << 2;

// loadWaitingForDelegateState: why the provider waits for its delegate to let loads go.
enum ZQEntityDataProviderLoadWaitingForDelegateState : uint8_t {
    ZQLoadWaitingForDelegateNone = 0,
    // A load was asked for; what to load is decided when the delegate lets it go.
    ZQLoadWaitingForDelegateLoad = 1,
    // A query is built and held (currentQuery); retryWaitingForDelegateOperation sends it.
    ZQLoadWaitingForDelegateOperation = 2,
};

// The key of a load's context dictionary that marks a load of the editable version of an item.
inline constexpr const char* ZQEntityDataProviderMutableContextKey = "mutable";
// The key of a load's context dictionary that, set to false, keeps a successful answer from
// starting the refresh that refreshFlags ask for.
inline constexpr const char* ZQEntityDataProviderRefreshWithFlagsContextKey =
    "refreshWithFlagsOnSuccessfullLoad";

// What a detail provider knows of its item.
enum class ZQEntityDataDetailProviderLoadedState : uint8_t {
    unknownLocal = 0,   // nothing loaded; the cache is to be read first
    unknownRemote = 1,  // the cache was read (or is not used); the server's version is to come
    remote = 2,         // the server's version has been loaded
};

// Posted (any thread, sender none) when the application is about to return to the foreground.
inline constexpr const char* ZQApplicationWillEnterForegroundNotification =
    "ZQApplicationWillEnterForegroundNotification";
