// The sample server's binary uploads over HTTP: stored bytes and content type served back, the
// accepted upload paths, and what the other methods and unknown objects get.
#include <gtest/gtest.h>

#include "tests/library/sample-server/SampleServerTestSupport.hpp"
#include "tests/support/TestImages.hpp"

namespace {

using zqtest::HTTPReply;

class SampleServerUpload : public zqtest::SampleServerTest {};

TEST_F(SampleServerUpload, StoresBytesAndContentTypeAndServesThemBack) {
    const std::string bytes = zqtest::imageText(zqtest::kPNG);
    struct Case {
        std::string uploadPath;
        std::vector<std::string> headers;
        std::string servedType;
    } cases[] = {
        {"rest/Sales/Invoice/Line/zqobject", {"Content-Type: image/png"}, "image/png"},
        {"zqobject", {"Content-Type: audio"}, "audio"},
        // Without a content type the object is served as octet stream.
        {"rest/Customer/zqobject", {"Content-Type:"}, "application/octet-stream"},
    };
    for (const Case& c : cases) {
        HTTPReply posted = send("POST", c.uploadPath, bytes, c.headers);
        ASSERT_EQ(posted.status, 200) << c.uploadPath << ": " << posted.body;
        std::string id(posted.json()["object_id"].string().value_or(""));
        ASSERT_FALSE(id.empty()) << posted.body;
        HTTPReply served = get(c.uploadPath + "/" + id);
        EXPECT_EQ(served.status, 200) << c.uploadPath;
        EXPECT_EQ(served.body, bytes) << c.uploadPath;
        EXPECT_EQ(served.header("content-type"), c.servedType) << c.uploadPath;
        ASSERT_TRUE(server->objectStore().object(id));
        EXPECT_EQ(server->objectStore().object(id)->bytes, bytes);
    }
    EXPECT_EQ(server->objectStore().uploadCount(), 3u);
}

TEST_F(SampleServerUpload, EachUploadGetsANewIdentifier) {
    std::string first(send("POST", "zqobject", "a").json()["object_id"].string().value_or(""));
    std::string second(send("POST", "zqobject", "a").json()["object_id"].string().value_or(""));
    EXPECT_NE(first, second);
    server->objectStore().setNumericObjectIds(true);
    HTTPReply numeric = send("POST", "zqobject", "b");
    ASSERT_TRUE(numeric.json()["object_id"].integer()) << numeric.body;
    EXPECT_EQ(get("zqobject/" + std::to_string(*numeric.json()["object_id"].integer())).body, "b");
}

TEST_F(SampleServerUpload, WrongMethodsAndUnknownObjectsAreErrors) {
    EXPECT_EQ(send("PUT", "rest/Customer/zqobject", "x").status, 405);
    EXPECT_EQ(get("rest/Customer/zqobject").status, 405);
    HTTPReply missing = get("rest/Customer/zqobject/obj-999");
    EXPECT_EQ(missing.status, 404);
    EXPECT_TRUE(missing.json()["error"]["message"].string()) << missing.body;
    EXPECT_EQ(send("DELETE", "zqobject/obj-1").status, 405);
    // A business component instance path that is not an upload path is not taken for one.
    EXPECT_NE(get("rest/Customer/1").status, 405);
}

TEST_F(SampleServerUpload, TheOldestObjectsGoOnceTheStoredBytesPassTheLimit) {
    server->objectStore().setStoredBytesLimit(10);
    auto upload = [&](const std::string& bytes) {
        return std::string(
            send("POST", "zqobject", bytes).json()["object_id"].string().value_or(""));
    };
    std::string first = upload("123456");
    std::string second = upload("abcdef");
    EXPECT_EQ(get("zqobject/" + first).status, 404);
    EXPECT_EQ(get("zqobject/" + second).body, "abcdef");
    std::string third = upload("xyz");
    EXPECT_EQ(get("zqobject/" + second).body, "abcdef");
    EXPECT_EQ(server->objectStore().storedBytes(), 9u);
    // Larger than the limit: refused, and nothing already kept goes for it.
    EXPECT_EQ(send("POST", "zqobject", "0123456789a").status, 413);
    EXPECT_EQ(get("zqobject/" + third).body, "xyz");
    EXPECT_EQ(server->objectStore().storedBytes(), 9u);
}

TEST_F(SampleServerUpload, UploadsNeedTheTokenWhenDataDoes) {
    server->setRequireToken(true);
    EXPECT_EQ(send("POST", "rest/Customer/zqobject", "x").status, 401);
    EXPECT_EQ(server->objectStore().uploadCount(), 0u);
}

}  // namespace
