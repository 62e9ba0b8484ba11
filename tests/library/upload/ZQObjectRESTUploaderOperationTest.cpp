// The object uploader over real HTTP: bytes and files reaching the sample server intact with
// their content types, identifiers recorded on the references, what is skipped, how many uploads
// run at once by the server's own count, and each kind of failure reported exactly once.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQImageUploadHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQObjectUploaderService.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQBundle.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQApplicationModelLoader.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQModel.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderOperation.hpp"
#include "ZQDataLayerRemote/upload/ZQObjectRESTUploaderService.hpp"
#include "examples/sample-server/ZQSampleServer.hpp"
#include "platform/MainLoop.hpp"
#include "tests/support/LoopbackServer.hpp"
#include "tests/support/MainLoopHelpers.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/support/TestImages.hpp"

namespace {

using platform::Value;
using Single = ZQSingleBinaryDataFieldReference;
using References = ZQObjectRESTUploaderOperation::References;

class FieldInfo : public ZQEntityDataFieldInfo {
  public:
    explicit FieldInfo(ZQDataType type) : type_(type) {}
    ZQDataType entityDataFieldInfoDataType() const override { return type_; }
    uint32_t entityDataFieldInfoLength() const override { return 0; }
    uint32_t entityDataFieldInfoDecimals() const override { return 0; }

  private:
    ZQDataType type_;
};

class RecordingDelegate : public ZQObjectUploaderDelegate {
  public:
    explicit RecordingDelegate(std::optional<std::string> path) : path_(std::move(path)) {}
    std::optional<std::string> uploaderRestPath() const override { return path_; }
    void objectUploaderDidFinishUploading(const std::shared_ptr<ZQObjectUploader>&) override {
        onMain = onMain && platform::isMainThread();
        ++finished;
    }
    void objectUploaderDidFailUploadingWithError(const std::shared_ptr<ZQObjectUploader>&,
                                                 const platform::ErrorPtr& e) override {
        onMain = onMain && platform::isMainThread();
        ++failed;
        error = e;
    }
    int finished = 0;
    int failed = 0;
    bool onMain = true;
    platform::ErrorPtr error;

  private:
    std::optional<std::string> path_;
};

std::string bytesText(size_t size, int seed) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xff);
    return text;
}

Value bytesValue(const std::string& text) {
    return Value::bytes(Value::Bytes(text.begin(), text.end()));
}

class ObjectUploader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ZQSampleServerOptions options;
        options.threadCount = 64;
        options.keepAliveSeconds = 1;
        sampleServer_ = std::move(ZQSampleServer::create(options).server);
        ASSERT_EQ(sampleServer_->start(), nullptr);
        loopback_ = std::make_unique<zqtest::LoopbackServer>(16, 1);
    }
    static void TearDownTestSuite() {
        sampleServer_.reset();
        loopback_.reset();
    }
    void SetUp() override {
        previousModel_ = ZQModel::currentModel();
        useServer(sampleServer_->baseURL());
        sampleServer_->objectStore().resetCounters();
        sampleServer_->objectStore().setUploadHoldSeconds(0);
        sampleServer_->objectStore().setNumericObjectIds(false);
        sampleServer_->clearRequestLog();
        loopback_->clearRoutes();
        loopback_->clearLog();
    }
    void TearDown() override {
        zqtest::runMainLoopFor(0.02);
        ZQModel::setCurrentModel(previousModel_);
        ZQBundle::setMainBundle(nullptr);
    }
    // Runs the sample model with its server base URL replaced.
    void useServer(const std::string& baseURL) {
        std::ifstream in(ZQSampleServer::sampleApplicationDirectory() / "model.json");
        std::stringstream text;
        text << in.rdbuf();
        std::string json = text.str();
        const std::string written = "http://127.0.0.1:8080/sample/";
        for (size_t at = json.find(written); at != std::string::npos; at = json.find(written)) {
            json.replace(at, written.size(), baseURL);
        }
        ZQApplicationModelLoadResult loaded =
            ZQApplicationModelLoader::loadFromString(json, "sample");
        ASSERT_EQ(loaded.error, nullptr);
        ZQModel::setCurrentModel(ZQModel::create(loaded.model));
    }
    static void setInfo(platform::Dictionary info) {
        ZQBundle::setMainBundle(std::make_shared<ZQBundle>(folder().path(), std::move(info)));
    }

    // Uploads the references to completion through the registered service.
    std::shared_ptr<RecordingDelegate> upload(
        References references, std::optional<std::string> path = "Sales/Invoice/Line",
        std::shared_ptr<ZQObjectUploader>* made = nullptr) {
        std::shared_ptr<ZQObjectUploader> uploader =
            ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences(
                std::move(references));
        auto delegate = std::make_shared<RecordingDelegate>(std::move(path));
        uploader->setDelegate(delegate);
        uploader->start();
        EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return uploader->isFinished(); }, 30));
        zqtest::runMainLoopFor(0.02);  // nothing may follow the end
        EXPECT_TRUE(delegate->onMain);
        EXPECT_EQ(delegate->finished + delegate->failed, 1)
            << delegate->finished << " successes, " << delegate->failed << " failures";
        if (made) *made = uploader;
        return delegate;
    }

    static inline std::unique_ptr<ZQSampleServer> sampleServer_;
    static inline std::unique_ptr<zqtest::LoopbackServer> loopback_;
    // Made on first use, so that a child process of another test (a death test) makes none it
    // could not remove.
    static zqtest::TempDir& folder() {
        static zqtest::TempDir dir;
        return dir;
    }
    std::shared_ptr<ZQModel> previousModel_;
};

