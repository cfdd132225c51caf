#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
// Presses a button and returns the frame its device's next slot sends.
std::string frameAtNextSlot(Rig& r, std::uint8_t device)
{
    for (int i = 0; i < 3; ++i) {
        const Bytes w = r.tickWire();
        if (r.state().curDevice == device)
            return toHex(w);
    }
    return "(no slot)";
}
} // namespace

TEST(CommandButtons, EveryButtonsFrameGoesOutAtItsDevicesNextSlot)
{
    const char* bv[7] = {"58 A7", "5B A4 03 10 E1 00 F2", "5B A4 03 10 00 00 13", "5B A4 03 10 02 00 11",
                         "5B A4 05 11 00 50 01 00 45", "59 A6", "5A A5"};
    for (int i = 0; i < 7; ++i) {
        for (int turn : {0, -1}) {
            Rig r;
            r.state().pollTurn = static_cast<std::int16_t>(turn);
            r.engine.bvCmd_Click(static_cast<std::int16_t>(i));
            EXPECT_EQ(r.state().bvCmdNo, i + 1);
            EXPECT_EQ(frameAtNextSlot(r, device::kBillValidator), bv[i]) << "bvCmd(" << i << ")";
        }
    }
    const char* cm[7] = {"60 9F", "63 9C 02 00 03 01", "63 9C 02 00 00 02", "63 9C 02 00 02 00",
                         "63 9C 04 01 25 00 00 20", "61 9E", "62 9D"};
    for (int i = 0; i < 7; ++i) {
        Rig r;
        r.ui.setText(Box::TxtCh, QStringLiteral("25"));
        r.engine.cmCmd_Click(static_cast<std::int16_t>(i));
        EXPECT_EQ(frameAtNextSlot(r, device::kCoinMech), cm[i]) << "cmCmd(" << i << ")";
    }
    const char* hp[6] = {"73 8C 05 00 03 00 00 00 06", "73 8C 05 00 00 04 00 00 01", "73 8C 05 00 00 00 05 00 00",
                         "73 8C 05 00 00 00 00 06 03", "72 8D", "71 8E"};
    for (int i = 0; i < 6; ++i) {
        Rig r;
        r.tickWire();
        for (int k = 0; k < 4; ++k)
            r.ui.setText(hpCountBox(k), QString::number(3 + k));
        r.engine.cmdHp1_Click(static_cast<std::int16_t>(i));
        EXPECT_EQ(r.state().hpPending, 1);
        EXPECT_EQ(toHex(r.tickWire()), hp[i]) << "cmdHp1(" << i << ") on the very next tick";
    }
}

TEST(CommandButtons, LaterPressReplacesAnEarlierOne)
{
    Rig r;
    r.engine.bvCmd_Click(0);
    r.engine.bvCmd_Click(1);
    EXPECT_EQ(toHex(r.tickWire()), "5B A4 03 10 E1 00 F2");
    EXPECT_EQ(toHex(r.tickWire()), "62 9D");
    EXPECT_EQ(toHex(r.tickWire()), "5A A5") << "only one frame went out for the two presses";
}

TEST(CommandButtons, BillValidatorOrCoinButtonTakesTheLineBackFromTheHopper)
{
    Rig r;
    r.state().curDevice = device::kHopper;
    r.engine.bvCmd_Click(2);
    EXPECT_EQ(r.state().curDevice, device::kBillValidator);
    EXPECT_EQ(toHex(r.tickWire()), "5B A4 03 10 00 00 13");

    r.state().curDevice = device::kHopper;
    r.engine.cmCmd_Click(6);
    EXPECT_EQ(r.state().curDevice, device::kCoinMech);
    EXPECT_EQ(toHex(r.tickWire()), "62 9D");

    r.state().curDevice = device::kBillValidator;
    r.engine.cmCmd_Click(0);
    EXPECT_EQ(r.state().curDevice, device::kBillValidator) << "only 4 is moved";
}

TEST(CommandButtons, ChangeWithoutAnAmountTellsTheOperatorAndRecordsNothing)
{
    for (const char* text : {"0", "0.0", "", "abc", " -0 "}) {
        Rig r;
        r.state().cmCmdNo = 3; // "Crem Off" already pending
        r.state().curDevice = device::kHopper;
        r.ui.setText(Box::TxtCh, QString::fromLatin1(text));
        r.engine.cmCmd_Click(4);
        EXPECT_EQ(r.ui.messages, QStringList{QStringLiteral("type the change!")}) << text;
        EXPECT_EQ(r.state().cmCmdNo, 3) << "the pending request is kept";
        EXPECT_EQ(r.state().curDevice, device::kCoinMech) << "moved off the hopper all the same";
    }
}

TEST(CommandButtons, ChangeAmountIsReadAgainWhenTheFrameIsBuilt)
{
    Rig r;
    r.state().pollTurn = -1;
    r.ui.setText(Box::TxtCh, QStringLiteral("150"));
    r.engine.cmCmd_Click(4);
    EXPECT_EQ(r.state().cmCmdNo, 5);
    r.ui.setText(Box::TxtCh, QStringLiteral("1500"));
    EXPECT_EQ(toHex(r.tickWire()), "63 9C 04 01 00 15 00 10");
    EXPECT_EQ(r.state().changeAmount, 1500);
}

