// Utility functions of the host: value coercions, URL parameter strings, the server's error
// bodies and warning headers, and the hand-over of unrecoverable conditions to the host. Static
// functions; any thread. The settings (server reachability, developer info, the fatal-error
// handler) and the record of fatal reports are process-wide, guarded by one internal mutex.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ZQDataLayerRemote/host/ZQFoundation/ZQHTTPWarningHeader.hpp"
#include "platform/Error.hpp"
#include "platform/Value.hpp"

// One condition handed to the host.
struct ZQFatalErrorReport {
    std::string message;
    bool recoverable = false;  // from tryRecoverFatalError (the caller goes on)
    platform::ErrorPtr error;
};

class ZQUtilities {
  public:
    // Booleans as they are; numbers: not zero; strings: "true", "yes", "y", "t" (any case) or a
    // number that is not zero. Everything else (absent and null included) is false.
    static bool boolFromValue(const platform::Value& value);
    // The string when the value is a non-empty string; none otherwise.
    static std::optional<std::string> nonEmptyStringFromObject(const platform::Value& value);
    // The value when it is an array; absent for anything else (a lone dictionary is not wrapped).
    static platform::Value arrayFromObject(const platform::Value& value);

    // "name=value" pairs joined with "&"; none without a dictionary, "" for an empty one. With
    // sorted, pairs are in byte order of the names. Names are written as given. String values are
    // taken to be URL text already and are written unchanged; any other value is written as text
    // and percent-escaped (everything but letters, digits and "-._~"): booleans as true/false,
    // numbers in their shortest exact form, dates as yyyy-MM-ddTHH:mm:ss in UTC, null as the
    // empty text, arrays and dictionaries as JSON.
    static std::optional<std::string> urlParametersStringFrom(
        const platform::Dictionary* parameters, bool sorted);

    // The server's own error from a JSON error body (bytes or a string), in ZQServerErrorDomain.
    // Recognised shapes: {"error": {"code": C, "message": M}}, {"code": C, "message": M} and
    // {"error": "C", "error_description": M}. The code is the number C (0 when C is not a number)
    // and the text of C is kept under ZQServerErrorCodeErrorKey. An error member without a
    // message gives the generic message. None for a body that is not JSON or not of these shapes.
    [[nodiscard]] static platform::ErrorPtr errorFromResponseData(const platform::Value& data);
    // The records of a Warning field value; none when nothing in it reads as a warning.
    static std::optional<std::vector<ZQHTTPWarningHeader>> httpWarningsFromHeader(
        const std::string& header);

    // Whether the application server is believed reachable (true unless set otherwise).
    static bool serverConnectionAvailable();
    static void setServerConnectionAvailable(bool available);
    // Whether developer diagnostics are wanted (false unless set, or ZQ_DEVELOPER_INFO=1).
    static bool showDeveloperInfo();
    static void setShowDeveloperInfo(bool show);

    // An unrecoverable condition: reported to the host's handler, and answered with an error
    // (ZQErrorDomain, ZQErrorCodeFatal, the message as developer description) for the caller to
    // pass on.
    [[nodiscard]] static platform::ErrorPtr tryHandleFatalError(const std::string& message);
    [[nodiscard]] static platform::ErrorPtr tryHandleFatalError(const platform::ErrorPtr& error);
    // A condition the caller can step over: reported to the host's handler, whose answer (true:
    // go on) is returned.
    static bool tryRecoverFatalError(const std::string& message);
    static bool tryRecoverFatalError(const platform::ErrorPtr& error);

    // The host's reaction. The default logs the report (always recorded, on the console when
    // logging is enabled), records it, and lets the caller go on; it never ends the process.
    // A null handler restores the default. The handler runs on the reporting thread.
    using FatalErrorHandler = std::function<bool(const ZQFatalErrorReport&)>;
    static void setFatalErrorHandler(FatalErrorHandler handler);
    static std::vector<ZQFatalErrorReport> recordedFatalErrors();
    static void clearRecordedFatalErrors();
};