TEST_F(ObjectUploader, BytesAndFilesReachTheServerIntactWithTheirContentType) {
    auto image = std::make_shared<FieldInfo>(ZQDataTypeImage);
    auto audio = std::make_shared<FieldInfo>(ZQDataTypeAudio);
    auto video = std::make_shared<FieldInfo>(ZQDataTypeVideo);
    auto blob = std::make_shared<FieldInfo>(ZQDataTypeBlob);
    const std::string big = bytesText(5u << 20, 1), song = bytesText(1000, 2),
                      plain = bytesText(300, 3), photo = zqtest::imageText(zqtest::kGIF),
                      sound = bytesText(500, 5), film = bytesText(600, 6),
                      blobBytes = bytesText(70, 7);
    std::ofstream(folder() / "big file.bin", std::ios::binary) << big;
    std::ofstream(folder() / "song.MP3", std::ios::binary) << song;
    struct Case {
        std::shared_ptr<Single> reference;
        std::string bytes;
        std::string contentType;
    } cases[] = {
        {Single::createWithData(bytesValue(plain)), plain, "application/octet-stream"},
        {Single::createWithData(
             bytesValue(photo),
             {{ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey, image}}),
         photo, "image"},
        // Bytes carry no file name: the field's kind names the content.
        {Single::createWithData(
             bytesValue(sound),
             {{ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey, audio}}),
         sound, "audio"},
        {Single::createWithData(
             bytesValue(film),
             {{ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey, video}}),
         film, "video"},
        {Single::createWithData(
             bytesValue(blobBytes),
             {{ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey, blob}}),
         blobBytes, "application/octet-stream"},
        {Single::createWithFile(folder() / "song.MP3"), song, "audio/mpeg"},
        {Single::createWithFile(folder() / "big file.bin"), big, "application/octet-stream"},
    };
    // Five at the root, two in a child level's composite.
    References references{
        cases[0].reference,
        cases[1].reference,
        cases[2].reference,
        cases[3].reference,
        cases[4].reference,
        ZQCompositeBinaryDataFieldReference::create(
            "Line", {{"Photo", 0, cases[5].reference}, {"Photo", 1, cases[6].reference}})};
    auto delegate = upload(references);
    ASSERT_EQ(delegate->finished, 1) << (delegate->error ? delegate->error->description() : "");
    for (const Case& c : cases) {
        std::optional<std::string> id = c.reference->uploadedObjectId();
        ASSERT_TRUE(id) << c.reference->objectReferenceName();
        std::optional<ZQSampleStoredObject> stored = sampleServer_->objectStore().object(*id);
        ASSERT_TRUE(stored);
        EXPECT_TRUE(stored->bytes == c.bytes) << c.reference->objectReferenceName();
        EXPECT_EQ(stored->contentType, c.contentType) << c.reference->objectReferenceName();
    }
    for (const ZQSampleRequestRecord& record : sampleServer_->requestLog()) {
        EXPECT_EQ(record.method, "POST");
        EXPECT_NE(record.url.find("/sample/rest/Sales/Invoice/Line/zqobject"), std::string::npos)
            << record.url;
    }
    // Uploaded references are skipped by a later uploader: nothing is sent again.
    sampleServer_->clearRequestLog();
    EXPECT_EQ(upload(references)->finished, 1);
    EXPECT_TRUE(sampleServer_->requestLog().empty());
}

