// What the host gives the field and rule services: the parameter string of a called service
// (values from constants, the action's variables and the entity, typed and escaped, handed over
// off the calling thread) and the choices read from a service's reply.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDictionaryEntityData.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQDynamicDataChoice.hpp"
#include "ZQDataLayerRemote/host/ZQDataLayer/ZQEntityHelper.hpp"
#include "ZQDataLayerRemote/host/ZQObjectsModel/ZQTypedObjectInfo.hpp"
#include "platform/DateFormat.hpp"
#include "platform/Mutex.hpp"

namespace {

using platform::Value;

std::shared_ptr<const ZQActionParameterDescriptor> parameter(
    std::string name, std::optional<std::string> field, Value constant = Value(),
    std::optional<ZQDataType> type = std::nullopt) {
    std::shared_ptr<const ZQEntityDataFieldInfo> info;
    if (type) info = std::make_shared<ZQTypedObjectInfo>(name, *type, 10, 0);
    return std::make_shared<ZQActionParameterDescriptor>(std::move(name), std::move(field),
                                                         std::move(constant), std::move(info));
}

TEST(ZQFieldServiceParameters, ValuesAreTypedEscapedAndInDescriptorOrder) {
    auto day = *platform::parseISO8601("2024-03-05T14:30:00Z");
    auto entity = std::make_shared<ZQDictionaryEntityData>(
        platform::Dictionary{{"Name", Value("Ann & Bob = #1 Müller")},
                             {"Day", Value(day)},
                             {"Moment", Value(day)},
                             {"Paid", Value(1)},
                             {"&Total", Value("from the entity")}});
    auto context =
        std::make_shared<ZQActionHandlerContext>(platform::Dictionary{{"&Total", Value(12.5)}});
    struct Case {
        const char* what;
        ZQActionParameterDescriptors descriptors;
        std::shared_ptr<const ZQActionHandlerContext> context;
        std::optional<std::string> expected;
    } cases[] = {
        {"no descriptors: no string", {}, nullptr, std::nullopt},
        {"text is escaped",
         {parameter("N", "Name")},
         nullptr,
         "N=Ann%20%26%20Bob%20%3D%20%231%20M%C3%BCller"},
        {"a date field gives the day, a moment the time",
         {parameter("D", "Day", {}, ZQDataTypeDate),
          parameter("M", "Moment", {}, ZQDataTypeDateTime)},
         nullptr,
         "D=2024-03-05&M=2024-03-05T14%3A30%3A00"},
        {"a number in a boolean field",
         {parameter("P", "Paid", {}, ZQDataTypeBoolean)},
         nullptr,
         "P=true"},
        {"constants and missing fields",
         {parameter("a", std::nullopt, Value(1)), parameter("b", "Gone")},
         nullptr,
         "a=1&b="},
        {"a variable comes from the context first", {parameter("T", "&Total")}, context, "T=12.5"},
        {"without a context, from the entity",
         {parameter("T", "&Total")},
         nullptr,
         "T=from%20the%20entity"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ZQEntityHelper::parametersString(entity, c.context, c.descriptors), c.expected);
    }
    EXPECT_EQ(ZQEntityHelper::parametersString(nullptr, nullptr, {parameter("b", "Name")}), "b=");
}

TEST(ZQFieldServiceParameters, TheCompletionComesOnceFromAnotherThread) {
    auto entity = std::make_shared<ZQDictionaryEntityData>(platform::Dictionary{{"X", Value(4)}});
    platform::Mutex mutex;
    std::optional<std::string> received;
    std::thread::id thread;
    std::atomic<int> calls{0};
    ZQEntityHelper::parametersStringFromEntityData(entity, nullptr, {parameter("x", "X")},
                                                   [&](std::optional<std::string> text) {
                                                       platform::MutexLock lock(mutex);
                                                       received = std::move(text);
                                                       thread = std::this_thread::get_id();
                                                       ++calls;
                                                   });
    for (int i = 0; i < 2000 && calls.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    platform::MutexLock lock(mutex);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(received, "x=4");
    EXPECT_NE(thread, std::this_thread::get_id());
}

TEST(ZQDynamicDataChoices, ReplyShapes) {
    struct Case {
        const char* what;
        Value reply;
        std::vector<std::pair<Value, std::string>> choices;
        bool error;
    } cases[] = {
        {"objects, pairs and scalars",
         Value::array({Value::dictionary({{"code", Value(1)}, {"description", Value("One")}}),
                       Value::array({Value(2), Value("Two")}), Value("Three"),
                       Value::dictionary({{"value", Value(true)}, {"text", Value(4)}})}),
         {{Value(1), "One"}, {Value(2), "Two"}, {Value("Three"), "Three"}, {Value(true), "4"}},
         false},
        {"an empty reply", Value::array({}), {}, false},
        {"a code without a description",
         Value::array({Value::dictionary({{"code", Value(7)}})}),
         {{Value(7), "7"}},
         false},
        {"an object", Value::dictionary({{"code", Value(1)}}), {}, true},
        {"a null element", Value::array({Value(1), Value::null()}), {}, true},
        {"a structured code", Value::array({Value::array({Value::array({Value(1)})})}), {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto result = ZQDynamicDataChoicesFromParsedData(c.reply);
        EXPECT_EQ(result.error != nullptr, c.error);
        ASSERT_EQ(result.choices.size(), c.choices.size());
        for (size_t i = 0; i < c.choices.size(); ++i) {
            EXPECT_EQ(result.choices[i].code, c.choices[i].first);
            EXPECT_EQ(result.choices[i].description, c.choices[i].second);
        }
    }
}

}  // namespace
