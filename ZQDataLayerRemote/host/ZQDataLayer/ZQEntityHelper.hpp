// Conversions of entity-data values on the read path: a field's JSON value to the value the
// cache stores, values to URL text for query strings, simple URL escaping and server-relative
// URLs. docs/application-model.md gives the exact texts (dates, numbers, booleans, the null
// value). Stateless; any thread.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQActionHandlerContext.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQBinaryDataFieldReference.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataFieldDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityDataKey.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQActionParameterDescriptor.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentAttribute.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQBusinessComponentLevel.hpp"
#include "platform/URL.hpp"
#include "platform/Value.hpp"

class ZQEntityHelper {
  public:
    // Whether the field's type is a structured data type (or a collection of one).
    static bool fieldInfoIsSDTData(const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo);
    // Whether the field holds an image (ZQDataTypeImage), whose values the uploader checks.
    static bool isImageFieldInfo(const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo);
    // Whether the field's values are uploaded before a save: blob, image, audio and video.
    static bool isBinaryFieldInfo(const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo);

    // The value the cache stores for a field's JSON value, typed by the field's information:
    // whole numbers, doubles or decimals for numeric fields (numeric text accepted), dates for
    // date and date-time fields (ISO 8601 text), booleans, text for the rest, the JSON text of a
    // structured value. Absent for null, absent, empty dates and values that do not convert.
    static platform::Value coreDataFieldValue(
        const std::shared_ptr<const ZQEntityDataFieldDescriptor>& descriptor,
        const platform::Value& fromValue);
    // The same for a business-component attribute, typed by its definition (an attribute the
    // model does not define keeps its value, structured values as JSON text).
    static platform::Value coreDataFieldValue(const ZQBusinessComponentAttribute& attribute,
                                              const platform::Value& fromValue);
    // The same typed by a field's information (none: the value as it is, structured values as
    // JSON text).
    static platform::Value coreDataFieldValueForFieldInfo(
        const std::shared_ptr<const ZQEntityDataFieldInfo>& fieldInfo,
        const platform::Value& fromValue);

    // The parameter string of a called service: "Name=text" for each descriptor, in order,
    // joined by "&", where Name is the descriptor's target name and text the URL text of its
    // value (urlParameterText, typed by the descriptor's field information). The value is the
    // descriptor's constant; else, for a field "&Name", the context's variable when the context
    // has it; else the entity data's field; absent (empty text) when there is none. None when
    // there are no descriptors. The values are read on the calling thread (the entity data's
    // owner); the completion runs once, on a worker thread, never inside this call.
    using ParametersStringCompletion = std::function<void(std::optional<std::string>)>;
    static void parametersStringFromEntityData(
        const std::shared_ptr<const ZQEntityData>& entityData,
        const std::shared_ptr<const ZQActionHandlerContext>& actionHandlerContext,
        const ZQActionParameterDescriptors& inputParameterDescriptors,
        ParametersStringCompletion completion);
    // Where completions run: the worker pool unless a test installs its own scheduler (to hold
    // parameter strings back and release them in an order of its choosing); none restores the
    // pool. Any thread.
    using ParametersStringScheduler = std::function<void(std::function<void()>)>;
    static void setParametersStringScheduler(ParametersStringScheduler scheduler);
    // The same string, made on the calling thread.
    static std::optional<std::string> parametersString(
        const std::shared_ptr<const ZQEntityData>& entityData,
        const std::shared_ptr<const ZQActionHandlerContext>& actionHandlerContext,
        const ZQActionParameterDescriptors& inputParameterDescriptors);
    // The entity field (or "&variable") a descriptor is bound to; none for constants and
    // parameters the caller fills in.
    static std::optional<std::string> entityDataFieldNameFromActionParameterDescriptor(
        const ZQActionParameterDescriptor& descriptor);

    // The URL text of each key value, in key order, typed by the key's field descriptors and
    // escaped as urlParameterText does, so that each text is safe inside one path segment ("/",
    // ",", spaces and non-ASCII bytes come out percent-escaped). None when the key has no
    // descriptor or no fields, or a field has no value (absent or null): such a key names no
    // instance.
    static std::optional<std::vector<std::string>> urlParametersArrayFromEntityDataKey(
        const ZQEntityDataKey& key);

    // The URL text of one value (already escaped), typed by the field's information when given.
    static std::string urlParameterText(const platform::Value& value,
                                        const ZQEntityDataFieldInfo* fieldInfo);
    // Parameter name to URL text (a string value, already escaped, ready for
    // ZQUtilities::urlParametersStringFrom), pairing descriptors[i] with fieldsValues[i]; the name
    // is the field name without a leading "&". Pairs stop at the shorter of the two lists.
    static platform::Dictionary urlParametersFromFieldsDescriptors(
        const ZQEntityDataFieldDescriptors& descriptors, const platform::Array& fieldsValues);
    // The URL text of each value, typed by the descriptor at the same index (none past the end of
    // descriptors).
    static std::vector<std::string> urlParametersArrayFromFieldsDescriptors(
        const ZQEntityDataFieldDescriptors& descriptors, const platform::Array& fieldsValues);

    // The text of a value before escaping: scalars as urlParameterText writes them (dates in
    // ISO 8601), empty for absent and null, structured values as JSON text.
    static std::string plainTextFromValue(const platform::Value& value);

    // Percent-escapes every byte except letters, digits, "-", ".", "_" and "~".
    static std::string urlSimpleEscapeString(std::string_view text);

    // The JSON object a save sends for one instance of `level`: each attribute the entity data has
    // a value for, under the attribute's name (dates as ISO 8601 text, the date alone for date
    // fields; null stays null; numbers, booleans and text as they are), and each child level the
    // entity data holds as an array of line objects under the level's name, in the same shape.
    // None without entity data or level.
    static std::optional<platform::Dictionary> jsonBusinessComponentLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData);
    // The same, with the binary values to upload first handed back through
    // binaryDataFieldReference: a binary attribute (isBinaryFieldInfo) whose value is bytes or a
    // "file:" URL text is null in the JSON and has a single reference instead. The reference of the
    // instance is a composite of its root fields (no index) and of one composite per child level,
    // whose members are the lines' fields with the line's position as index. None when nothing is
    // to be uploaded. Lines of lines are not looked into.
    static std::optional<platform::Dictionary> jsonBusinessComponentLevel(
        const std::shared_ptr<const ZQBusinessComponentLevel>& level,
        const std::shared_ptr<const ZQBusinessComponentLevelEntityData>& entityData,
        std::shared_ptr<ZQBinaryDataFieldReference>* binaryDataFieldReference);

    // The path resolved against the running application's server base URL (taken as a folder);
    // a leading "/" is ignored. None without a running model or base URL, or for a bad path.
    static std::optional<platform::URL> urlRelativeToServerBaseURL(std::string_view relativePath);
};