// An image field's value is checked before anything is sent: the first refusal is the uploader's
// error, and no upload of the same save reaches the server.
TEST_F(ObjectUploader, AnImageFieldGivenAnythingButAnImageFailsBeforeAnyRequest) {
    auto image = std::make_shared<FieldInfo>(ZQDataTypeImage);
    const Single::UserInfo imageField{
        {ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey, image}};
    std::ofstream(folder() / "letter.png", std::ios::binary) << "Dear customer,";
    std::ofstream(folder() / "half.png", std::ios::binary)
        << zqtest::imageText(zqtest::kPNG).substr(0, 16);
    std::ofstream(folder() / "real.webp", std::ios::binary) << zqtest::imageText(zqtest::kWebP);
    const struct {
        const char* what;
        std::shared_ptr<Single> reference;
        int64_t code;
    } cases[] = {
        {"text bytes", Single::createWithData(bytesValue("hello"), imageField, "Photo"),
         ZQImageUploadErrorNotAnImage},
        {"a text file named .png", Single::createWithFile(folder() / "letter.png", imageField),
         ZQImageUploadErrorNotAnImage},
        {"a PNG cut short", Single::createWithFile(folder() / "half.png", imageField),
         ZQImageUploadErrorNotAnImage},
        {"a URL that is no file",
         Single::createWithURL(*platform::URL::fromString("http://example.com/a.png"), imageField),
         ZQImageUploadErrorUnreadable},
    };
    // One upload at a time, the bad value's first: its refusal comes before the good one's turn.
    setInfo({{ZQObjectRESTUploaderMaxConcurrentUploadsInfoKey, Value(1)}});
    for (const auto& c : cases) {
        sampleServer_->clearRequestLog();
        // A good image after it: the refusal stops the whole upload.
        auto good = Single::createWithFile(folder() / "real.webp", imageField);
        auto delegate = upload({c.reference, good});
        ASSERT_EQ(delegate->failed, 1) << c.what;
        ASSERT_NE(delegate->error, nullptr) << c.what;
        EXPECT_EQ(delegate->error->domain(), ZQImageUploadErrorDomain) << c.what;
        EXPECT_EQ(delegate->error->code(), c.code) << c.what;
        EXPECT_FALSE(c.reference->uploadedObjectId()) << c.what;
        EXPECT_FALSE(good->uploadedObjectId()) << c.what;
        EXPECT_TRUE(sampleServer_->requestLog().empty()) << c.what;
    }
    // Text in a field that is not an image is just bytes.
    auto asBlob = Single::createWithData(bytesValue("hello"));
    EXPECT_EQ(upload({asBlob})->finished, 1);
    EXPECT_TRUE(asBlob->uploadedObjectId());
}

// Progress as the transport reports it, through the service's observer: per reference, growing
// sizes that end at the whole body, off the main thread.
TEST_F(ObjectUploader, ProgressGrowsToEachBodysSizeOffTheMainThread) {
    const std::string large = bytesText(24u << 20, 8), small = bytesText(3000, 9);
    std::ofstream(folder() / "large.bin", std::ios::binary) << large;
    auto file = Single::createWithFile(folder() / "large.bin");
    auto bytes = Single::createWithData(bytesValue(small));
    struct Report {
        const Single* reference;
        int64_t sent;
        int64_t total;
        bool onMain;
    };
    platform::Mutex mutex;
    std::vector<Report> reports;
    ZQObjectRESTUploaderService service;
    service.setProgressObserver(
        [&](const std::shared_ptr<Single>& reference, int64_t sent, int64_t total) {
            platform::MutexLock lock(mutex);
            reports.push_back({reference.get(), sent, total, platform::isMainThread()});
        });
    auto uploader = service.objectUploaderOperationWithBinaryDataFieldReferences({file, bytes});
    auto delegate = std::make_shared<RecordingDelegate>("Customer");
    uploader->setDelegate(delegate);
    uploader->start();
    ASSERT_TRUE(zqtest::runMainLoopUntil([&] { return uploader->isFinished(); }, 30));
    ASSERT_EQ(delegate->finished, 1) << (delegate->error ? delegate->error->description() : "");

    platform::MutexLock lock(mutex);
    const struct {
        const Single* reference;
        int64_t size;
        size_t leastReports;
    } expected[] = {{file.get(), static_cast<int64_t>(large.size()), 2},
                    {bytes.get(), static_cast<int64_t>(small.size()), 1}};
    for (const auto& e : expected) {
        std::vector<Report> mine;
        for (const Report& r : reports) {
            if (r.reference == e.reference) mine.push_back(r);
        }
        ASSERT_GE(mine.size(), e.leastReports) << e.size;
        for (size_t i = 0; i < mine.size(); ++i) {
            EXPECT_EQ(mine[i].total, e.size);
            EXPECT_FALSE(mine[i].onMain);
            EXPECT_GT(mine[i].sent, i ? mine[i - 1].sent : 0) << "report " << i;
        }
        EXPECT_EQ(mine.back().sent, e.size);
    }
}

