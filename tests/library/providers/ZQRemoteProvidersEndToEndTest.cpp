#include <gtest/gtest.h>

#include <sstream>

#include "ZQDataLayerRemote/providers/ZQBaseRemoteListEntityDataProvider.hpp"
#include "tests/library/providers/ProviderTestSupport.hpp"

namespace zqtest {
namespace {

using QueryType = ZQRemoteEntityDataQueryType;
using Origin = ZQEntityDataProviderDataOrigin;

class RemoteProvidersEndToEnd : public ProviderTest {};

TEST_F(RemoteProvidersEndToEnd, AListOverAServerThatIsDownShowsItsCachedRowsAndReportsOnce) {
    prime(invoices(QueryType::First, 20));
    leaveCachingWindow();
    invoiceRows_->setFailureStatus(500);

    auto provider = ZQBaseRemoteListEntityDataProvider::create(invoiceSource_);
    attach(*provider);
    provider->load();
    ASSERT_TRUE(settle(*provider));
    runMainLoopFor(0.2);  // nothing may follow by itself

    auto shown = delegate_->of(ProviderEvent::data);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].origin, Origin::cache);
    EXPECT_EQ(shown[0].ids, idRange(1, 20));
    auto errors = delegate_->of(ProviderEvent::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].ids, idRange(1, 20));  // the rows stay
    EXPECT_EQ(provider->totalCount(), ZQTotalCountUnknownRemote);
    EXPECT_EQ(loader_->queries.size(), 2u);
    EXPECT_EQ(delegate_->events.back().loadingState, ZQBaseEntityDataProvider::LoadingState::idle);
}

TEST_F(RemoteProvidersEndToEnd, NewInputParametersWhileALoadIsInFlightNeverShowOldRows) {
    // A cached list with one input parameter; its rows carry the parameter (id = 1000 * p + n),
    // and the server holds back the answer for the first value.
    auto level = appModel_->workWithsByName().at("WorkWithInvoice")->levels().at(0);
    auto data = appModel_->dataProviderNamed("Sales.WorkWithInvoice.Invoice.List");
    auto source = ZQRemoteWorkWithCollectionDataSource::create(data->workWithModel(), data,
                                                               level->detail()->parameters());
    server().route("GET", kInvoicesPath, [](const LoopbackRequest& request) {
        auto items = queryItems(request.query);
        const int64_t p = items.count("InvoiceId") ? std::stoll(items["InvoiceId"]) : 0;
        std::ostringstream body;
        body << "[";
        for (int n = 1; n <= 3; ++n) {
            body << (n > 1 ? "," : "") << R"({"InvoiceId": )" << 1000 * p + n
                 << R"(, "InvoiceDate": "2024-01-10", "CustomerName": "C", "InvoiceTotal": 1,)"
                 << R"( "InvoicePaid": true})";
        }
        body << "]";
        LoopbackResponse response = LoopbackResponse::json(body.str());
        if (p == 1) response.stallSeconds = 120;
        return response;
    });

    auto provider = ZQBaseRemoteListEntityDataProvider::create(source);
    attach(*provider);
    provider->setInputParameterValues({platform::Value(1)});
    provider->load();
    ASSERT_TRUE(
        runMainLoopUntil([&] { return server().requestsFor("GET", kInvoicesPath).size() == 1; }));
    ASSERT_TRUE(provider->isLoading());

    provider->setInputParameterValues({platform::Value(2)});
    ASSERT_TRUE(settle(*provider));
    server().releaseStalls();
    ASSERT_TRUE(waitUntilIdle());
    runMainLoopFor(0.2);

    // Whatever came after the change belongs to the new value.
    std::vector<ProviderEvent> shown = delegate_->of(ProviderEvent::data);
    ASSERT_FALSE(shown.empty());
    for (const auto& event : shown) {
        for (int64_t id : event.ids) EXPECT_EQ(id / 1000, 2) << id;
    }
    EXPECT_EQ(shown.back().origin, Origin::server);
    EXPECT_EQ(shown.back().ids, (std::vector<int64_t>{2001, 2002, 2003}));
    // The new value's cache was read before its server load.
    auto types = loader_->types();
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(types[2], QueryType::Local);
    EXPECT_GE(loader_->cancels, 1);
    EXPECT_EQ(delegate_->count(ProviderEvent::error), 0u);
}

}  // namespace
}  // namespace zqtest
