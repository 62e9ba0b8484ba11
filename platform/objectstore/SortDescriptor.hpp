// A sort key of a fetch request: a key path (an attribute, possibly through to-one relationships)
// and a direction. Strings sort by binary comparison. Value type; any thread.
#pragma once

#include <string>

namespace platform {

struct SortDescriptor {
    std::string keyPath;
    bool ascending = true;
};

}  // namespace platform
