#include "platform/Value.hpp"

#include <gtest/gtest.h>

#include "platform/Error.hpp"

using platform::Value;

TEST(Value, AbsentAndNullAreDifferent) {
    EXPECT_TRUE(Value().isAbsent());
    EXPECT_TRUE(Value::null().isNull());
    EXPECT_NE(Value(), Value::null());
    auto dict = Value::dictionary({{"a", Value::null()}});
    EXPECT_TRUE(dict["a"].isNull());
    EXPECT_TRUE(dict["b"].isAbsent());
}
