// Regression: under a locale that writes decimals with a comma, "100.7" went on
// the wire as 100 and "0.5" was taken for no amount. Every operator number
// reads and writes "." whatever the host's LC_NUMERIC.
#include "support/Rig.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace cmbvhp::test;

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
