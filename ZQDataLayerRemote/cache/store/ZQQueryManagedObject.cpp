#include "ZQDataLayerRemote/cache/store/ZQQueryManagedObject.hpp"

using platform::Value;

namespace {

std::optional<std::string> stringOf(const Value& value) {
    if (std::optional<std::string_view> text = value.string()) return std::string(*text);
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ZQQueryManagedObject::queryBaseUri() {
    return stringOf(valueForKey(kQueryBaseUriKey));
}

platform::ErrorPtr ZQQueryManagedObject::setQueryBaseUri(const std::string& uri) {
    return setValueForKey(Value(uri), kQueryBaseUriKey);
}

std::optional<std::string> ZQQueryManagedObject::queryParameters() {
    return stringOf(valueForKey(kQueryParametersKey));
}

platform::ErrorPtr ZQQueryManagedObject::setQueryParameters(
    const std::optional<std::string>& parameters) {
    return setValueForKey(parameters ? Value(*parameters) : Value(), kQueryParametersKey);
}

std::optional<platform::Date> ZQQueryManagedObject::timeStamp() {
    return valueForKey(kTimeStampKey).date();
}

platform::ErrorPtr ZQQueryManagedObject::setTimeStamp(platform::Date date) {
    return setValueForKey(Value(date), kTimeStampKey);
}

std::optional<platform::Date> ZQQueryManagedObject::dataTimeStamp() {
    return valueForKey(kDataTimeStampKey).date();
}

platform::ErrorPtr ZQQueryManagedObject::setDataTimeStamp(platform::Date date) {
    return setValueForKey(Value(date), kDataTimeStampKey);
}

std::optional<platform::Date> ZQQueryManagedObject::lastModified() {
    return valueForKey(kLastModifiedKey).date();
}

platform::ErrorPtr ZQQueryManagedObject::setLastModified(
    const std::optional<platform::Date>& date) {
    return setValueForKey(date ? Value(*date) : Value(), kLastModifiedKey);
}
