#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;
using Coin = FakeWindow::Coin;

namespace {
void cmReply(Rig& r, const Bytes& bytes)
{
    r.address(device::kCoinMech);
    r.receive(bytes);
    ASSERT_TRUE(r.ui.rx.endsWith(u"\r\n")) << "reply was not accepted";
}
// A selector's 10-byte reply: type, length byte, 7 data bytes, check byte.
Bytes selectorReply(std::uint8_t lengthByte, const Bytes& seven)
{
    Bytes out{0x33, lengthByte};
    std::uint8_t x = lengthByte;
    for (auto b : seven) {
        out.push_back(b);
        x ^= b;
    }
    out.push_back(x);
    return out;
}
} // namespace

TEST(CoinDecoder, MechanismWalkWithBcdCounts)
{
    Rig r;
    cmReply(r, framed(0x33, hex("00 08 12 05 00 99 00 0B 20 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::Txt08), QStringLiteral("12 05 00 99 "));
    EXPECT_EQ(r.state().cmAmount, 22) << "12 + 2 x 5 + 5 x 0, kind 4 left out";
    EXPECT_EQ(r.ui.text(Box::Txt0b), QStringLiteral("20 "));
    EXPECT_EQ(r.state().cmCoinCount, (std::array<std::uint8_t, 4>{12, 5, 0, 99}));

    cmReply(r, framed(0x33, hex("00 08 1F FF 01 00 00")));
    EXPECT_EQ(r.state().cmCoinCount[0], 25) << "nibbles are not checked";
    EXPECT_EQ(r.state().cmCoinCount[1], 165);
    EXPECT_EQ(r.state().cmAmount, 25 + 330 + 5) << "replaced, not accumulated";
    r.tickWire();
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("360"));
}

TEST(CoinDecoder, WrappedWalkTakesTheLeadByteAsACode)
{
    Rig r;
    // 0x09 at the lead position: after the 0x08 record P reaches L and wraps.
    cmReply(r, framed(0x33, hex("09 08 01 00 00 00 00")));
    EXPECT_EQ(r.state().cmAmount, 1);
    EXPECT_EQ(r.ui.text(Box::Txt09), QStringLiteral("08 01 00 00 ")) << "the wrapped pass read the 0x09 record at 3";
}

TEST(CoinDecoder, LongLengthByteEndsTheWalkWithoutLeavingTheBuffer)
{
    Rig r;
    Bytes data{0x00};
    for (int rec = 0; rec < 41; ++rec) {
        const Bytes one = hex("08 01 00 00 00 00");
        data.insert(data.end(), one.begin(), one.end());
    }
    data.resize(250, 0x08);
    cmReply(r, framed(0x33, data));
    EXPECT_EQ(r.state().cmAmount, 1);
    EXPECT_EQ(r.state().rxPos, 1);
}

TEST(CoinDecoder, ChangePayoutEndsInDataClearAtTheNextCoinSlot)
{
    Rig r;
    r.ui.setText(Box::TxtCh, QStringLiteral("30"));
    r.engine.cmCmd_Click(4);
    r.tickWire();
    EXPECT_EQ(toHex(r.tickWire()), "63 9C 04 01 30 00 00 35");
    EXPECT_EQ(r.state().changeAmount, 30);

    cmReply(r, framed(0x33, hex("00 0A 10 05 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::txt0a), QStringLiteral("10 05 00 00 "));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("10"));
    EXPECT_EQ(r.state().cmCmdNo, 0);

    cmReply(r, framed(0x33, hex("00 0A 10 05 02 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("0"));
    EXPECT_EQ(r.state().changeAmount, 0);
    EXPECT_EQ(r.state().cmCmdNo, 4);
    r.tickWire();
    EXPECT_EQ(toHex(r.tickWire()), "63 9C 02 00 02 00") << "\"Data Clear\" on the wire";
    EXPECT_EQ(r.state().clearPending, 1);

    cmReply(r, framed(0x33, hex("00 0A 00 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("0")) << "no payout followed any more";
    EXPECT_EQ(r.state().cmPaidAmount, 0);
}

TEST(CoinDecoder, OverpaymentLeavesANegativeRemainder)
{
    Rig r;
    r.state().changeAmount = 30;
    cmReply(r, framed(0x33, hex("00 0A 10 05 03 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("-5"));
    EXPECT_EQ(r.state().changeAmount, 30) << "the payout stays open";
    EXPECT_EQ(r.state().cmCmdNo, 0);
}

TEST(CoinDecoder, FractionalChangeNeverCloses)
{
    Rig r;
    r.state().changeAmount = 2.5;
    cmReply(r, framed(0x33, hex("00 0A 00 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("2.5"));
    cmReply(r, framed(0x33, hex("00 0A 02 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("0.5"));
    cmReply(r, framed(0x33, hex("00 0A 03 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("-0.5"));
    EXPECT_EQ(r.state().changeAmount, 2.5);
    EXPECT_EQ(r.state().cmCmdNo, 0);
}

TEST(CoinDecoder, PaidRecordWithoutAPayoutLeavesTxtChAlone)
{
    Rig r;
    r.ui.setText(Box::TxtCh, QStringLiteral("77"));
    cmReply(r, framed(0x33, hex("00 0A 01 01 01 00 00")));
    EXPECT_EQ(r.ui.text(Box::txt0a), QStringLiteral("01 01 01 00 "));
    EXPECT_EQ(r.state().cmPaidAmount, 8);
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("77"));
}

TEST(CoinDecoder, SelectorWalkWithPlainCounts)
{
    Rig r;
    r.ui.coin = Coin::Selector;
    cmReply(r, selectorReply(0x07, hex("08 12 05 00 01 0B 05")));
    EXPECT_EQ(r.state().cmAmount, 18 + 10 + 0 + 10);
    EXPECT_EQ(r.ui.text(Box::Txt08), QStringLiteral("12 05 00 01 "));
    EXPECT_EQ(r.ui.text(Box::Txt0b), QStringLiteral("05 "));
}

TEST(CoinDecoder, SelectorStatusFirstThenTheLengthByteIsACode)
{
    Rig r;
    r.ui.coin = Coin::Selector;
    cmReply(r, selectorReply(0x08, hex("0B 44 01 02 03 04 00")));
    EXPECT_EQ(r.ui.text(Box::Txt0b), QStringLiteral("44 "));
    EXPECT_EQ(r.ui.text(Box::Txt08), QStringLiteral("0B 44 01 02 ")) << "the second pass read code 0x08 at position 2";
    EXPECT_EQ(r.state().cmAmount, 11 + 2 * 68 + 5 * 1 + 10 * 2);
}

TEST(CoinDecoder, SelectorIgnoresPaidAndInfoRecords)
{
    Rig r;
    r.ui.coin = Coin::Selector;
    r.state().changeAmount = 5;
    cmReply(r, selectorReply(0x07, hex("0A 01 00 00 00 00 00")));
    EXPECT_TRUE(r.ui.text(Box::txt0a).isEmpty());
    EXPECT_EQ(r.ui.text(Box::TxtCh), QStringLiteral("0"));
}

TEST(CoinDecoder, NoSelectorChangesNothing)
{
    Rig r;
    r.ui.coin = Coin::None;
    r.address(device::kCoinMech);
    r.receive(selectorReply(0x07, hex("08 12 05 00 01 0B 05")));
    EXPECT_TRUE(r.ui.rx.endsWith(u"\r\n"));
    EXPECT_TRUE(r.ui.text(Box::Txt08).isEmpty());
    EXPECT_EQ(r.state().cmAmount, 0);
}

TEST(CoinDecoder, ShortReplyByItsCode)
{
    Rig r;
    cmReply(r, framed(0x22, hex("0B 05 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::Txt0b), QStringLiteral("05")) << "no trailing blank in the short reply";
    cmReply(r, framed(0x22, hex("08 01 02 03 04")));
    EXPECT_EQ(r.ui.text(Box::Txt08), QStringLiteral("01 02 03 04 "));
    EXPECT_EQ(r.state().cmAmount, 0) << "the short reply changes no amount";
    cmReply(r, framed(0x22, hex("09 0A 0B 0C 0D")));
    EXPECT_EQ(r.ui.text(Box::Txt09), QStringLiteral("0A 0B 0C 0D "));
    cmReply(r, framed(0x22, hex("0A 09 09 09 09")));
    EXPECT_TRUE(r.ui.text(Box::txt0a).isEmpty());
    cmReply(r, framed(0x33, hex("00 0B 05 00 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::Txt0b), QStringLiteral("05 ")) << "the record reply keeps the blank";
}
