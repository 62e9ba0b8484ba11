#include "ZQDataLayerRemote/host/ZQFoundation/ZQDateFormatter.hpp"

#include <gtest/gtest.h>

using platform::Date;

namespace {

auto formatter(const char* pattern) {
    return dateFormatterWithTimeZone_UTC_Locale_en_US_POSIX_forDateFormat(pattern);
}

TEST(DateFormatterTest, HTTPDatesBothWays) {
    auto http = formatter("EEE, dd MMM yyyy HH:mm:ss z");
    Date date(1706702400.0);  // 2024-01-31 12:00:00 UTC
    EXPECT_EQ(http->stringFromDate(date), "Wed, 31 Jan 2024 12:00:00 GMT");
    EXPECT_EQ(http->dateFromString("Wed, 31 Jan 2024 12:00:00 GMT"), date);
    EXPECT_EQ(http->dateFromString("Wed, 31 Jan 2024 13:00:00 GMT+01:00"), date);
    EXPECT_FALSE(http->dateFromString("Wed, 31 Foo 2024 12:00:00 GMT").has_value());
    EXPECT_FALSE(http->dateFromString("31 Jan 2024 12:00:00 GMT").has_value());
    EXPECT_FALSE(http->dateFromString("Wed, 31 Feb 2024 12:00:00 GMT").has_value());
    EXPECT_EQ(formatter("EEE, dd MMM yyyy HH:mm:ss z"), http) << "formatters are shared";
}

TEST(DateFormatterTest, JSONDatesAndTimesWithOptionalFractionAndZone) {
    auto day = formatter("yyyy-MM-dd");
    auto time = formatter("yyyy-MM-dd'T'HH:mm:ss");
    EXPECT_EQ(day->stringFromDate(Date(951782400.0)), "2000-02-29");
    EXPECT_EQ(day->dateFromString("2000-02-29"), Date(951782400.0));
    EXPECT_FALSE(day->dateFromString("1900-02-29").has_value());
    EXPECT_FALSE(day->dateFromString("2000-02-29x").has_value());

    EXPECT_EQ(time->stringFromDate(Date(1706702400.75)), "2024-01-31T12:00:00");
    EXPECT_EQ(time->dateFromString("2024-01-31T12:00:00"), Date(1706702400.0));
    EXPECT_EQ(time->dateFromString("2024-01-31T12:00:00.5"), Date(1706702400.5));
    EXPECT_EQ(time->dateFromString("2024-01-31T12:00:00Z"), Date(1706702400.0));
    EXPECT_EQ(time->dateFromString("2024-01-31T14:30:00+02:30"), Date(1706702400.0));
    EXPECT_EQ(time->dateFromString("2024-01-31T06:30:00.250-0530"), Date(1706702400.25));
    EXPECT_FALSE(time->dateFromString("2024-01-31T25:00:00").has_value());
    EXPECT_FALSE(time->dateFromString("2024-01-31 12:00:00").has_value());

    EXPECT_EQ(formatter("yyyy-MM-dd'T'HH:mm:ss.SSS")->stringFromDate(Date(1706702400.1239)),
              "2024-01-31T12:00:00.123");
    EXPECT_EQ(formatter("yyyy-MM-dd'T'HH:mm:ss.SSS")->dateFromString("2024-01-31T12:00:00.123"),
              Date(1706702400.123));
}

TEST(DateFormatterTest, OtherFieldsAndDatesBeforeTheEpoch) {
    auto us = formatter("MMMM d, yy h:mm a '('EEEE')'");
    Date date(-86400.0 * 365 + 3600 * 15);  // 1969-01-01 15:00
    EXPECT_EQ(us->stringFromDate(date), "January 1, 69 3:00 PM (Wednesday)");
    auto compact = formatter("yyyyMMddHHmmss");
    EXPECT_EQ(compact->stringFromDate(Date(1706702400.0)), "20240131120000");
    EXPECT_EQ(compact->dateFromString("20240131120000"), Date(1706702400.0));
    EXPECT_EQ(formatter("'It''s' yyyy")->stringFromDate(Date(0)), "It's 1970");
}

}  // namespace
