// The data providers of an application model, found by walking its Work With lists, details and
// sections, each with the input parameters of the screen that declares it; builds the remote data
// source of a provider (what a query names) and writes the `zqdl providers` lines. Built once
// from an immutable model; read-only afterwards, so any thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataSourceDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithData.hpp"
#include "platform/Value.hpp"

namespace zqdl {

struct ZqdlProvider {
    std::shared_ptr<const ZQWorkWithModel> workWith;
    std::shared_ptr<const ZQWorkWithData> data;
    ZQWorkWithParameters parameters;
};

class ZqdlProviderCatalog {
  public:
    explicit ZqdlProviderCatalog(const ZQApplicationModel& model);

    // In model order; a provider declared twice is listed once (its first declaration, as the
    // model's own look-up answers).
    const std::vector<ZqdlProvider>& providers() const { return providers_; }
    const ZqdlProvider* find(const std::string& name) const;

    // The remote data source a query of this provider names: a collection or single-item one.
    static std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> dataSource(
        const ZqdlProvider& provider);
    // The JSON line of `zqdl providers`.
    static std::string describe(const ZqdlProvider& provider);
    // A parameter value typed as the parameter: numbers, booleans, text otherwise; none (with
    // *error set) when the text does not read as the parameter's type.
    static std::optional<platform::Value> parameterValue(const ZQTypedObjectInfo& parameter,
                                                         const std::string& text,
                                                         std::string* error);

  private:
    void add(const std::shared_ptr<const ZQWorkWithModel>& workWith, const ZQWorkWithDataList& data,
             const ZQWorkWithParameters& parameters);

    std::vector<ZqdlProvider> providers_;
};

}  // namespace zqdl
