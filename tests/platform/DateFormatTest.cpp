#include "platform/DateFormat.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/Value.hpp"

using platform::Date;

namespace {
constexpr double kNoon31Jan2024 = 1706702400;  // 2024-01-31 12:00:00 UTC
}

TEST(HTTPDate, FormatsAndReadsBack) {
    EXPECT_EQ(platform::httpDateString(Date(kNoon31Jan2024)), "Wed, 31 Jan 2024 12:00:00 GMT");
    EXPECT_EQ(platform::httpDateString(Date(0)), "Thu, 01 Jan 1970 00:00:00 GMT");
    // Whole seconds only: the fraction is dropped, not rounded.
    EXPECT_EQ(platform::httpDateString(Date(kNoon31Jan2024 + 0.9)),
              "Wed, 31 Jan 2024 12:00:00 GMT");
    for (double seconds : {0.0, kNoon31Jan2024, 1709164800.0 /* 2024-02-29 */,
                           4102444799.0 /* 2099-12-31 23:59:59 */, 951782400.0 /* 2000-02-29 */}) {
        std::string text = platform::httpDateString(Date(seconds));
        EXPECT_EQ(platform::parseHTTPDate(text), Date(seconds)) << text;
    }
}

TEST(HTTPDate, ReadsTheOlderForms) {
    EXPECT_EQ(platform::parseHTTPDate("Wednesday, 31-Jan-24 12:00:00 GMT"), Date(kNoon31Jan2024));
    EXPECT_EQ(platform::parseHTTPDate("Wed Jan 31 12:00:00 2024"), Date(kNoon31Jan2024));
}

TEST(HTTPDate, TextThatDoesNotParseGivesNoDate) {
    for (const char* text : {"", "garbage", "Wed, 99 Foo 2024 99:99:99 GMT"}) {
        EXPECT_EQ(platform::parseHTTPDate(text), std::nullopt) << text;
    }
}

TEST(StandardDateDescription, UTCWithZone) {
    EXPECT_EQ(platform::standardDateDescription(Date(kNoon31Jan2024)), "2024-01-31 12:00:00 +0000");
    EXPECT_EQ(platform::standardDateDescription(Date(-1)), "1969-12-31 23:59:59 +0000");
    EXPECT_EQ(platform::standardDateDescription(Date(1709251199.5)), "2024-02-29 23:59:59 +0000");
    // The description is what Value shows for a date.
    EXPECT_EQ(platform::Value(Date(kNoon31Jan2024)).description(), "2024-01-31 12:00:00 +0000");
}

TEST(ISO8601, FormatsWithAndWithoutFraction) {
    EXPECT_EQ(platform::iso8601String(Date(kNoon31Jan2024)), "2024-01-31T12:00:00");
    EXPECT_EQ(platform::iso8601String(Date(kNoon31Jan2024 + 0.25), 3), "2024-01-31T12:00:00.250");
    EXPECT_EQ(platform::iso8601String(Date(kNoon31Jan2024 + 0.5), 1), "2024-01-31T12:00:00.5");
    // Rounding the fraction up carries into the seconds.
    EXPECT_EQ(platform::iso8601String(Date(kNoon31Jan2024 + 59.9996), 3),
              "2024-01-31T12:01:00.000");
    EXPECT_EQ(platform::iso8601String(Date(-0.5), 1), "1969-12-31T23:59:59.5");
}

TEST(ISO8601, ReadsBackWhatItWrites) {
    for (double seconds : {0.0, kNoon31Jan2024, kNoon31Jan2024 + 0.123, -86400.5, 4102444799.75}) {
        std::string whole = platform::iso8601String(Date(seconds));
        EXPECT_EQ(platform::parseISO8601(whole), Date(std::floor(seconds))) << whole;
        std::string fine = platform::iso8601String(Date(seconds), 6);
        std::optional<Date> back = platform::parseISO8601(fine);
        ASSERT_TRUE(back.has_value()) << fine;
        EXPECT_NEAR(back->timeIntervalSince1970(), seconds, 1e-6) << fine;
    }
}

TEST(ISO8601, ZonesFractionsAndDateOnly) {
    const Date noon(kNoon31Jan2024);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T12:00:00Z"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T12:00:00"), noon);  // no zone reads as UTC
    EXPECT_EQ(platform::parseISO8601("2024-01-31 12:00:00"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T12:00Z"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T13:00:00+01:00"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T06:30:00-0530"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T14:00:00+02"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-02-01T00:00:00+12:00"), noon);
    EXPECT_EQ(platform::parseISO8601("2024-01-31T12:00:00.5Z"), noon.addingTimeInterval(0.5));
    std::optional<Date> micro = platform::parseISO8601("2024-01-31T13:00:00.123456+01:00");
    ASSERT_TRUE(micro.has_value());
    EXPECT_NEAR(micro->timeIntervalSince1970(), kNoon31Jan2024 + 0.123456, 1e-6);
    EXPECT_EQ(platform::parseISO8601("2024-01-31"), Date(kNoon31Jan2024 - 12 * 3600));
    EXPECT_EQ(platform::parseISO8601("2024-02-29"), Date(1709164800));
    EXPECT_EQ(platform::parseISO8601("1969-12-31T23:59:59Z"), Date(-1));
}

TEST(ISO8601, TextThatDoesNotParseGivesNoDate) {
    for (const char* text : {"",
                             "garbage",
                             "2024-02-31T00:00:00",
                             "2023-02-29",
                             "2024-13-01",
                             "2024-00-10",
                             "2024-01-32",
                             "2024-01-31T24:00:00",
                             "2024-01-31T12:60:00",
                             "2024-1-31",
                             "2024-01-3",
                             "2024-01-31T",
                             "2024-01-31T12",
                             "2024-01-31T12:00:",
                             "2024-01-31T12:00:00.",
                             "2024-01-31T12:00:00+",
                             "2024-01-31T12:00:00+01:",
                             "2024-01-31T12:00:00+1",
                             "2024-01-31T12:00:00+25:00",
                             "2024-01-31T12:00:00Zjunk",
                             "2024-01-31Z",
                             " 2024-01-31"}) {
        EXPECT_EQ(platform::parseISO8601(text), std::nullopt) << "\"" << text << "\"";
    }
}
