// The level descriptor of a Work With data provider's sublevel: its fields, storage key and own
// sublevels, and a weak reference to the level that holds it. The parent owns it. Built with
// create(), which makes its sublevels too; immutable afterwards; any thread.
#pragma once

#include <memory>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataFields.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithDataSublevel.hpp"

class ZQWorkWithDataSublevelDataSource : public ZQEntityDataSourceSublevelDescriptor {
  public:
    [[nodiscard]] static std::shared_ptr<const ZQWorkWithDataSublevelDataSource> create(
        std::shared_ptr<const ZQWorkWithDataSublevel> sublevel,
        std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent);

    const std::shared_ptr<const ZQWorkWithDataSublevel>& workWithDataSublevel() const {
        return sublevel_;
    }

    const std::string& entityDataSourceLevelName() const override { return sublevel_->level(); }
    std::shared_ptr<const ZQEntityDataFieldsDescriptor> entityDataSourceDataDescriptor()
        const override {
        return dataFields_;
    }
    const ZQEntityDataSourceSublevelDescriptors& entityDataSourceSublevels() const override {
        return sublevels_;
    }
    std::shared_ptr<const ZQEntityDataKeyDescriptor> entityDataSourceStorageKeyDescriptor()
        const override {
        return storageKey_;
    }
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> entityDataSourceParentLevel()
        const override {
        return parent_.lock();
    }

    // Through create() only; public for make_shared.
    ZQWorkWithDataSublevelDataSource(std::shared_ptr<const ZQWorkWithDataSublevel> sublevel,
                                     std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent);

  private:
    const std::shared_ptr<const ZQWorkWithDataSublevel> sublevel_;
    const std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent_;
    const std::shared_ptr<const ZQWorkWithDataFields> dataFields_;
    const std::shared_ptr<const ZQWorkWithDataFields> storageKey_;
    ZQEntityDataSourceSublevelDescriptors sublevels_;  // filled by create() only
};
