#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;
using Coin = FakeWindow::Coin;

namespace {
Bytes hopperReply(const char* counts)
{
    Bytes r = hex("33 00 15");
    const Bytes c = hex(counts);
    r.insert(r.end(), c.begin(), c.end());
    const Bytes rest = hex("16 01 02 03 04 17 05 06 07 08 18 12 34");
    r.insert(r.end(), rest.begin(), rest.end());
    return r;
}
} // namespace

TEST(HopperDecoder, RecordsGoToTheirBoxes)
{
    Rig r;
    r.address(device::kHopper);
    r.receive(hopperReply("00 03 1A FF"));
    EXPECT_EQ(r.ui.text(Box::txt14), QStringLiteral("00 03 1A FF "));
    EXPECT_EQ(r.ui.text(Box::txt15), QStringLiteral("01 02 03 04 "));
    EXPECT_EQ(r.ui.text(Box::txt16), QStringLiteral("05 06 07 08 "));
    EXPECT_EQ(r.ui.text(Box::txt17), QStringLiteral("12 34 "));
}

TEST(HopperDecoder, TurnEndsWhenAllFourCountsMatch)
{
    Rig r;
    r.ui.setText(Box::hpCount1, QStringLiteral("5"));
    r.ui.setText(Box::hpCount1, QStringLiteral("5"));
    r.engine.cmdHp1_Click(1);
    EXPECT_EQ(toHex(r.tickWire()), "73 8C 05 00 00 05 00 00 00");
    for (const char* counts : {"00 01 00 00", "00 03 00 00"}) {
        r.receive(hopperReply(counts));
        EXPECT_EQ(r.state().curDevice, device::kHopper);
        EXPECT_EQ(toHex(r.tickWire()), "72 8D") << "the hoppers keep the line";
    }
    r.receive(hopperReply("00 05 00 00"));
    EXPECT_EQ(r.state().curDevice, device::kNone);
    EXPECT_EQ(toHex(r.tickWire()), "5A A5") << "back to the alternation";
    EXPECT_EQ(toHex(r.tickWire()), "62 9D");
}

TEST(HopperDecoder, CountsCompareAsNumbers)
{
    const std::pair<const char*, bool> cases[] = {{"05", true},  {" 5 ", true}, {"5.0", true}, {"+5", true},
                                                  {"4.6", false}, {"", false},  {"abc", false}, {"261", false}};
    for (auto [text, match] : cases) {
        Rig r;
        r.address(device::kHopper);
        r.ui.setText(Box::hpCount0, QString::fromLatin1(text));
        r.receive(hopperReply("05 00 00 00"));
        EXPECT_EQ(r.state().curDevice, match ? device::kNone : device::kHopper) << text;
    }
}

TEST(HopperDecoder, HopperOnlyModeKeepsTheLine)
{
    Rig r;
    r.ui.checkBv = false;
    r.ui.coin = Coin::None;
    r.address(device::kHopper);
    r.receive(hopperReply("00 00 00 00"));
    EXPECT_EQ(r.state().curDevice, device::kHopper);
    EXPECT_EQ(toHex(r.tickWire()), "72 8D");
}

TEST(HopperDecoder, EachRecordNeedsItsCode)
{
    Rig r;
    r.address(device::kHopper);
    Bytes reply = hopperReply("00 00 00 00");
    reply[2] = 0x99; // no 0x15 record: the turn cannot end
    reply[17] = 0x00;
    r.receive(reply);
    EXPECT_TRUE(r.ui.text(Box::txt14).isEmpty());
    EXPECT_EQ(r.ui.text(Box::txt15), QStringLiteral("01 02 03 04 "));
    EXPECT_TRUE(r.ui.text(Box::txt17).isEmpty());
    EXPECT_EQ(r.state().curDevice, device::kHopper);
}
