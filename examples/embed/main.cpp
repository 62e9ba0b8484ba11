// A host program that embeds the installed library: starts the host, runs the library's start-up
// entry, loads an application model pointed at a REST server, and prints the rows of the first page
// of one list provider, one line each. Usage: zq_embed_example MODEL.json SERVER_URL [PROVIDER]
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ZQDataLayerRemote/ZQDataLayerRemoteVersion.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManager.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataManagerDelegate.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataQueryCollectionResult.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQHost.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModelManager.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQNotFound.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithLevel.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithList.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQWorkWithModel.hpp"
#include "ZQDataLayerRemote/manager/ZQDataLayerRemoteLoader.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryCollectionInfo.hpp"
#include "ZQDataLayerRemote/manager/ZQRemoteEntityDataQueryType.hpp"
#include "ZQDataLayerRemote/providers/ZQRemoteWorkWithCollectionDataSource.hpp"
#include "platform/MainLoop.hpp"

namespace {

// The screen's side of a query: told once, on the main thread.
class PrintingDelegate : public ZQEntityDataManagerDelegate {
  public:
    void entityDataManagerDidFinishLoadingQuery(
        const std::shared_ptr<ZQEntityDataManager>&, const std::shared_ptr<ZQEntityDataQueryInfo>&,
        const std::shared_ptr<ZQEntityDataQueryResult>& result) override {
        done = true;
        auto rows = std::dynamic_pointer_cast<ZQEntityDataQueryCollectionResult>(result);
        if (!rows || rows->error()) {
            std::fprintf(stderr, "query failed: %s\n",
                         rows && rows->error() ? rows->error()->localizedDescription().c_str()
                                               : "not a list");
            return;
        }
        if (rows->resultData()) {
            for (const auto& section : *rows->resultData())
                for (const auto& row : section)
                    std::printf("%s\n",
                                row->valueForEntityDataFieldName(field).description().c_str());
        }
        std::printf("rows: %llu\n", static_cast<unsigned long long>(rows->count()));
        ok = true;
    }
    std::string field;
    bool done = false;
    bool ok = false;
};

// The model file as written, with the server the program talks to.
std::shared_ptr<const ZQApplicationModel> loadModel(const std::filesystem::path& path,
                                                    const std::string& serverURL) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = ZQJSON::parse(text.str(), path.filename().string());
    if (parsed.error || !parsed.value.isDictionary()) return nullptr;
    platform::Dictionary members = *parsed.value.dictionary();
    members.set("appServerBaseUrl", platform::Value(serverURL));
    auto written = ZQJSON::write(platform::Value(std::move(members)));
    return ZQApplicationModelLoader::loadFromString(written.text, path.filename().string(), path)
        .model;
}

// The list of the first level that has one, or the list of the named provider.
std::shared_ptr<const ZQRemoteEntityDataSourceDescriptor> listDataSource(
    const ZQApplicationModel& model, const std::string& provider, std::string& firstField) {
    for (const auto& workWith : model.workWiths()) {
        for (const auto& level : workWith->levels()) {
            const auto& list = level->list();
            if (!list) continue;
            for (const auto& data : list->data()) {
                if (!data->isCollection() ||
                    (!provider.empty() && data->dataProviderName() != provider))
                    continue;
                if (!data->elements().empty()) firstField = data->elements().front()->name();
                return ZQRemoteWorkWithCollectionDataSource::create(
                    workWith, data, list->parameters().value_or(ZQWorkWithParameters{}));
            }
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MODEL.json SERVER_URL [PROVIDER]\n", argv[0]);
        return 2;
    }
    std::printf("%s\n", reinterpret_cast<const char*>(ZQDataLayerRemoteVersionString));

    // 1. The library registers its classes with the host, before the host starts.
    ZQDataLayerRemoteLoader::load();
    // 2. The host: where the caches go, then its own start-up.
    ZQHostConfiguration configuration;
    configuration.applicationRoot = std::filesystem::temp_directory_path() / "zq-embed-example";
    if (auto error = ZQHost::start(configuration)) {
        std::fprintf(stderr, "the host cannot start: %s\n", error->localizedDescription().c_str());
        return 1;
    }
    // 3. The application model, made current.
    auto appModel = loadModel(argv[1], argv[2]);
    if (!appModel) {
        std::fprintf(stderr, "cannot load the model %s\n", argv[1]);
        return 1;
    }
    auto loaded = ZQModelManager::sharedManager()->loadModelForApplication(appModel);
    if (!loaded.model) return 1;
    ZQModel::setCurrentModel(loaded.model);

    // 4. One query, as a screen would ask for it; answers arrive on the main loop.
    std::string field;
    auto dataSource = listDataSource(*appModel, argc > 3 ? argv[3] : "", field);
    if (!dataSource) {
        std::fprintf(stderr, "the model has no such list provider\n");
        return 1;
    }
    auto query = ZQRemoteEntityDataQueryCollectionInfo::create(
        std::dynamic_pointer_cast<const ZQCollectionEntityDataSourceDescriptor>(dataSource),
        ZQRemoteEntityDataQueryType::First, std::nullopt, 0, false, 20, ZQNotFound, std::nullopt,
        ZQNotFound, std::nullopt);
    auto delegate = std::make_shared<PrintingDelegate>();
    delegate->field = field;
    auto manager = ZQEntityDataManager::create();
    manager->load(query, delegate);
    platform::runUntil([&] { return delegate->done; }, 60);
    return delegate->ok ? 0 : 1;
}
