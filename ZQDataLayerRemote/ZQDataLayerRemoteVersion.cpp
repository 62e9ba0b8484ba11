#include "ZQDataLayerRemote/ZQDataLayerRemoteVersion.hpp"

const double ZQDataLayerRemoteVersionNumber = 1.0;
const unsigned char ZQDataLayerRemoteVersionString[] = "ZQDataLayerRemote 1.0";
