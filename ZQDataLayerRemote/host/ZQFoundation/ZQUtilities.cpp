#include "ZQDataLayerRemote/host/ZQFoundation/ZQUtilities.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQError.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQJSON.hpp"
#include "ZQDataLayerRemote/host/ZQFoundation/ZQLog.hpp"
#include "platform/DateFormat.hpp"
#include "platform/Mutex.hpp"
#include "platform/URL.hpp"
#include "platform/WorkerPool.hpp"

using platform::Value;

namespace {

struct Settings {
    std::atomic<bool> serverAvailable{true};
    std::atomic<bool> developerInfo{false};
    platform::Mutex mutex;
    ZQUtilities::FatalErrorHandler handler GUARDED_BY(mutex);
    std::vector<ZQFatalErrorReport> reports GUARDED_BY(mutex);

    Settings() {
        const char* env = std::getenv("ZQ_DEVELOPER_INFO");
        developerInfo.store(env != nullptr && std::strcmp(env, "1") == 0);
    }
};

Settings& settings() {
    static platform::Immortal<Settings> instance;
    return instance.get();
}

std::string lowerTrimmed(const std::string& text) {
    size_t start = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    if (start == std::string::npos) return std::string();
    std::string out = text.substr(start, end - start + 1);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

std::string parameterText(const Value& value) {
    switch (value.kind()) {
        case Value::Kind::String:
            return std::string(*value.string());
        case Value::Kind::Null:
            return std::string();
        case Value::Kind::Bool:
            return platform::percentEscape(*value.boolean() ? "true" : "false");
        case Value::Kind::Integer:
            return std::to_string(*value.integer());
        case Value::Kind::Double:
            return platform::percentEscape(platform::Decimal::fromDouble(*value.number()).text());
        case Value::Kind::Decimal:
            return platform::percentEscape(value.decimal()->text());
        case Value::Kind::Date:
            return platform::percentEscape(platform::iso8601String(*value.date()));
        default: {
            ZQJSON::WriteResult written = ZQJSON::write(value);
            return platform::percentEscape(written.error ? value.description() : written.text);
        }
    }
}

// A code given as a number or as text; its text and its numeric value (0 when not a number).
std::pair<std::string, int64_t> readCode(const Value& code) {
    if (std::optional<int64_t> number = code.integer()) return {std::to_string(*number), *number};
    if (std::optional<std::string_view> text = code.string()) {
        int64_t number = 0;
        auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), number);
        bool numeric = ec == std::errc() && end == text->data() + text->size();
        return {std::string(*text), numeric ? number : 0};
    }
    return {std::string(), 0};
}

platform::ErrorPtr serverError(const Value& code, const Value& message) {
    auto [codeText, number] = readCode(code);
    std::optional<std::string> text = ZQUtilities::nonEmptyStringFromObject(message);
    platform::Dictionary info;
    if (!codeText.empty()) info.set(ZQServerErrorCodeErrorKey, Value(codeText));
    return platform::Error::create(ZQServerErrorDomain, number,
                                   text ? *text : defaultZQError()->localizedDescription(),
                                   std::move(info));
}

bool report(ZQFatalErrorReport fatal) {
    Settings& s = settings();
    ZQUtilities::FatalErrorHandler handler;
    {
        platform::MutexLock lock(s.mutex);
        handler = s.handler;
    }
    if (handler) return handler(fatal);
    ZQLog::loggerService()->logMessage(
        std::string(fatal.recoverable ? "Recoverable" : "Unrecoverable") +
            " condition: " + fatal.message,
        ZQLogTypeGeneral, ZQLogLevelError, true);
    platform::MutexLock lock(s.mutex);
    s.reports.push_back(std::move(fatal));
    return true;
}

}  // namespace

bool ZQUtilities::boolFromValue(const Value& value) {
    if (std::optional<bool> b = value.boolean()) return *b;
    if (std::optional<double> n = value.number()) return *n != 0;
    if (std::optional<std::string_view> s = value.string()) {
        std::string text = lowerTrimmed(std::string(*s));
        if (text == "true" || text == "yes" || text == "y" || text == "t") return true;
        double number = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
        return ec == std::errc() && end == text.data() + text.size() && number != 0;
    }
    return false;
}

