// Reads the "workWiths" part of the application model file into Work With models added to the
// model being loaded: levels, lists, details, sections, data providers with their elements,
// sublevels, caching settings, orders, break-by and filters. Used by ZQApplicationModelLoader
// during one load, on the loading thread; shape errors throw ZQModelFileReader::Failure.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "platform/Value.hpp"

class ZQWorkWithModelReader {
  public:
    explicit ZQWorkWithModelReader(ZQApplicationModel& model) : model_(model) {}
    void readWorkWiths(const platform::Array& workWiths, const std::string& path);

  private:
    std::shared_ptr<ZQWorkWithList> readList(const platform::Value& value, const std::string& path);
    std::shared_ptr<ZQWorkWithDetail> readDetail(const platform::Value& value,
                                                 const std::string& path);
    std::shared_ptr<ZQWorkWithSection> readSection(const platform::Value& value,
                                                   const std::string& path);
    ZQWorkWithDataList readDataList(const platform::Dictionary& owner, const std::string& path);
    std::shared_ptr<ZQWorkWithData> readData(const platform::Value& value, const std::string& path);
    void readLevelContents(ZQWorkWithDataLevel& level,
                           const std::shared_ptr<ZQWorkWithDataLevel>& self,
                           const std::shared_ptr<ZQWorkWithData>& root,
                           const platform::Dictionary& object, const std::string& path);
    std::shared_ptr<ZQWorkWithDataElement> readElement(const platform::Value& value,
                                                       const std::string& path);
    std::shared_ptr<ZQWorkWithCacheProperties> readCache(const platform::Value& value,
                                                         const std::string& path);
    void readOrders(ZQWorkWithData& data, const platform::Dictionary& object,
                    const std::string& path);
    void readAdvancedFilter(ZQWorkWithData& data, const platform::Value& value,
                            const std::string& path);
    void readCollectionParts(ZQWorkWithData& data, const platform::Dictionary& object,
                             const std::string& path);
    std::optional<ZQWorkWithParameters> readParameters(const platform::Dictionary& owner,
                                                       const std::string& path);
    // Resolves what it can; Work With references to missing definitions are left for the data
    // layer to report.
    std::shared_ptr<const ZQTypedObjectInfo> resolved(
        std::shared_ptr<ZQTypedObjectInfo> info) const;

    ZQApplicationModel& model_;
    std::weak_ptr<const ZQWorkWithModel> currentWorkWith_;  // the Work With being read
};
