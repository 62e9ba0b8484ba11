// A point in time: seconds since 1970-01-01 00:00:00 UTC as a double. Value type; any thread.
// Formatting and parsing live in DateFormat.hpp; the current time comes from Clock.hpp.
#pragma once

#include <compare>

namespace platform {

class Date {
  public:
    constexpr Date() = default;
    constexpr explicit Date(double secondsSince1970) : seconds_(secondsSince1970) {}

    // The current time of the process-wide clock (replaceable in tests).
    static Date now();

    constexpr double timeIntervalSince1970() const { return seconds_; }
    constexpr double timeIntervalSinceDate(Date other) const { return seconds_ - other.seconds_; }
    constexpr Date addingTimeInterval(double seconds) const { return Date(seconds_ + seconds); }

    constexpr auto operator<=>(const Date&) const = default;

  private:
    double seconds_ = 0;
};

}  // namespace platform
