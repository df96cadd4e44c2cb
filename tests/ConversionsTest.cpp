#include "TestSupport.h"

#include "presets/Conversions.h"

#include <gtest/gtest.h>

using namespace voriraz;
using voriraz::test::messageOf;

namespace {

TEST(TextConversion, AbsentValueCannotBecomeText)
{
    EXPECT_EQ(valueToText(std::string("x y")), "x y");
    EXPECT_EQ(valueToText(std::string()), "");
    EXPECT_EQ(messageOf([] { valueToText(std::nullopt); }),
              "Could not convert variant of type (Null) into type (String)");
}

struct BooleanCase
{
    const char *name;
    const char *text;
    bool expected;
};

class BooleanReading : public ::testing::TestWithParam<BooleanCase> {};

TEST_P(BooleanReading, AcceptsWordsInAnyCaseAndNumbers)
{
    EXPECT_EQ(valueToBoolean(std::string(GetParam().text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, BooleanReading,
    ::testing::Values(BooleanCase {"LowerTrue", "true", true}, BooleanCase {"UpperTrue", "TRUE", true},
                      BooleanCase {"MixedFalse", "fAlSe", false}, BooleanCase {"One", "1", true},
                      BooleanCase {"Zero", "0", false}, BooleanCase {"MinusTwo", "-2", true},
                      BooleanCase {"ZeroFraction", "0.000", false}, BooleanCase {"Fraction", "0.5", true},
                      BooleanCase {"Exponent", "1e3", true}, BooleanCase {"Blanks", " 0 ", false}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(BooleanConversion, OtherTextsAndAbsentValuesAreErrors)
{
    const std::string oleStr = "Could not convert variant of type (OleStr) into type (Boolean)";
    for (const char *text : {"yes", "", "true ", "t", "1x", "e3", ".", "--1"})
        EXPECT_EQ(messageOf([&] { valueToBoolean(std::string(text)); }), oleStr) << "text: '" << text << "'";
    EXPECT_EQ(messageOf([] { valueToBoolean(std::nullopt); }),
              "Could not convert variant of type (Null) into type (Boolean)");
    EXPECT_STREQ(booleanText(true), "true");
    EXPECT_STREQ(booleanText(false), "false");
}

TEST(IntegerConversion, AcceptsDecimalAndHexadecimalForms)
{
    EXPECT_EQ(textToInteger("42"), 42);
    EXPECT_EQ(textToInteger("   -3"), -3);
    EXPECT_EQ(textToInteger("+7"), 7);
    EXPECT_EQ(textToInteger("007"), 7);
    EXPECT_EQ(textToInteger("$1F"), 31);
    EXPECT_EQ(textToInteger("x1f"), 31);
    EXPECT_EQ(textToInteger("X10"), 16);
    EXPECT_EQ(textToInteger("0x7fffffff"), 2147483647);
    EXPECT_EQ(textToInteger("0X10"), 16);
    EXPECT_EQ(textToInteger("-$10"), -16);
    EXPECT_EQ(textToInteger("2147483647"), 2147483647);
    EXPECT_EQ(textToInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(textToInteger("0"), 0);
}

TEST(IntegerConversion, RefusesEverythingElseWithTheTextQuoted)
{
    for (const char *text : {"", " ", "3 ", "3\t", "\t3", "1.0", "1e3", "12a", "-", "+", "$", "0x", "x",
                             "--1", "2147483648", "-2147483649", "$80000000", "0x100000000", "99999999999",
                             "٣", "$g"}) {
        EXPECT_EQ(messageOf([&] { textToInteger(text); }), "'" + std::string(text) + "' is not a valid integer value")
            << "text: '" << text << "'";
    }
}

} // namespace
