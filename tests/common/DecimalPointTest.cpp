// Regression: under a locale that writes decimals with a comma, "100.7" went on
// the wire as 100 and "0.5" was taken for no amount. Every operator number
// reads and writes "." whatever the host's LC_NUMERIC.
#include "support/Rig.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {

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

// The frame the coin mechanism's next slot sends for a "Change" of `amount`.
std::string changeFrame(Rig& r, const char* amount)
{
    r.ui.setText(Box::TxtCh, QString::fromLatin1(amount));
    r.engine.cmCmd_Click(4);
    r.state().pollTurn = -1;
    return toHex(r.tickWire());
}

} // namespace

TEST_P(DecimalPoint, OperatorNumbersUseThePointWhateverTheLocale)
{
    Rig r;
    EXPECT_EQ(changeFrame(r, "100.7"), "63 9C 04 01 01 01 00 05");
    EXPECT_EQ(r.state().changeAmount, 100.7);
    EXPECT_EQ(changeFrame(r, "0.5"), "63 9C 04 01 00 00 00 05");
    EXPECT_TRUE(r.ui.messages.isEmpty());

    EXPECT_EQ(changeFrame(r, "100,7"), "62 9D") << "refused at the click";
    EXPECT_EQ(r.ui.messages, QStringList{QStringLiteral("type the change!")});

    r.ui.setText(Box::hpCount0, QStringLiteral("2.6"));
    r.engine.cmdHp1_Click(0);
    EXPECT_EQ(toHex(r.tickWire()), "73 8C 05 00 03 00 00 00 06");
    r.ui.setText(Box::hpCount0, QStringLiteral("3.0"));
    r.receive(hex("33 00 15 03 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00"));
    EXPECT_EQ(r.state().curDevice, device::kNone) << "3.0 matches a count of 3";

    // The remainder of a payout is written back with a point and read again.
    r.state().changeAmount = 2.5;
    r.address(device::kCoinMech);
    r.receive(framed(0x33, hex("00 0A 01 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("1.5"));
    r.state().bvAmount = 0.25;
    r.tick();
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("0.25"));
}

INSTANTIATE_TEST_SUITE_P(Locales, DecimalPoint, ::testing::Values("C", "de_DE.UTF-8"),
                         [](const auto& info) { return std::string(info.param[0] == 'C' ? "C" : "DecimalComma"); });
