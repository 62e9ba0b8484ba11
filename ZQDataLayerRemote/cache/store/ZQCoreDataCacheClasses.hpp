// Registration of the ten cached object classes with the platform's class registry, under the
// names the cache schema writes into its entities (ZQCoreDataCacheClassNames), so that contexts
// make objects of these classes. Stateless; any thread; registration runs once per process.
#pragma once

class ZQCoreDataCacheClasses {
  public:
    // Idempotent and safe to call from several threads at once: the first call registers, later
    // calls (and concurrent ones, once the first has finished) do nothing.
    static void registerClasses();
};
