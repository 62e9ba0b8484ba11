// The image fields' upload check: each known format is recognised from whole images, cut-off
// headers and other bytes are refused with the upload error, and files are checked from their
// first bytes and handed back to be streamed, not read.
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQImageUploadHelper.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"
#include "tests/support/TempDir.hpp"
#include "tests/support/TestImages.hpp"

namespace {

using platform::Value;
using zqtest::imageText;

std::span<const uint8_t> spanOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

Value bytesOf(const std::string& text) {
    return Value::bytes(Value::Bytes(text.begin(), text.end()));
}

struct HeaderCase {
    const char* what;
    std::string bytes;
    std::optional<ZQImageFormat> format;
};

std::vector<HeaderCase> headerCases() {
    const std::string png = imageText(zqtest::kPNG), jpeg = imageText(zqtest::kJPEG),
                      gif = imageText(zqtest::kGIF), webp = imageText(zqtest::kWebP);
    std::string zeroWidth = png;
    zeroWidth[19] = '\0';  // the width's low byte: 0 x 1
    std::string otherChunk = png;
    otherChunk.replace(12, 4, "IDAT");
    std::string riffWave = webp;
    riffWave.replace(8, 4, "WAVE");
    return {
        {"PNG", png, ZQImageFormat::png},
        {"JPEG", jpeg, ZQImageFormat::jpeg},
        {"GIF", gif, ZQImageFormat::gif},
        {"GIF87a screen", "GIF87a" + std::string(7, '\1'), ZQImageFormat::gif},
        {"WebP", webp, ZQImageFormat::webp},
        {"PNG header only", png.substr(0, 33), ZQImageFormat::png},
        {"PNG signature only", png.substr(0, 8), std::nullopt},
        {"PNG cut inside IHDR", png.substr(0, 20), std::nullopt},
        {"PNG whose first chunk is not IHDR", otherChunk, std::nullopt},
        {"PNG of width 0", zeroWidth, std::nullopt},
        {"JPEG start of image only", jpeg.substr(0, 3), std::nullopt},
        {"JPEG followed by a stuffed byte", std::string("\xFF\xD8\xFF\x00", 4), std::nullopt},
        {"GIF signature only", "GIF89a", std::nullopt},
        {"GIF of an unknown version", "GIF90a" + std::string(7, '\1'), std::nullopt},
        {"WebP cut before its chunk", webp.substr(0, 12), std::nullopt},
        {"a RIFF file of another form", riffWave, std::nullopt},
        {"text", "This is a note, not a picture.", std::nullopt},
        {"nothing", "", std::nullopt},
    };
}

TEST(ImageUploadHelper, KnowsEachFormatByItsWholeHeaderAndRefusesTheRest) {
    for (const HeaderCase& c : headerCases()) {
        EXPECT_EQ(ZQImageUploadHelper::imageFormatOfBytes(spanOf(c.bytes)), c.format) << c.what;
        // Bytes for an image field: sent unchanged when they are an image, else the error.
        auto upload = ZQImageUploadHelper::imageUploadDataFromData(bytesOf(c.bytes), nullptr,
                                                                   nullptr, "Photo");
        EXPECT_EQ(upload.format, c.format) << c.what;
        if (c.format) {
            ASSERT_TRUE(upload.data.bytes()) << c.what;
            EXPECT_EQ(*upload.data.bytes(), *bytesOf(c.bytes).bytes()) << c.what;
            EXPECT_EQ(upload.error, nullptr) << c.what;
        } else {
            ASSERT_NE(upload.error, nullptr) << c.what;
            EXPECT_EQ(upload.error->domain(), ZQImageUploadErrorDomain);
            EXPECT_EQ(upload.error->code(), ZQImageUploadErrorNotAnImage);
            EXPECT_NE(upload.error->localizedDescription().find("Photo is not an image"),
                      std::string::npos)
                << upload.error->localizedDescription();
            EXPECT_FALSE(upload.data.bytes()) << c.what;
        }
    }
    EXPECT_EQ(ZQImageUploadHelper::mimeTypeForImageFormat(ZQImageFormat::webp), "image/webp");
    // A value that is not bytes at all is no image either.
    EXPECT_NE(
        ZQImageUploadHelper::imageUploadDataFromData(Value("x.png"), nullptr, nullptr, "P").error,
        nullptr);
}

TEST(ImageUploadHelper, FilesAreCheckedFromTheirFirstBytesAndLeftToStream) {
    zqtest::TempDir dir;
    std::string large = imageText(zqtest::kJPEG) + std::string(1 << 20, '\x55');
    std::ofstream(dir / "photo.jpg", std::ios::binary) << large;
    std::ofstream(dir / "notes.png", std::ios::binary) << "not really a PNG";
    std::ofstream(dir / "empty.gif", std::ios::binary).flush();
    const struct {
        const char* what;
        std::string url;
        int64_t errorCode;  // 0: accepted
    } cases[] = {
        {"a JPEG with more after its header", "photo.jpg", 0},
        {"text named .png", "notes.png", ZQImageUploadErrorNotAnImage},
        {"an empty file", "empty.gif", ZQImageUploadErrorNotAnImage},
        {"a missing file", "gone.png", ZQImageUploadErrorUnreadable},
        {"a folder", "", ZQImageUploadErrorUnreadable},
        {"a URL that is no file", "http://example.com/a.png", ZQImageUploadErrorUnreadable},
    };
    for (const auto& c : cases) {
        std::optional<platform::URL> url =
            c.url.rfind("http", 0) == 0
                ? platform::URL::fromString(c.url)
                : ZQSingleBinaryDataFieldReference::createWithFile(dir / c.url)->objectURL();
        ASSERT_TRUE(url) << c.what;
        auto upload = ZQImageUploadHelper::imageUploadDataFromURL(*url, nullptr, nullptr);
        if (c.errorCode == 0) {
            EXPECT_EQ(upload.error, nullptr) << c.what;
            EXPECT_EQ(upload.format, ZQImageFormat::jpeg);
            EXPECT_EQ(upload.file, dir / c.url);
            EXPECT_FALSE(upload.data.bytes()) << "a file is streamed, not read";
        } else {
            ASSERT_NE(upload.error, nullptr) << c.what;
            EXPECT_EQ(upload.error->code(), c.errorCode) << c.what;
            EXPECT_TRUE(upload.file.empty()) << c.what;
        }
    }
}

TEST(ImageUploadHelper, FieldKinds) {
    const struct {
        ZQDataType type;
        bool image;
        bool binary;
    } kinds[] = {{ZQDataTypeImage, true, true},     {ZQDataTypeBlob, false, true},
                 {ZQDataTypeAudio, false, true},    {ZQDataTypeVideo, false, true},
                 {ZQDataTypeVarChar, false, false}, {ZQDataTypeGUID, false, false}};
    for (const auto& kind : kinds) {
        auto info = std::make_shared<ZQTypedObjectInfo>("F", kind.type, 0, 0);
        EXPECT_EQ(ZQEntityHelper::isImageFieldInfo(info), kind.image) << ZQDataTypeName(kind.type);
        EXPECT_EQ(ZQEntityHelper::isBinaryFieldInfo(info), kind.binary)
            << ZQDataTypeName(kind.type);
    }
    EXPECT_FALSE(ZQEntityHelper::isImageFieldInfo(nullptr));
    EXPECT_FALSE(ZQEntityHelper::isBinaryFieldInfo(nullptr));
}

}  // namespace
