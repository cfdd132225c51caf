#include "support/Rig.h"

#include <gtest/gtest.h>

#include <random>

using namespace cmbvhp;
using namespace cmbvhp::test;
using Coin = FakeWindow::Coin;

TEST(ReceiveFramer, BillValidatorShortReplyIsAcceptedOnItsCheckByte)
{
    Rig r;
    r.address(device::kBillValidator);
    r.state().bvMiss = 9;
    r.receive(hex("22 03 1B 01 00 19"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("22 03 1B 01 00 19 \r\n"));
    EXPECT_EQ(r.state().bvMiss, 0);
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("01 00 ")) << "decodeBvShortReply ran";
    EXPECT_EQ(r.state().rxPos, 1);
}

TEST(ReceiveFramer, BadCheckByteIsConsumedWithoutATrace)
{
    Rig r;
    r.address(device::kBillValidator);
    r.state().bvMiss = 9;
    r.receive(hex("22 03 1B 01 00 18"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("22 03 1B 01 00 18 ")) << "no line end";
    EXPECT_EQ(r.state().bvMiss, 9);
    EXPECT_TRUE(r.ui.text(Box::txt1b).isEmpty());
    EXPECT_EQ(r.state().rxPos, 1);
    // The next reply continues on the same log line and is framed normally.
    r.receive(hex("22 03 1B 01 00 19"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("22 03 1B 01 00 18 22 03 1B 01 00 19 \r\n"));
}

TEST(ReceiveFramer, LengthZeroIsNeverAccepted)
{
    Rig r;
    r.address(device::kBillValidator);
    r.receive(hex("33 00 00"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("33 00 00 "));
    EXPECT_EQ(r.state().rxPos, 1);
    r.receive(hex("22 00 FF"));
    EXPECT_EQ(r.state().rxPos, 1);
    EXPECT_FALSE(r.ui.rx.endsWith(u"\r\n"));
}

TEST(ReceiveFramer, RepliesSplitAcrossNotificationsOrSharingOne)
{
    const Bytes two = [] {
        Bytes a = hex("22 03 1B 01 00 19");
        const Bytes b = framed(0x33, hex("00 18 01 00 00 00"));
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }();
    for (std::size_t piece : {1u, 2u, 5u, 100u}) {
        Rig r;
        r.address(device::kBillValidator);
        r.port->feedSplit(two, piece);
        EXPECT_EQ(r.ui.rx, QStringLiteral("22 03 1B 01 00 19 \r\n33 06 00 18 01 00 00 00 1F \r\n")) << piece;
        EXPECT_EQ(r.state().bvAmount, 10) << piece;
        EXPECT_EQ(r.state().rxPos, 1);
    }
}

TEST(ReceiveFramer, UnknownFirstByteAndUnaddressedBytesKeepThePosition)
{
    Rig r;
    r.address(device::kBillValidator);
    r.receive(hex("55 66"));
    EXPECT_EQ(r.state().rxPos, 1);
    EXPECT_EQ(r.state().rxBuf(1), 0x66) << "the next byte replaced it";
    r.receive(hex("22 03 1B 01 00 19"));
    EXPECT_TRUE(r.ui.rx.endsWith(u"\r\n"));

    Rig n;
    n.state().curDevice = device::kNone;
    n.receive(hex("22 03 1B 01 00 19"));
    EXPECT_EQ(n.ui.rx, QStringLiteral("22 03 1B 01 00 19 "));
    EXPECT_EQ(n.state().rxPos, 1);
    EXPECT_EQ(n.state().rxBuf(1), 0x19);
}

TEST(ReceiveFramer, CutShortReplyIsContinuedUntilTheNextSendRewinds)
{
    Rig r;
    r.address(device::kBillValidator);
    r.receive(hex("22 03 1B"));
    EXPECT_EQ(r.state().rxPos, 4);
    r.receive(hex("01 00 19"));
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("01 00 "));

    r.receive(hex("22 03 1B 40"));
    r.tickWire(); // the bill validator's slot: rewinds
    EXPECT_EQ(r.state().rxPos, 1);
}

TEST(ReceiveFramer, SingleByteRepliesDriveTheBillValidatorStartup)
{
    Rig r;
    r.address(device::kBillValidator);
    r.receive(hex("44"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("44 \r\n"));
    EXPECT_EQ(r.state().curDevice, device::kNone);
    EXPECT_EQ(r.state().bvCmdNo, 1);
    EXPECT_EQ(r.state().bvSeq, 1);

    const std::pair<int, int> steps[] = {{7, 2}, {2, 4}, {7, 8}};
    for (auto [cmdNo, seq] : steps) {
        r.address(device::kBillValidator);
        r.receive(hex("11"));
        EXPECT_EQ(r.state().bvCmdNo, cmdNo);
        EXPECT_EQ(r.state().bvSeq, seq);
        EXPECT_EQ(r.state().curDevice, device::kNone);
    }
    // At the last step a 0x11 restarts the timer only once the status flag is set.
    r.timer.setEnabled(false);
    r.address(device::kBillValidator);
    r.receive(hex("11"));
    EXPECT_FALSE(r.timer.isEnabled());
    r.state().bvStatFlag = kTrue;
    r.state().pollTurn = 0;
    r.timer.setInterval(kLongReadInterval);
    r.address(device::kBillValidator);
    r.receive(hex("11"));
    EXPECT_TRUE(r.timer.isEnabled());
    EXPECT_EQ(r.timer.interval(), kPollInterval);
    EXPECT_EQ(r.state().pollTurn, -1);
    EXPECT_EQ(r.state().bvSeq, 8);

    // Any 0x44 restarts the sequence.
    r.address(device::kBillValidator);
    r.receive(hex("44"));
    EXPECT_EQ(r.state().bvSeq, 1);
    EXPECT_EQ(r.state().bvCmdNo, 1);
}

TEST(ReceiveFramer, CoinStartupHasNoTimerStep)
{
    Rig r;
    r.state().bvStatFlag = kTrue;
    const std::tuple<const char*, int, int> steps[] = {{"44", 1, 1}, {"11", 7, 2}, {"11", 2, 4}, {"11", 7, 8}, {"11", 7, 8}};
    for (auto [reply, cmdNo, seq] : steps) {
        r.address(device::kCoinMech);
        r.state().pollTurn = 0;
        r.receive(hex(reply));
        EXPECT_EQ(r.state().cmCmdNo, cmdNo);
        EXPECT_EQ(r.state().cmSeq, seq);
        EXPECT_EQ(r.state().pollTurn, 0);
    }
}

TEST(ReceiveFramer, StartupSequenceRunsOverTheWire)
{
    // The bill validator answers every frame; 0x44 mid-way starts it again.
    Rig r;
    r.ui.coin = Coin::None;
    auto bvSlot = [&](const char* reply) {
        std::string sent;
        do {
            sent = toHex(r.tickWire());
        } while (sent.empty() || r.state().curDevice != device::kBillValidator);
        r.receive(hex(reply));
        return sent;
    };
    EXPECT_EQ(bvSlot("44"), "5A A5");
    EXPECT_EQ(bvSlot("11"), "58 A7");
    EXPECT_EQ(bvSlot("44"), "5A A5") << "BV Data queued, then the device powers up again";
    EXPECT_EQ(bvSlot("11"), "58 A7");
    EXPECT_EQ(bvSlot("11"), "5A A5");
    EXPECT_EQ(bvSlot("22 03 1B 01 00 19"), "5B A4 03 10 E1 00 F2");
    EXPECT_EQ(r.state().bvStatFlag, kTrue);
    EXPECT_EQ(r.state().bvSeq, 4) << "a framed reply does not advance the sequence";
    EXPECT_EQ(bvSlot("11"), "5A A5");
    EXPECT_EQ(bvSlot("11"), "5A A5");
    EXPECT_EQ(r.state().bvSeq, 8);
    EXPECT_EQ(r.state().pollTurn, -1) << "the timer restart gave the coin slot the next turn";
}

TEST(ReceiveFramer, BillValidatorLongRead)
{
    Rig r;
    r.address(device::kBillValidator);
    r.state().bvLongRead = 1;
    r.state().bvMiss = 4;
    r.receive(framed(0x11, hex("00 18 01 00 00 00")));
    EXPECT_EQ(r.state().bvLongRead, 0);
    EXPECT_EQ(r.state().bvAmount, 10) << "decodeBvReply ran on the 0x11 long reply";
    EXPECT_EQ(r.state().bvMiss, 4) << "a long read does not clear the miss counter";
    EXPECT_TRUE(r.ui.rx.endsWith(u"\r\n"));

    Rig bad;
    bad.address(device::kBillValidator);
    bad.state().bvLongRead = 1;
    Bytes reply = framed(0x11, hex("00 18 01 00 00 00"));
    reply.back() ^= 0xFF;
    bad.receive(reply);
    EXPECT_EQ(bad.state().bvLongRead, 0) << "cleared at the end all the same";
    EXPECT_EQ(bad.state().bvAmount, 0);
    EXPECT_FALSE(bad.ui.rx.endsWith(u"\r\n"));

    Rig lone;
    lone.address(device::kBillValidator);
    lone.state().bvLongRead = 1;
    lone.receive(hex("11"));
    EXPECT_EQ(lone.state().bvSeq, 0) << "a lone 0x11 is no acknowledgement in a long read";
    EXPECT_EQ(lone.state().rxPos, 2) << "the next byte is its length";

    Rig other;
    other.address(device::kBillValidator);
    other.state().bvLongRead = 1;
    other.receive(framed(0x33, hex("00 18 01 00 00 00")));
    EXPECT_EQ(other.state().bvAmount, 0) << "accepted but not decoded";
    EXPECT_TRUE(other.ui.rx.endsWith(u"\r\n"));
}

TEST(ReceiveFramer, CoinSideLengthDependsOnTheCoinChoice)
{
    // With "Selector" a 0x33 reply is 10 bytes whatever its length byte says.
    Rig s;
    s.ui.coin = Coin::Selector;
    s.address(device::kCoinMech);
    Bytes reply = hex("33 02 08 01 02 03 04 0B 05");
    std::uint8_t x = 0;
    for (std::size_t i = 1; i < reply.size(); ++i)
        x ^= reply[i];
    reply.push_back(x);
    s.receive(reply);
    EXPECT_TRUE(s.ui.rx.endsWith(u"\r\n"));
    EXPECT_EQ(s.ui.text(Box::Txt08), QStringLiteral("01 02 03 04 "));
    EXPECT_EQ(s.state().rxPos, 1);

    // With "Coin Mechanism" the length comes from position 2.
    Rig m;
    m.address(device::kCoinMech);
    m.receive(framed(0x33, hex("00 08 12 05 00 99 00")));
    EXPECT_EQ(m.state().cmAmount, 22);
    EXPECT_EQ(m.state().cmMiss, 0);
    EXPECT_EQ(m.state().rxPos, 1);
}

TEST(ReceiveFramer, CoinLongReadDecodesByTheCoinChoice)
{
    Rig m;
    m.address(device::kCoinMech);
    m.state().cmLongRead = 1;
    m.receive(framed(0x11, hex("00 08 12 05 00 99 00")));
    EXPECT_EQ(m.state().cmAmount, 22);
    EXPECT_EQ(m.state().cmLongRead, 0);

    Rig s;
    s.ui.coin = Coin::Selector;
    s.address(device::kCoinMech);
    s.state().cmLongRead = 1;
    s.receive(framed(0x33, hex("08 01 02 03 04 0B 05")));
    EXPECT_EQ(s.state().cmAmount, 1 + 4 + 15 + 40);

    Rig n;
    n.ui.coin = Coin::Selector;
    n.address(device::kCoinMech);
    n.state().cmLongRead = 1;
    n.receive(framed(0x11, hex("08 01 02 03 04 0B 05")));
    EXPECT_EQ(n.state().cmAmount, 0) << "a selector's 0x11 long reply is not decoded";
}

TEST(ReceiveFramer, HopperReplies)
{
    Rig r;
    r.address(device::kHopper);
    Bytes reply = hex("33 00 15 00 00 00 00 16 01 02 03 04 17 05 06 07 08 18 12 34");
    ASSERT_EQ(reply.size(), 20u);
    r.receive(reply);
    EXPECT_EQ(r.ui.rx, QStringLiteral("33 00 15 00 00 00 00 16 01 02 03 04 17 05 06 07 08 18 12 34 \r\n"));
    EXPECT_EQ(r.ui.text(Box::txt17), QStringLiteral("12 34 "));
    EXPECT_EQ(r.state().curDevice, device::kNone) << "counts matched: the line is handed back";
    EXPECT_EQ(r.state().rxPos, 1);

    Rig one;
    one.address(device::kHopper);
    one.receive(hex("06"));
    EXPECT_EQ(one.ui.rx, QStringLiteral("06 \r\n"));
    EXPECT_EQ(one.state().curDevice, device::kHopper);
}

TEST(ReceiveFramer, ViewsOtherThanHexOnlyLog)
{
    Rig r;
    r.address(device::kBillValidator);
    r.gblFlag().viewMode = 1;
    r.receive(hex("41 00 0D 0A 22"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("A \u2400 \u240D \u240A \" "));
    EXPECT_EQ(r.state().rxBuf(1), 0) << "nothing stored";
    r.ui.rx.clear();
    r.gblFlag().viewMode = 2;
    r.receive(hex("41 05 FF 00 0A 64"));
    EXPECT_EQ(r.ui.rx, QStringLiteral("65 5 255 0 10 100 "));
    EXPECT_EQ(r.state().rxPos, 1);
}

TEST(ReceiveFramer, ReplyCutByAViewSwitchContinuesInHex)
{
    Rig r;
    r.address(device::kBillValidator);
    r.receive(hex("22 03 1B"));
    r.gblFlag().viewMode = 2;
    r.receive(hex("99 98"));
    r.gblFlag().viewMode = 0;
    r.receive(hex("01 00 19"));
    EXPECT_EQ(r.ui.text(Box::txt1b), QStringLiteral("01 00 "));
}

TEST(ReceiveFramer, PositionWrapsAt1024)
{
    Rig r;
    r.state().curDevice = device::kBillValidator;
    r.state().rxPos = 1024;
    r.receive(hex("AB"));
    EXPECT_EQ(r.state().rxBuf(1024), 0xAB);
    EXPECT_EQ(r.state().rxPos, 1);
}

// Whatever arrives, in whatever state, the framer stays inside rxBuf and every
// handler returns. Run under the sanitizers in CI.
TEST(ReceiveFramer, RandomStreamsInAnyState)
{
    std::mt19937 rng(20261207);
    auto byte = [&] { return static_cast<std::uint8_t>(rng() & 0xFF); };
    for (int round = 0; round < 400; ++round) {
        Rig r;
        r.ui.coin = static_cast<Coin>(rng() % 3);
        r.ui.checkBv = rng() % 2;
        WindowState& s = r.state();
        const std::uint8_t devices[] = {0, 1, 2, 4, 3, 200};
        s.curDevice = devices[rng() % 6];
        s.rxPos = static_cast<std::int16_t>(1 + rng() % 1024);
        s.rxLen = byte();
        s.rxXor = byte();
        s.bvLongRead = rng() % 2;
        s.cmLongRead = rng() % 2;
        s.bvSeq = byte();
        s.cmSeq = byte();
        s.clearPending = rng() % 2;
        s.changeAmount = (rng() % 3) ? 0 : double(rng() % 100);
        for (int i = 1; i <= RxBuffer::kSize; ++i)
            s.rxBuf.set(i, byte());
        for (int burst = 0; burst < 20; ++burst) {
            Bytes b(rng() % 300);
            for (auto& x : b)
                x = (rng() % 4 == 0) ? 0x33 : byte();
            r.port->feedSplit(b, 1 + rng() % 40);
            if (rng() % 3 == 0)
                r.tickWire();
            r.gblFlag().viewMode = static_cast<std::int16_t>(rng() % 10 == 0 ? rng() % 3 : 0);
            ASSERT_GE(s.rxPos, 1);
            ASSERT_LE(s.rxPos, RxBuffer::kSize);
        }
    }
}
