// The library's version symbols. Constants; any thread.
#pragma once

extern const double ZQDataLayerRemoteVersionNumber;
extern const unsigned char ZQDataLayerRemoteVersionString[];
