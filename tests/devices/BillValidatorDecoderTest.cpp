#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
// A reply from the bill validator, through the framer.
void bvReply(Rig& r, const Bytes& bytes)
{
    r.address(device::kBillValidator);
    r.receive(bytes);
    ASSERT_TRUE(r.ui.rx.endsWith(u"\r\n")) << "reply was not accepted";
}
} // namespace

TEST(BillValidatorDecoder, BillsLatchAndAddUp)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 18 01 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::txt18), QStringLiteral("01 00 00 00 "));
    EXPECT_EQ(r.state().bvBill1, 10);
    EXPECT_EQ(r.state().bvAmount, 10);

    bvReply(r, framed(0x33, hex("00 18 00 01 00 00")));
    EXPECT_EQ(r.state().bvBill2, 50);
    EXPECT_EQ(r.state().bvAmount, 60);

    bvReply(r, framed(0x33, hex("00 18 00 00 01 00")));
    EXPECT_EQ(r.state().bvAmount, 10060);

    bvReply(r, framed(0x33, hex("00 18 01 00 00 00")));
    EXPECT_EQ(r.state().bvAmount, 10060) << "a latch does not add twice";
    r.tickWire();
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("10060"));
}

TEST(BillValidatorDecoder, OnlyTheFirstSetBitOfARecordCounts)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 18 01 01 01 00")));
    EXPECT_EQ(r.state().bvBill1, 10);
    EXPECT_EQ(r.state().bvBill2, 0);
    EXPECT_EQ(r.state().bvBill3, 0);
    EXPECT_EQ(r.state().bvAmount, 10);
}

TEST(BillValidatorDecoder, CountsRecordOfZerosClearsTheBills)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 18 00 01 00 00")));
    bvReply(r, framed(0x33, hex("00 19 00 00 00 FF")));
    EXPECT_EQ(r.ui.text(Box::txt19), QStringLiteral("00 00 00 FF "));
    EXPECT_EQ(r.state().bvBill2, 0);
    EXPECT_EQ(r.state().bvAmount, 0);

    bvReply(r, framed(0x33, hex("00 18 00 01 00 00")));
    bvReply(r, framed(0x33, hex("00 19 00 00 01 00")));
    EXPECT_EQ(r.state().bvAmount, 50) << "not all three zero: nothing cleared";
}

TEST(BillValidatorDecoder, WalkOfSixRecordsInOneReply)
{
    Rig r;
    // Records at 4, 10, 16: 18, 19, 1A; then P = 19 >= N = 19 wraps to 0 and the
    // next pass reads position 3, here 0x1B, whose data are positions 4 and 5.
    bvReply(r, framed(0x33, hex("1B 18 00 01 00 00 EE 19 01 02 03 04 EE 1A 0A 0B 0C 0D EE")));
    EXPECT_EQ(r.ui.text(Box::txt18), QStringLiteral("00 01 00 00 "));
    EXPECT_EQ(r.ui.text(Box::txt19), QStringLiteral("01 02 03 04 "));
    EXPECT_EQ(r.ui.text(Box::txt1a), QStringLiteral("0A 0B 0C 0D "));
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("18 00 ")) << "the wrapped walk read the lead byte as a code";
    EXPECT_EQ(r.state().bvAmount, 50);
}

TEST(BillValidatorDecoder, StatusRecordOrUnknownCodeEndsTheWalk)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 1B 05 06 00 00 00 18 01 00 00 00")));
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("05 06 "));
    EXPECT_TRUE(r.ui.text(Box::txt18).isEmpty()) << "the record after 0x1B is never reached";

    bvReply(r, framed(0x33, hex("00 1C 05 06 00 00 00 18 01 00 00 00")));
    EXPECT_TRUE(r.ui.text(Box::txt18).isEmpty());
    EXPECT_EQ(r.state().bvAmount, 0);
}

TEST(BillValidatorDecoder, ShortWalkReadsWhatALongerReplyLeftBehind)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 19 01 01 01 01")));
    // N = 2: the record's data bytes are the check byte (1A) and three bytes the
    // reply before left at positions 6 to 8.
    bvReply(r, framed(0x33, hex("00 18")));
    EXPECT_EQ(r.ui.text(Box::txt18), QStringLiteral("1A 01 01 01 "));
    EXPECT_EQ(r.state().bvAmount, 50);
}

TEST(BillValidatorDecoder, ShortReplySetsTheStatusFlagAndStartsTheTimer)
{
    Rig r;
    r.timer.setEnabled(false);
    bvReply(r, hex("22 03 1B 01 00 19"));
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("01 00 "));
    EXPECT_EQ(r.state().bvStatFlag, kTrue);
    EXPECT_TRUE(r.timer.isEnabled());

    bvReply(r, hex("22 03 1B 00 00 18"));
    EXPECT_EQ(r.state().bvStatFlag, kFalse);

    r.timer.setEnabled(false);
    bvReply(r, hex("22 03 1C 01 00 1E"));
    EXPECT_EQ(r.state().bvStatFlag, kFalse) << "only a 0x1B record counts";
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("00 00 "));
    EXPECT_TRUE(r.timer.isEnabled()) << "whatever the record";
}

TEST(BillValidatorDecoder, StackIsConfirmedByBit6OfTheStatus)
{
    Rig r;
    bvReply(r, framed(0x33, hex("00 18 01 00 00 00")));
    bvReply(r, hex("22 03 1B 01 00 19"));
    r.engine.bvCmd_Click(3);
    EXPECT_EQ(toHex(r.tickWire()), "5B A4 03 10 02 00 11");
    EXPECT_EQ(r.state().clearPending, 1);

    bvReply(r, hex("22 03 1B 00 00 18"));
    EXPECT_EQ(r.state().bvAmount, 10) << "bit 6 clear: not yet";
    EXPECT_EQ(r.state().bvStatFlag, kTrue) << "the flag waits while the stack is pending";

    bvReply(r, hex("22 03 1B 40 00 58"));
    EXPECT_EQ(r.state().bvAmount, 0);
    EXPECT_EQ(r.state().bvBill1, 0);
    EXPECT_EQ(r.state().clearPending, 0);
    EXPECT_EQ(r.state().bvStatFlag, kTrue);
}

