// Protocol of the service that uploads binary field values before a save. A framework registers
// one instance with ZQDataLayerServices; the upload operations it makes are declared here as they
// are added to the host. Called from any thread.
#pragma once

class ZQObjectUploaderService {
  public:
    virtual ~ZQObjectUploaderService() = default;
};
