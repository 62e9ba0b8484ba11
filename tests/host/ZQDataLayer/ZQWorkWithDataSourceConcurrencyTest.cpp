// Data sources and the running model are read from many threads at once: the first reads race.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQWorkWithSingleItemDataSource.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "tests/host/ZQObjectsModel/SampleApp.hpp"

namespace {

TEST(ZQWorkWithDataSourceThreads, FirstSublevelReadsFromManyThreadsAgree) {
    auto model = zqtest::loadSampleModel();
    auto data = model->dataProviderNamed("WorkWithCustomer.Customer.Detail");
    for (int round = 0; round < 20; ++round) {
        auto source = ZQWorkWithSingleItemDataSource::create(data->workWithModel(), data, {});
        std::vector<const ZQEntityDataSourceSublevelDescriptor*> seen(4, nullptr);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < seen.size(); ++i)
            threads.emplace_back(
                [&, i] { seen[i] = source->entityDataSourceSublevels().at(0).get(); });
        for (auto& thread : threads) thread.join();
        for (auto* sublevel : seen) EXPECT_EQ(sublevel, seen[0]);
    }
}

TEST(ZQWorkWithDataSourceThreads, ServerURLMayChangeWhileOthersResolve) {
    auto appModel = std::make_shared<ZQApplicationModel>("App", "");
    appModel->setAppServerBaseUrl(platform::URL::fromString("http://127.0.0.1:1/a/"));
    ZQModel::setCurrentModel(ZQModel::create(appModel));
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i)
            appModel->setAppServerBaseUrl(
                platform::URL::fromString("http://127.0.0.1:" + std::to_string(i + 1) + "/a/"));
    });
    std::thread swapper([&] {
        for (int i = 0; i < 50; ++i) ZQModel::setCurrentModel(ZQModel::create(appModel));
    });
    for (int i = 0; i < 200; ++i) {
        auto url = ZQEntityHelper::urlRelativeToServerBaseURL("rest/P");
        ASSERT_TRUE(url);
        EXPECT_EQ(url->path(), "/a/rest/P");
    }
    writer.join();
    swapper.join();
    ZQModel::setCurrentModel(nullptr);
}

}  // namespace
