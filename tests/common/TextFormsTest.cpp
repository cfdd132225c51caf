#include "common/TextForms.h"
#include "common/WindowState.h"

#include <gtest/gtest.h>

using namespace cmbvhp;

TEST(ParseNumber, AcceptsPlainDecimalsWithBlanksAndSign)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {{"0", 0},        {"1500", 1500},   {" 25 ", 25},      {"+7", 7},      {"-3", -3},
                 {"0.5", 0.5},    {".5", 0.5},      {"5.", 5},         {"05", 5},      {"9999.5", 9999.5},
                 {"\t12\t", 12},  {"-0", 0},        {"2147483648", 2147483648.0}};
    for (const auto& c : cases) {
        const auto v = parseNumber(QString::fromLatin1(c.text));
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.value) << c.text;
    }
}

TEST(ParseNumber, RefusesEverythingElse)
{
    for (const char* text : {"", " ", "abc", "1e3", "1,5", "1.2.3", "+", "-", ".", "12a", "0x10", "inf", "nan",
                             "1 000", "--1", "+-1"})
        EXPECT_FALSE(parseNumber(QString::fromLatin1(text)).has_value()) << '"' << text << '"';
    EXPECT_FALSE(parseNumber(QStringLiteral("١٢")).has_value()) << "digits of other scripts";
}

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour)
{
    const std::pair<double, double> cases[] = {{0.5, 0},    {1.5, 2},     {2.5, 2},     {255.5, 256}, {254.5, 254},
                                               {9999.5, 10000}, {-0.5, 0}, {-1.5, -2},   {-2.5, -2},   {2.4, 2},
                                               {2.6, 3},    {-2.6, -3},   {7, 7}};
    for (auto [in, out] : cases)
        EXPECT_EQ(roundHalfEven(in), out) << in;
}

TEST(PlainNumber, WritesUpTo15SignificantDigitsWithoutExponent)
{
    const std::pair<double, const char*> cases[] = {
        {0, "0"},          {-0.0, "0"},         {10, "10"},          {10060, "10060"},       {2.5, "2.5"},
        {-2.5, "-2.5"},    {0.1 + 0.2, "0.3"},  {1e16, "10000000000000000"}, {1.5e-7, "0.00000015"},
        {123456789012345678.0, "123456789012346000"}, {-1320, "-1320"}, {1.0 / 3, "0.333333333333333"}};
    for (auto [in, out] : cases)
        EXPECT_EQ(plainNumber(in), QString::fromLatin1(out)) << in;
}

TEST(ByteTexts, HexPairAndAsciiViewCharacters)
{
    QString s;
    appendHexPair(s, 0x0A);
    appendHexPair(s, 0xFF);
    appendHexPair(s, 0x00);
    EXPECT_EQ(s, QStringLiteral("0A FF 00 "));

    EXPECT_EQ(asciiViewChar(0x41), u'A');
    EXPECT_EQ(asciiViewChar(0x00), u'\u2400');
    EXPECT_EQ(asciiViewChar(0x0D), u'\u240D');
    EXPECT_EQ(asciiViewChar(0x0A), u'\u240A');
    EXPECT_EQ(asciiViewChar(0x7F), u'\u2421');
    EXPECT_EQ(asciiViewChar(0x85), u'\uFFFD');
    EXPECT_EQ(asciiViewChar(0xE9), u'\u00E9');
    for (int b = 0; b < 256; ++b) {
        const char16_t c = asciiViewChar(static_cast<std::uint8_t>(b));
        EXPECT_NE(c, u'\r');
        EXPECT_NE(c, u'\n');
    }
}

// Regression: a debug build aborted on an out-of-range position instead of
// reading 0 and dropping the write.
TEST(RxBuffer, OutOfRangeReadGivesZeroAndWriteIsDroppedInEveryBuild)
{
    RxBuffer rx;
    for (int pos : {0, -1, 1025, 32767}) {
        rx.set(pos, 0xAB);
        EXPECT_EQ(rx(pos), 0) << pos;
    }
    rx.set(1024, 0xCD);
    EXPECT_EQ(rx(1024), 0xCD);
    EXPECT_EQ(rx(1), 0);
}
