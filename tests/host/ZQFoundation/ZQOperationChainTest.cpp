// Chains built by hand: a setup step fills the request, results move between operations through
// the data setter, and a final step reads them.
#include <gtest/gtest.h>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQApplicationHelper.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQDataSetterOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQInvocationWithSelfOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQParseJsonOperation.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQURLRequestOperation.hpp"
#include "platform/OperationQueue.hpp"
#include "tests/host/ZQFoundation/RecordingDelegate.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"

using platform::Value;
using zqtest::LoopbackRequest;
using zqtest::LoopbackResponse;
using zqtest::LoopbackServer;

namespace {

// Plays the part of an uploader: its member functions are the chain's steps.
class Uploader : public std::enable_shared_from_this<Uploader> {
  public:
    void setupRequest(const std::shared_ptr<ZQInvocationWithSelfOperation>& step) {
        auto request = std::dynamic_pointer_cast<ZQURLRequest>(step->context().at(0).object());
        request->setHTTPBody(std::string_view("raw bytes"));
        request->setValue("audio", "Content-Type");
    }
    void readObjectId(const std::shared_ptr<ZQInvocationWithSelfOperation>& step) {
        platform::MutexLock lock(mutex);
        objectId = step->context()["object_id"];
        finished = true;
    }
    bool isFinished() {
        platform::MutexLock lock(mutex);
        return finished;
    }
    platform::Mutex mutex;
    Value objectId GUARDED_BY(mutex);
    bool finished GUARDED_BY(mutex) = false;
};

class OperationChainTest : public ::testing::Test {
  protected:
    LoopbackServer server;
    std::shared_ptr<platform::OperationQueue> queue = platform::OperationQueue::create("chain");
};

TEST_F(OperationChainTest, SetupRequestSetterParseAndReadStepsRunInOrder) {
    server.route("POST", "/rest/Sales/Invoice/zqobject", [](const LoopbackRequest& request) {
        return LoopbackResponse::json(R"({"object_id":"obj-)" +
                                      std::to_string(request.body.size()) + R"("})");
    });
    auto uploader = std::make_shared<Uploader>();
    auto delegate = std::make_shared<zqtest::RecordingDelegate>();
    auto request = ZQApplicationHelper::requestWithURL(server.url("rest/Sales/Invoice/zqobject"));
    request->setHTTPMethod("POST");

    auto setup = ZQInvocationWithSelfOperation::create(uploader, &Uploader::setupRequest);
    setup->setContext(Value::array({Value::object(request)}));
    auto send = ZQURLRequestOperation::create(request, delegate);
    auto setter = ZQDataSetterOperation::create(send, {{"data", "data"}});
    auto parse = ZQParseJsonOperation::create(delegate);
    setter->setDestination(parse);
    auto read = ZQInvocationWithSelfOperation::create(uploader, &Uploader::readObjectId);
    auto hand = ZQDataSetterOperation::create(parse, {{"context", "parsedData"}}, read);
    send->addDependency(setup);
    setter->addDependency(send);
    parse->addDependency(setter);
    hand->addDependency(parse);
    read->addDependency(hand);

    queue->setSuspended(true);
    for (auto op : std::vector<std::shared_ptr<platform::Operation>>{read, hand, parse, setter,
                                                                     send, setup}) {
        queue->addOperation(op);
    }
    queue->setSuspended(false);
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return uploader->isFinished(); }));

    auto log = server.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].body, "raw bytes");
    EXPECT_EQ(log[0].header("Content-Type"), "audio");
    platform::MutexLock lock(uploader->mutex);
    EXPECT_EQ(uploader->objectId, Value("obj-9"));
    EXPECT_EQ(delegate->names(),
              (std::vector<std::string>{"didFinishLoading", "didFinishParsing"}));
}

TEST_F(OperationChainTest, DataSetterCopiesByKeyAndSkipsKeysTheDestinationLacks) {
    auto source = ZQParseJsonOperation::create();
    source->setData(Value("[1]"));
    auto destination = ZQInvocationWithSelfOperation::create(
        [](const std::shared_ptr<ZQInvocationWithSelfOperation>&) {});
    auto setter = ZQDataSetterOperation::create(
        source, {{"context", "data"}, {"nonexistent", "data"}, {"parsedData", "data"}},
        destination);
    setter->start();
    EXPECT_EQ(destination->context(), Value("[1]"));
    EXPECT_TRUE(setter->isFinished());

    // An absent source value is copied as absent.
    auto empty = ZQParseJsonOperation::create();
    ZQDataSetterOperation::create(empty, {{"context", "parsedData"}}, destination)->start();
    EXPECT_TRUE(destination->context().isAbsent());
}

TEST_F(OperationChainTest, LaterStepsStillRunWhenTheRequestFails) {
    platform::URL refused = [] {
        LoopbackServer closed;
        return closed.url("x");
    }();
    auto delegate = std::make_shared<zqtest::RecordingDelegate>();
    auto send =
        ZQURLRequestOperation::create(ZQApplicationHelper::requestWithURL(refused), delegate);
    auto setter = ZQDataSetterOperation::create(send, {{"data", "data"}});
    auto parse = ZQParseJsonOperation::create(delegate);
    setter->setDestination(parse);
    setter->addDependency(send);
    parse->addDependency(setter);
    queue->addOperations({send, setter, parse}, false);
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return parse->isFinished(); }));
    EXPECT_EQ(delegate->names(), (std::vector<std::string>{"didFailLoading", "didFailParsing"}));
    EXPECT_EQ(parse->error()->code(), ZQErrorCodeNoData);
}

TEST_F(OperationChainTest, AWhitespaceBodyParsesToNothing) {
    auto parse = ZQParseJsonOperation::create();
    parse->setData(Value::bytes({' ', '\n'}));
    parse->start();
    EXPECT_EQ(parse->error(), nullptr);
    EXPECT_TRUE(parse->parsedData().isAbsent());
}

}  // namespace