TEST_F(ObjectUploader, TheObjectIdentifierMayBeANumberAndThePathMayBeMissing) {
    sampleServer_->objectStore().setNumericObjectIds(true);
    auto reference = Single::createWithData(bytesValue("abc"));
    EXPECT_EQ(upload({reference}, std::nullopt)->finished, 1);
    ASSERT_TRUE(reference->uploadedObjectId());
    EXPECT_EQ(reference->uploadedObjectId()->find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(sampleServer_->objectStore().object(*reference->uploadedObjectId())->bytes, "abc");
    ASSERT_EQ(sampleServer_->requestLog().size(), 1u);
    EXPECT_EQ(sampleServer_->requestLog()[0].url, sampleServer_->baseURL() + "zqobject");
}

TEST_F(ObjectUploader, NothingToSendFinishesAtOnceWithoutARequest) {
    auto done = Single::createWithData(bytesValue("x"));
    done->setUploadedObjectId("obj-earlier");
    auto pending = Single::createWithData(bytesValue("y"));
    struct Case {
        const char* name;
        References references;
        size_t posts;
    } cases[] = {
        {"no references", {}, 0},
        {"only an uploaded one", {done}, 0},
        {"a composite with one uploaded member",
         {ZQCompositeBinaryDataFieldReference::create("Line",
                                                      {{"Photo", 0, done}, {"Photo", 1, pending}})},
         1},
    };
    for (Case& c : cases) {
        sampleServer_->clearRequestLog();
        EXPECT_EQ(upload(c.references)->finished, 1) << c.name;
        EXPECT_EQ(sampleServer_->requestLog().size(), c.posts) << c.name;
    }
    EXPECT_EQ(done->uploadedObjectId(), "obj-earlier");
    EXPECT_TRUE(pending->uploadedObjectId());
}

TEST_F(ObjectUploader, AMissingFileIsSkippedWithALogLine) {
    auto logger = ZQLog::loggerService();
    bool wasEnabled = logger->isLogEnabled();
    logger->setLogEnabled(true);
    logger->setConsoleOutputEnabled(false);
    auto missing = Single::createWithFile(folder() / "gone.png");
    auto present = Single::createWithData(bytesValue("here"));
    auto delegate = upload({missing, present});
    logger->setLogEnabled(wasEnabled);
    logger->setConsoleOutputEnabled(true);
    EXPECT_EQ(delegate->finished, 1);
    EXPECT_FALSE(missing->uploadedObjectId());
    EXPECT_TRUE(present->uploadedObjectId());
    EXPECT_EQ(sampleServer_->requestLog().size(), 1u);
    EXPECT_TRUE(logger->hasRecordedMessageContaining("File upload aborted, file not found: " +
                                                     (folder() / "gone.png").string()));
}

TEST_F(ObjectUploader, TheConfiguredNumberOfUploadsRunAtOnce) {
    sampleServer_->objectStore().setUploadHoldSeconds(0.25);
    struct Case {
        std::optional<Value> setting;
        size_t expected;
    } cases[] = {
        {Value(2), 2}, {std::nullopt, 5}, {Value("three"), 5}, {Value(1), 1}, {Value(0), 7}};
    for (const Case& c : cases) {
        if (c.setting) {
            setInfo({{ZQObjectRESTUploaderMaxConcurrentUploadsInfoKey, *c.setting}});
        } else {
            setInfo({});
        }
        sampleServer_->objectStore().resetCounters();
        References references;
        for (int i = 0; i < 7; ++i) references.push_back(Single::createWithData(bytesValue("z")));
        EXPECT_EQ(upload(references)->finished, 1);
        EXPECT_EQ(sampleServer_->objectStore().uploadCount(), 7u);
        EXPECT_EQ(sampleServer_->objectStore().maxConcurrentUploads(), c.expected)
            << "expected " << c.expected;
    }
}

TEST_F(ObjectUploader, EachFailureIsReportedOnceAndStopsTheOtherUploads) {
    useServer(loopback_->baseURL());
    zqtest::LoopbackResponse closing = zqtest::LoopbackResponse::json("{\"object_id\":\"abcdef\"}");
    closing.closeAfterBytes = 3;
    struct Case {
        const char* name;
        zqtest::LoopbackResponse answer;
        std::string description;  // part of the error's description; empty: any
        // Failures seen in the answer's status or transfer stop the next upload before it is
        // sent; those seen when the body is read may find the next ones already sent.
        bool seenAtTheAnswer;
    } cases[] = {
        {"server error", zqtest::LoopbackResponse::error(500, "500", "disk full"), "disk full",
         true},
        {"no object id", zqtest::LoopbackResponse::json("{\"id\":\"x\"}"), "", false},
        {"boolean object id", zqtest::LoopbackResponse::json("{\"object_id\":true}"), "", false},
        {"not JSON", zqtest::LoopbackResponse::json("<html>"), "", false},
        {"closed mid-answer", closing, "", true},
    };
    for (const Case& c : cases) {
        loopback_->clearLog();
        loopback_->route("POST", "/rest/Customer/zqobject", c.answer);
        References references{Single::createWithData(bytesValue("a")),
                              Single::createWithData(bytesValue("b")),
                              Single::createWithData(bytesValue("c"))};
        setInfo({{ZQObjectRESTUploaderMaxConcurrentUploadsInfoKey, Value(1)}});
        std::shared_ptr<ZQObjectUploader> uploader;
        auto delegate = upload(references, "Customer", &uploader);
        EXPECT_EQ(delegate->failed, 1) << c.name;
        ASSERT_NE(delegate->error, nullptr) << c.name;
        EXPECT_EQ(uploader->error(), delegate->error) << c.name;
        if (!c.description.empty()) {
            EXPECT_NE(delegate->error->description().find(c.description), std::string::npos)
                << c.name << ": " << delegate->error->description();
        }
        if (c.seenAtTheAnswer) {
            EXPECT_EQ(loopback_->requestCount(), 1u) << c.name;
        }
        for (const auto& reference : references) {
            EXPECT_FALSE(std::static_pointer_cast<Single>(reference)->uploadedObjectId()) << c.name;
        }
    }
}

TEST_F(ObjectUploader, ReferencesThatCannotBeSentFailWithoutARequest) {
    zqtest::TempDir unreadable;
    std::ofstream(unreadable / "locked.bin") << "x";
    std::filesystem::permissions(unreadable / "locked.bin", std::filesystem::perms::none);
    bool rootCanRead = static_cast<bool>(std::ifstream(unreadable / "locked.bin"));
    std::vector<std::shared_ptr<Single>> cases{
        Single::createWithURL(*platform::URL::fromString("http://example.com/a.png"))};
    if (!rootCanRead) cases.push_back(Single::createWithFile(unreadable / "locked.bin"));
    for (const auto& reference : cases) {
        sampleServer_->clearRequestLog();
        auto delegate = upload({reference});
        EXPECT_EQ(delegate->failed, 1) << reference->objectReferenceName();
        EXPECT_TRUE(sampleServer_->requestLog().empty());
    }
}

TEST_F(ObjectUploader, WithoutARunningModelThereIsNoServerToUploadTo) {
    ZQModel::setCurrentModel(nullptr);
    auto delegate = upload({Single::createWithData(bytesValue("a"))});
    ASSERT_EQ(delegate->failed, 1);
    EXPECT_NE(developerDescriptionOfError(delegate->error).find("no server URL"),
              std::string::npos);
    // With nothing to upload no server is needed.
    EXPECT_EQ(upload({})->finished, 1);
}

TEST_F(ObjectUploader, CancelledMidTransferEndsWithoutADelegateCall) {
    useServer(loopback_->baseURL());
    zqtest::LoopbackResponse stalled = zqtest::LoopbackResponse::json("{\"object_id\":\"late\"}");
    stalled.stallSeconds = 20;
    loopback_->route("POST", "/zqobject", stalled);
    auto reference = Single::createWithData(bytesValue("a"));
    auto uploader = ZQObjectRESTUploaderOperation::createWithBinaryDataFieldReferences({reference});
    auto delegate = std::make_shared<RecordingDelegate>(std::nullopt);
    uploader->setDelegate(delegate);
    uploader->start();
    ASSERT_TRUE(loopback_->waitForRequestCount(1, 10));
    uploader->cancel();
    EXPECT_TRUE(zqtest::runMainLoopUntil([&] { return uploader->isFinished(); }, 5));
    loopback_->releaseStalls();
    zqtest::runMainLoopFor(0.1);
    EXPECT_EQ(delegate->finished + delegate->failed, 0);
    EXPECT_FALSE(reference->uploadedObjectId());
}

}  // namespace
