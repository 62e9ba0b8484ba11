#include "ZQDataLayerRemote/ZQDataLayerRemoteVersion.hpp"

// The build defines both from the project's version.
const double ZQDataLayerRemoteVersionNumber = ZQ_VERSION_NUMBER;
const unsigned char ZQDataLayerRemoteVersionString[] = "ZQDataLayerRemote " ZQ_VERSION_TEXT;
