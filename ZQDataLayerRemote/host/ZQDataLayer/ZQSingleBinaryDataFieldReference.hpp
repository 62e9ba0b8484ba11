// One binary value to upload: bytes in memory or a file URL, the field's type information, and
// the object identifier the server gave it once uploaded. Made by the save handler and held by
// shared_ptr; the uploader's read step writes uploadedObjectId on a worker while the main thread
// may read it, so mutex_ guards the identifier; everything else is fixed at creation.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQEntityDataFieldInfo.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

// userInfo keys: the binary field's type information and that of the field it is called from
// (a variable or parameter based on the field), either of which may be missing.
inline constexpr const char* ZQSingleBinaryDataFieldReferenceTypedObjectInfoUserInfoKey =
    "ZQSingleBinaryDataFieldReferenceTypedObjectInfo";
inline constexpr const char* ZQSingleBinaryDataFieldReferenceCallerTypedObjectInfoUserInfoKey =
    "ZQSingleBinaryDataFieldReferenceCallerTypedObjectInfo";

class ZQSingleBinaryDataFieldReference : public ZQBinaryDataFieldReference {
  public:
    using UserInfo = std::map<std::string, std::shared_ptr<const ZQEntityDataFieldInfo>>;

    // Bytes (a bytes Value); name is what messages call it.
    [[nodiscard]] static std::shared_ptr<ZQSingleBinaryDataFieldReference> createWithData(
        platform::Value data, UserInfo userInfo = {}, std::string name = {});
    // A URL; only file URLs can be uploaded.
    [[nodiscard]] static std::shared_ptr<ZQSingleBinaryDataFieldReference> createWithURL(
        platform::URL url, UserInfo userInfo = {});
    // A file URL for the path.
    [[nodiscard]] static std::shared_ptr<ZQSingleBinaryDataFieldReference> createWithFile(
        const std::filesystem::path& path, UserInfo userInfo = {});

    ZQSingleBinaryDataFieldReference(platform::Value data, std::optional<platform::URL> url,
                                     UserInfo userInfo, std::string name);

    int type() const override { return kTypeSingle; }

    // The bytes; absent for a URL reference.
    const platform::Value& objectData() const { return data_; }
    // The URL; none for bytes.
    const std::optional<platform::URL>& objectURL() const { return url_; }
    // The local path of a file URL (escapes decoded); none for bytes and other URLs.
    std::optional<std::filesystem::path> filePath() const;
    // The same for any URL: none unless it is a file URL.
    static std::optional<std::filesystem::path> filePathOfURL(const platform::URL& url);

    std::optional<std::string> uploadedObjectId() const EXCLUDES(mutex_);
    void setUploadedObjectId(std::optional<std::string> objectId) EXCLUDES(mutex_);

    // False only for a file URL whose file is missing or not a regular file: there is nothing
    // to upload. Bytes and other URLs are valid (a URL that is not a file cannot be sent, which
    // the uploader reports as an error).
    bool isValidReference() const;
    // The file's path, the URL, or the name given with the bytes ("<N bytes>" without one).
    std::string objectReferenceName() const;

    const UserInfo& userInfo() const { return userInfo_; }
    std::shared_ptr<const ZQEntityDataFieldInfo> typeInfo() const;
    std::shared_ptr<const ZQEntityDataFieldInfo> callerTypeInfo() const;

  private:
    const platform::Value data_;
    const std::optional<platform::URL> url_;
    const UserInfo userInfo_;
    const std::string name_;
    mutable platform::Mutex mutex_;
    std::optional<std::string> uploadedObjectId_ GUARDED_BY(mutex_);
};
