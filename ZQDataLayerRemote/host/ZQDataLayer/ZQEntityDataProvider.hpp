// Protocol of the data providers that screens load through (list and detail providers). The
// Work With helpers make providers from the registered remote provider classes; the provider
// interface grows with the provider base classes. A provider is used on the main thread.
#pragma once

class ZQEntityDataProvider {
  public:
    virtual ~ZQEntityDataProvider() = default;
};
