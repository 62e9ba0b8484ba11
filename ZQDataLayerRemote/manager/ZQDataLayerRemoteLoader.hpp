// The library's start-up entry point: the host's start-up code calls load() once, before or after
// its core initialisation, and the library registers its classes and services with the host's
// registries when that initialisation is done. An explicit call rather than a static initialiser,
// which a linker may drop from a static library. Static functions; any thread.
#pragma once

class ZQDataLayerRemoteLoader {
  public:
    // Hands the host, once per process, the block that performs the registrations; later calls do
    // nothing. The block runs on the thread that finishes the core initialisation, or at once on
    // this thread when the host has finished it already.
    static void load();
};
