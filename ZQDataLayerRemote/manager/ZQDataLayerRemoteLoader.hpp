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
    // The Work With provider classes alone (a detail's item with its sections, the lists of a
    // detail and of a section), as the registrations make them; for callers that run without the
    // host's start-up.
    static void registerWorkWithProviderClasses();
    // The dynamic combo, hide-code and prompt-after provider classes alone, likewise.
    static void registerFieldServiceProviderClasses();
};
