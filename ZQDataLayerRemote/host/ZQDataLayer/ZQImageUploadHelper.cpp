#include "ZQDataLayerRemote/host/ZQDataLayer/ZQImageUploadHelper.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQSingleBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"

namespace {

bool startsWith(std::span<const uint8_t> bytes, size_t at, std::string_view text) {
    return bytes.size() >= at + text.size() &&
           std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

uint32_t bigEndian32(std::span<const uint8_t> bytes, size_t at) {
    return (uint32_t{bytes[at]} << 24) | (uint32_t{bytes[at + 1]} << 16) |
           (uint32_t{bytes[at + 2]} << 8) | uint32_t{bytes[at + 3]};
}

// Signature, then the first chunk: IHDR, 13 bytes long, a width and height above 0, its CRC.
bool isPNG(std::span<const uint8_t> bytes) {
    static constexpr std::string_view kSignature("\x89PNG\r\n\x1a\n", 8);
    return bytes.size() >= 33 && startsWith(bytes, 0, kSignature) && bigEndian32(bytes, 8) == 13 &&
           startsWith(bytes, 12, "IHDR") && bigEndian32(bytes, 16) > 0 &&
           bigEndian32(bytes, 20) > 0;
}

// Start of image, then the marker of the first segment (FF xx, xx neither 00 nor FF).
bool isJPEG(std::span<const uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF &&
           bytes[3] >= 0xC0 && bytes[3] != 0xFF;
}

// Signature and version, then the 7-byte logical screen descriptor.
bool isGIF(std::span<const uint8_t> bytes) {
    return bytes.size() >= 13 && (startsWith(bytes, 0, "GIF87a") || startsWith(bytes, 0, "GIF89a"));
}

// RIFF, the file's size, form WEBP, then the first chunk: lossy, lossless or extended.
bool isWebP(std::span<const uint8_t> bytes) {
    return bytes.size() >= 16 && startsWith(bytes, 0, "RIFF") && startsWith(bytes, 8, "WEBP") &&
           (startsWith(bytes, 12, "VP8 ") || startsWith(bytes, 12, "VP8L") ||
            startsWith(bytes, 12, "VP8X"));
}

platform::ErrorPtr uploadError(ZQImageUploadErrorCode code, const std::string& text) {
    return platform::Error::create(ZQImageUploadErrorDomain, code, text,
                                   {{ZQDeveloperDescriptionErrorKey, platform::Value(text)}});
}

platform::ErrorPtr notAnImage(std::string_view name) {
    return uploadError(
        ZQImageUploadErrorNotAnImage,
        std::string(name) + " is not an image: an image field takes PNG, JPEG, GIF or WebP.");
}

}  // namespace

std::optional<ZQImageFormat> ZQImageUploadHelper::imageFormatOfBytes(
    std::span<const uint8_t> bytes) {
    if (isPNG(bytes)) return ZQImageFormat::png;
    if (isJPEG(bytes)) return ZQImageFormat::jpeg;
    if (isGIF(bytes)) return ZQImageFormat::gif;
    if (isWebP(bytes)) return ZQImageFormat::webp;
    return std::nullopt;
}

std::string_view ZQImageUploadHelper::mimeTypeForImageFormat(ZQImageFormat format) {
    switch (format) {
        case ZQImageFormat::png:
            return "image/png";
        case ZQImageFormat::jpeg:
            return "image/jpeg";
        case ZQImageFormat::gif:
            return "image/gif";
        case ZQImageFormat::webp:
            return "image/webp";
    }
    return "image";
}

ZQImageUploadHelper::ImageUpload ZQImageUploadHelper::imageUploadDataFromData(
    const platform::Value& data, const std::shared_ptr<const ZQEntityDataFieldInfo>&,
    const std::shared_ptr<const ZQEntityDataFieldInfo>&, std::string_view name) {
    ImageUpload upload;
    const platform::Value::Bytes* bytes = data.bytes();
    upload.format = bytes ? imageFormatOfBytes(*bytes) : std::nullopt;
    if (!upload.format) {
        upload.error = notAnImage(name);
        return upload;
    }
    upload.data = data;
    return upload;
}

ZQImageUploadHelper::ImageUpload ZQImageUploadHelper::imageUploadDataFromURL(
    const platform::URL& url, const std::shared_ptr<const ZQEntityDataFieldInfo>&,
    const std::shared_ptr<const ZQEntityDataFieldInfo>&) {
    ImageUpload upload;
    std::optional<std::filesystem::path> path =
        ZQSingleBinaryDataFieldReference::filePathOfURL(url);
    if (!path) {
        upload.error =
            uploadError(ZQImageUploadErrorUnreadable,
                        url.absoluteString() + " is not a file: only files are uploaded.");
        return upload;
    }
    std::ifstream in(*path, std::ios::binary);
    std::array<char, kHeaderBytes> header{};
    if (in) in.read(header.data(), header.size());
    if (!in && !in.eof()) {
        upload.error = uploadError(ZQImageUploadErrorUnreadable,
                                   "The file " + path->string() + " could not be read for upload.");
        return upload;
    }
    std::span<const uint8_t> read(reinterpret_cast<const uint8_t*>(header.data()),
                                  static_cast<size_t>(in.gcount()));
    upload.format = imageFormatOfBytes(read);
    if (!upload.format) {
        upload.error = notAnImage("The file " + path->string());
        return upload;
    }
    upload.file = std::move(*path);
    return upload;
}
