#include "packaging/Cp437.h"

#include <gtest/gtest.h>

using voriraz::toCp437;

TEST(Cp437, AsciiIsUnchanged)
{
    std::string all;
    for (int c = 1; c < 128; ++c)
        all.push_back(static_cast<char>(c));
    EXPECT_EQ(toCp437(all), all);
}

TEST(Cp437, EveryCharacterBecomesOneByte)
{
    EXPECT_EQ(toCp437("\xC3\xA9\xC3\xBC\xC3\x91"), "\x82\x81\xA5");  // é ü Ñ
    EXPECT_EQ(toCp437("\xE2\x95\x94\xCE\xB1\xE2\x82\xA7"), "\xC9\xE0\x9E"); // box corner, alpha, peseta
    EXPECT_EQ(toCp437("\xE2\x82\xAC-\xF0\x9F\x98\x80"), "_-_");        // euro and an emoji are not in it
    EXPECT_EQ(toCp437("a\xC3"), "a_");                                  // truncated sequence
    EXPECT_EQ(toCp437("\x80\xBF"), "__");                               // stray continuation bytes
}
