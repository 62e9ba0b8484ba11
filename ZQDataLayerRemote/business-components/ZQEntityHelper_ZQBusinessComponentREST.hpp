// The business-component REST addressing, the one format of business-component URLs: an
// instance at rest/<root segment>/<root key values>[/<child segment>/<child key values>...],
// default values at rest/<component path>/_default, and the upload path of a level. A segment is
// the component's name (root) or the level's name (child) with "." read as "/"; key values are
// ZQEntityHelper's URL texts joined with ",". Pure functions of their arguments and of the server
// base URL; any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"
#include "platform/URL.hpp"

class ZQEntityHelper_ZQBusinessComponentREST {
  public:
    // The absolute URL of the instance of `level` whose key is `key` (a child level's key carries
    // its parents' keys). None when only one of the two is given, a segment name is empty, a key
    // has no values, the key chain and the level chain differ in length, or there is no server
    // base URL.
    static std::optional<platform::URL> businessComponentURLFromLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQEntityDataKey>& key);
    // None for no name (or an empty one) or without a server base URL.
    static std::optional<platform::URL> businessComponentDefaultURLFromName(
        const std::optional<std::string>& name);
    // "Sales/Invoice/Line" for the level Line of Sales.Invoice; "" for no level. A level without a
    // name ends the walk outwards.
    static std::string fileUploadURLPathComponentForBusinessComponentLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level);
};
