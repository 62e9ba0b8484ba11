// The preparation of an image field's value for upload: the bytes (or a file's first bytes) must
// be an image of a known format, PNG, JPEG, GIF or WebP, told by its signature and first
// header; the image is then sent unchanged (no re-encoding, and a file is still streamed from
// disk). Anything else is refused with a ZQImageUploadErrorDomain error, so that a field meant to
// hold a picture never receives text or a truncated file. Static functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/Error.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

// Errors of the image preparation.
inline constexpr const char* ZQImageUploadErrorDomain = "ZQImageUploadErrorDomain";
enum ZQImageUploadErrorCode : int64_t {
    ZQImageUploadErrorNotAnImage = 1,  // the bytes are no image of a known format
    ZQImageUploadErrorUnreadable = 2,  // the file cannot be read, or the URL is not a file
};

enum class ZQImageFormat { png, jpeg, gif, webp };

class ZQImageUploadHelper {
  public:
    // The most leading bytes imageFormatOfBytes looks at.
    static constexpr size_t kHeaderBytes = 33;

    // The format whose signature and first header the bytes start with: PNG (signature, then an
    // IHDR chunk of 13 bytes with a width and height above 0), JPEG (FF D8 FF and a marker),
    // GIF (GIF87a or GIF89a and its screen descriptor), WebP (a RIFF file of form WEBP with a
    // VP8, VP8L or VP8X chunk). None for anything else, cut-off headers included.
    static std::optional<ZQImageFormat> imageFormatOfBytes(std::span<const uint8_t> bytes);
    // "image/png", "image/jpeg", "image/gif", "image/webp".
    static std::string_view mimeTypeForImageFormat(ZQImageFormat format);

    // What is sent for an image field: the bytes or the file, unchanged, and the format found;
    // or the error that refused it (then neither is set).
    struct ImageUpload {
        platform::Value data;        // bytes, for a bytes value
        std::filesystem::path file;  // the file to stream, for a file URL
        std::optional<ZQImageFormat> format;
        platform::ErrorPtr error;
    };
    // For bytes (a bytes Value). typeInfo and callerTypeInfo are the field's and the calling
    // field's type information (either may be none); name is what the error calls the value.
    [[nodiscard]] static ImageUpload imageUploadDataFromData(
        const platform::Value& data, const std::shared_ptr<const ZQEntityDataFieldInfo>& typeInfo,
        const std::shared_ptr<const ZQEntityDataFieldInfo>& callerTypeInfo, std::string_view name);
    // For a file URL: only the file's first kHeaderBytes are read here.
    [[nodiscard]] static ImageUpload imageUploadDataFromURL(
        const platform::URL& url, const std::shared_ptr<const ZQEntityDataFieldInfo>& typeInfo,
        const std::shared_ptr<const ZQEntityDataFieldInfo>& callerTypeInfo);
};
