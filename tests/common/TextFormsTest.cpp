#include "common/TextForms.h"
#include "common/WindowState.h"

#include <gtest/gtest.h>

using namespace cmbvhp;

TEST(TextForms, NumbersInAndOut)
{
    const std::pair<const char*, double> accepted[] = {{"0", 0},   {" 25 ", 25}, {"+7", 7},    {"-3", -3},         {".5", 0.5},
                                                       {"5.", 5},  {"05", 5},    {"\t12\t", 12}, {"-0", 0},        {"9999.5", 9999.5},
                                                       {"2147483648", 2147483648.0}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(parseNumber(QString::fromLatin1(text)), value) << text;
    for (const char* text : {"", " ", "abc", "1e3", "1,5", "1.2.3", "+", "-", ".", "12a", "0x10", "inf", "nan", "1 000", "--1", "+-1"})
        EXPECT_FALSE(parseNumber(QString::fromLatin1(text))) << '"' << text << '"';
    EXPECT_FALSE(parseNumber(QStringLiteral("١٢"))) << "digits of other scripts";
    const std::pair<double, double> halves[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {255.5, 256}, {254.5, 254}, {-0.5, 0}, {-1.5, -2}, {2.6, 3}, {-2.6, -3}};
    for (auto [in, out] : halves)
        EXPECT_EQ(roundHalfEven(in), out) << in;
    const std::pair<double, const char*> plain[] = {{0, "0"},           {-0.0, "0"},          {10060, "10060"}, {-2.5, "-2.5"},
                                                    {0.1 + 0.2, "0.3"}, {1e16, "10000000000000000"}, {1.5e-7, "0.00000015"},
                                                    {123456789012345678.0, "123456789012346000"},   {1.0 / 3, "0.333333333333333"}};
    for (auto [in, out] : plain)
        EXPECT_EQ(plainNumber(in), QString::fromLatin1(out)) << in;
}

TEST(TextForms, ByteTexts)
{
    QString s;
    for (std::uint8_t b : {0x0A, 0xFF, 0x00})
        appendHexPair(s, b);
    EXPECT_EQ(s, QStringLiteral("0A FF 00 "));
    QString ascii;
    for (std::uint8_t b : {0x41, 0x00, 0x0D, 0x7F, 0x85, 0xE9})
        ascii += QChar(asciiViewChar(b));
    EXPECT_EQ(ascii, QStringLiteral("A\u2400\u240D\u2421\uFFFD\u00E9"));
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
    EXPECT_EQ(rx(1024) + rx(1), 0xCD);
}