std::optional<std::string> ZQUtilities::nonEmptyStringFromObject(const Value& value) {
    std::optional<std::string_view> s = value.string();
    if (!s || s->empty()) return std::nullopt;
    return std::string(*s);
}

Value ZQUtilities::arrayFromObject(const Value& value) {
    return value.isArray() ? value : Value();
}

std::optional<std::string> ZQUtilities::urlParametersStringFrom(
    const platform::Dictionary* parameters, bool sorted) {
    if (!parameters) return std::nullopt;
    std::vector<const platform::Dictionary::Entry*> entries;
    entries.reserve(parameters->size());
    for (const auto& entry : *parameters) entries.push_back(&entry);
    if (sorted) {
        std::stable_sort(entries.begin(), entries.end(),
                         [](const auto* a, const auto* b) { return a->first < b->first; });
    }
    std::string out;
    for (const auto* entry : entries) {
        if (entry->second.isAbsent()) continue;
        if (!out.empty()) out += '&';
        out += entry->first;
        out += '=';
        out += parameterText(entry->second);
    }
    return out;
}

platform::ErrorPtr ZQUtilities::errorFromResponseData(const Value& data) {
    std::string_view text;
    if (const Value::Bytes* bytes = data.bytes()) {
        text = std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    } else if (std::optional<std::string_view> string = data.string()) {
        text = *string;
    }
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) return nullptr;
    ZQJSONParseResult parsed = ZQJSON::parse(text);
    if (parsed.error || !parsed.value.isDictionary()) return nullptr;
    const Value& body = parsed.value;
    Value error = body["error"];
    if (error.isDictionary()) return serverError(error["code"], error["message"]);
    if (error.isString()) return serverError(error, body["error_description"]);
    if (body["message"].isString()) return serverError(body["code"], body["message"]);
    return nullptr;
}

std::optional<std::vector<ZQHTTPWarningHeader>> ZQUtilities::httpWarningsFromHeader(
    const std::string& header) {
    return ZQHTTPWarningHeader::parseList(header);
}

bool ZQUtilities::serverConnectionAvailable() {
    return settings().serverAvailable.load();
}

void ZQUtilities::setServerConnectionAvailable(bool available) {
    settings().serverAvailable.store(available);
}

bool ZQUtilities::showDeveloperInfo() {
    return settings().developerInfo.load();
}

void ZQUtilities::setShowDeveloperInfo(bool show) {
    settings().developerInfo.store(show);
}

platform::ErrorPtr ZQUtilities::tryHandleFatalError(const std::string& message) {
    platform::ErrorPtr error = platform::Error::create(
        ZQErrorDomain, ZQErrorCodeFatal, message,
        platform::Dictionary{{ZQDeveloperDescriptionErrorKey, Value(message)}});
    report(ZQFatalErrorReport{message, false, error});
    return error;
}

platform::ErrorPtr ZQUtilities::tryHandleFatalError(const platform::ErrorPtr& error) {
    if (!error) return tryHandleFatalError(std::string("an unrecoverable condition"));
    report(ZQFatalErrorReport{error->description(), false, error});
    return error;
}

bool ZQUtilities::tryRecoverFatalError(const std::string& message) {
    return report(ZQFatalErrorReport{message, true, nullptr});
}

bool ZQUtilities::tryRecoverFatalError(const platform::ErrorPtr& error) {
    return report(
        ZQFatalErrorReport{error ? error->description() : std::string("a condition"), true, error});
}

void ZQUtilities::setFatalErrorHandler(FatalErrorHandler handler) {
    Settings& s = settings();
    platform::MutexLock lock(s.mutex);
    s.handler = std::move(handler);
}

std::vector<ZQFatalErrorReport> ZQUtilities::recordedFatalErrors() {
    Settings& s = settings();
    platform::MutexLock lock(s.mutex);
    return s.reports;
}

void ZQUtilities::clearRecordedFatalErrors() {
    Settings& s = settings();
    platform::MutexLock lock(s.mutex);
    s.reports.clear();
}
