// Operator numbers in and out, under any locale, and the receive buffer's bounds.
#include "common/TextForms.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace cmbvhp::test;

TEST(TextForms, NumbersInAndOut)
{
    const std::pair<const char*, double> accepted[] = {{"0", 0},   {" 25 ", 25}, {"+7", 7},    {"-3", -3},         {".5", 0.5},
                                                       {"5.", 5},  {"05", 5},    {"\t12\t", 12}, {"-0", 0},        {"9999.5", 9999.5},
                                                       {"2147483648", 2147483648.0}};
    for (const auto& [text, value] : accepted)
        EXPECT_EQ(parseNumber(QString::fromLatin1(text)), value) << text;
    for (const char* text : {"", " ", "abc", "1e3", "1,5", "1.2.3", "+", "-", ".", "12a", "0x10", "inf", "nan", "1 000", "--1", "+-1", "١٢"})
        EXPECT_FALSE(parseNumber(QString::fromUtf8(text))) << '"' << text << '"';
    EXPECT_EQ(parseNumber(QString(400, u'9')), std::numeric_limits<double>::infinity()) << "too large for a double: infinite";
    const std::pair<double, double> halves[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {255.5, 256}, {254.5, 254}, {-0.5, 0}, {-1.5, -2}, {2.6, 3}, {-2.6, -3}};
    for (auto [in, out] : halves)
        EXPECT_EQ(roundHalfEven(in), out) << in;
    const std::pair<double, const char*> plain[] = {{0, "0"},           {-0.0, "0"},          {10060, "10060"}, {-2.5, "-2.5"},
                                                    {0.1 + 0.2, "0.3"}, {1e16, "10000000000000000"}, {1.5e-7, "0.00000015"},
                                                    {123456789012345678.0, "123456789012346000"},   {1.0 / 3, "0.333333333333333"}};
    for (auto [in, out] : plain)
        EXPECT_EQ(plainNumber(in), QString::fromLatin1(out)) << in;
}

// Regression: a debug build aborted on an out-of-range position instead of
// reading 0 and dropping the write.
TEST(RxBuffer, OutOfRangeReadGivesZeroAndWriteIsDroppedInEveryBuild)
{
    RxBuffer rx;
    for (int pos : {0, -1, 1025, 32767, 1024})
        rx.set(pos, 0xAB);
    EXPECT_EQ(std::pair(rx(0) + rx(-1) + rx(1025) + rx(32767) + rx(1) + rx(1023), int{rx(1024)}), std::pair(0, 0xAB)) << "read 0, dropped; the last place kept";
}

// Regression: under a locale that writes decimals with a comma, "100.7" went on
// the wire as 100 and "0.5" was taken for no amount. Every operator number
// reads and writes "." whatever the host's LC_NUMERIC.
class DecimalPoint : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        saved_ = std::setlocale(LC_NUMERIC, nullptr);
        // The set-up script provides the locale; a missing one is a failure.
        ASSERT_NE(std::setlocale(LC_NUMERIC, GetParam()), nullptr) << GetParam() << " is not installed";
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    std::string saved_;
};

TEST_P(DecimalPoint, OperatorNumbersUseThePointWhateverTheLocale)
{
    runCases({
        {"pollTurn=-1; TxtCh=100.7; cm 4; tick", "wire=63 9C 04 01 01 01 00 05; changeAmount=100.7"},
        {"pollTurn=-1; TxtCh=0.5; cm 4; tick", "wire=63 9C 04 01 00 00 00 05; msg="},
        {"TxtCh=100,7; cm 4", "cmCmdNo=0; msg=type the change!"},
        {"TxtCh=100,7; send change", "wire=; msg~=holds \"100,7\""},
        {"hpCount0=2.6; hp 0; tick", "wire=73 8C 05 00 03 00 00 00 06"},
        {"hpCount0=3.0; curDevice=4; in 33 00 15 03 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00", "curDevice=0"},
        {"changeAmount=2.5; curDevice=2; reply 33 00 0A 01 00 00 00 00", "TxtCh=1.5"},
        {"bvAmount=0.25; tick", "txtamount=0.25"},
    });
}

INSTANTIATE_TEST_SUITE_P(Locales, DecimalPoint, ::testing::Values("C", "de_DE.UTF-8"),
                         [](const auto& info) { return std::string(info.param[0] == 'C' ? "C" : "DecimalComma"); });
