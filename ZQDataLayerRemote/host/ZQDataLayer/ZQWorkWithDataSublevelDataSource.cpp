#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithDataSublevelDataSource.hpp"

ZQWorkWithDataSublevelDataSource::ZQWorkWithDataSublevelDataSource(
    std::shared_ptr<const ZQWorkWithDataSublevel> sublevel,
    std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent)
    : sublevel_(std::move(sublevel)),
      parent_(std::move(parent)),
      dataFields_(ZQWorkWithDataFields::dataFieldsOfLevel(*sublevel_)),
      storageKey_(ZQWorkWithDataFields::storageKeyOfLevel(*sublevel_, *dataFields_)) {}

std::shared_ptr<const ZQWorkWithDataSublevelDataSource> ZQWorkWithDataSublevelDataSource::create(
    std::shared_ptr<const ZQWorkWithDataSublevel> sublevel,
    std::weak_ptr<const ZQEntityDataSourceLevelDescriptor> parent) {
    auto self =
        std::make_shared<ZQWorkWithDataSublevelDataSource>(std::move(sublevel), std::move(parent));
    std::shared_ptr<const ZQEntityDataSourceLevelDescriptor> asParent = self;
    for (const auto& child : self->sublevel_->sublevels())
        self->sublevels_.push_back(create(child, asParent));
    return self;
}
