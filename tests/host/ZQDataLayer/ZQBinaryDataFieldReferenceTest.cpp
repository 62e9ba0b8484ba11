// Binary data field references and MIME types: file URLs that keep unusual paths, which
// references are valid, names for messages, composites' members, and
// extensions looked up in the system's MIME table.
#include <gtest/gtest.h>

#include <fstream>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQCompositeBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQMIMETypes.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "tests/support/TempDir.hpp"

namespace {

using Single = ZQSingleBinaryDataFieldReference;

TEST(BinaryDataFieldReference, FileReferencesKeepTheirPathAndAreValidOnlyForRegularFiles) {
    zqtest::TempDir dir;
    const std::filesystem::path file = dir / "a photo, été #1.png";
    std::ofstream(file) << "x";
    auto present = Single::createWithFile(file);
    ASSERT_TRUE(present->objectURL());
    EXPECT_EQ(present->objectURL()->scheme(), "file");
    ASSERT_TRUE(present->filePath());
    EXPECT_EQ(*present->filePath(), file);
    EXPECT_EQ(present->objectReferenceName(), file.string());
    EXPECT_EQ(present->type(), ZQBinaryDataFieldReference::kTypeSingle);

    struct Case {
        std::shared_ptr<Single> reference;
        bool valid;
        std::string name;
    } cases[] = {
        {present, true, file.string()},
        {Single::createWithFile(dir / "missing.png"), false, (dir / "missing.png").string()},
        {Single::createWithFile(dir.path()), false, dir.path().string()},
        {Single::createWithData(platform::Value::bytes({1, 2, 3})), true, "<3 bytes>"},
        {Single::createWithData(platform::Value::bytes({1}), {}, "Photo"), true, "Photo"},
        // Not a file: valid, so that the uploader reports it rather than skipping it.
        {Single::createWithURL(*platform::URL::fromString("http://example.com/a.png")), true,
         "http://example.com/a.png"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.reference->isValidReference(), c.valid) << c.name;
        EXPECT_EQ(c.reference->objectReferenceName(), c.name);
    }
}

TEST(BinaryDataFieldReference, CompositesKeepTheirMembersInOrderByNameAndLine) {
    auto first = Single::createWithData(platform::Value::bytes({1}));
    auto second = Single::createWithData(platform::Value::bytes({2}));
    auto lines = ZQCompositeBinaryDataFieldReference::create(
        "Line", {{"Photo", 0, first}, {"Photo", 1, nullptr}, {"Photo", 2, second}});
    auto root = ZQCompositeBinaryDataFieldReference::create("", {{"Line", std::nullopt, lines}});
    EXPECT_EQ(root->type(), ZQBinaryDataFieldReference::kTypeComposite);
    ASSERT_EQ(lines->members().size(), 2u);  // the line without a value has no member
    EXPECT_EQ(lines->memberNamed("Photo", 2), second);
    EXPECT_EQ(lines->memberNamed("Photo", 1), nullptr);
    EXPECT_EQ(root->memberNamed("Line", std::nullopt), lines);

    std::vector<size_t> seen;
    lines->enumerateObjectReferencesWithBlock([&](const auto& member, bool& stop) {
        seen.push_back(*member.index);
        stop = true;
    });
    EXPECT_EQ(seen, std::vector<size_t>{0});
    first->enumerateObjectReferencesWithBlock([&](const auto&, bool&) { seen.push_back(99); });
    EXPECT_EQ(seen.size(), 1u);
}

TEST(MIMETypes, ExtensionsFromTheSystemTable) {
    const std::string octet = ZQMIMETypes::mimeTypeApplicationOctetStream();
    EXPECT_EQ(octet, "application/octet-stream");
    struct Case {
        const char* path;
        std::string type;
    } cases[] = {
        {"photo.PNG", "image/png"},
        {"file:///tmp/a%20b.jpg?x=1.txt#y", "image/jpeg"},
        {"/music/song.mp3", "audio/mpeg"},
        {"/videos/clip.mp4", "video/mp4"},
        {"/tmp/archive.tar.gz", "application/gzip"},
        {"/tmp/noextension", octet},
        {"/tmp/dir.d/noextension", octet},
        {"/tmp/trailing.", octet},
        {"/tmp/x.notanextensionanyone", octet},
        {"", octet},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ZQMIMETypes::mimeTypeForPathExtension(c.path), c.type) << c.path;
}

}  // namespace
