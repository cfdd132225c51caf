#include "Devices.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::hex;
using cmbvhp::test::Rig;
using cmbvhp::test::toHex;
using sim::Devices;
using sim::Fault;
using cmbvhp::test::Bytes;

namespace {
std::string answer(Devices& d, const char* frame) { return toHex(d.answer(hex(frame))); }

} // namespace

TEST(SimReplies, BuildersMatchTheConsolesExamples)
{
    EXPECT_EQ(toHex(sim::framedReply(0x22, hex("1B 01 00"))), "22 03 1B 01 00 19");
    EXPECT_EQ(toHex(sim::framedReply(0x33, hex("00 18 01 00 00 00"))), "33 06 00 18 01 00 00 00 1F");
    const std::uint8_t counts[] = {12, 5, 0, 99};
    EXPECT_EQ(toHex(sim::packedCount(counts)), "12 05 00 99");
}

TEST(SimReplies, ParserSplitsTheHostStream)
{
    sim::FrameParser p;
    auto frames = p.feed(hex("FF 5A A5 00 5B A4 03 10 E1"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(toHex(frames[0]), "5A A5");
    frames = p.feed(hex("00 F2 62 9D 63 9C 02 00 02 01 72"));
    ASSERT_EQ(frames.size(), 2u) << "the frame with a bad checksum is skipped";
    EXPECT_EQ(toHex(frames[0]), "5B A4 03 10 E1 00 F2");
    EXPECT_EQ(toHex(frames[1]), "62 9D");
    frames = p.feed(hex("8D"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(toHex(frames[0]), "72 8D");
}

TEST(SimReplies, BillValidatorStartupAndBills)
{
    Devices d({});
    EXPECT_EQ(answer(d, "5A A5"), "44");
    EXPECT_EQ(answer(d, "58 A7"), "11");
    EXPECT_EQ(answer(d, "5A A5"), "11") << "nothing new";
    EXPECT_EQ(answer(d, "5B A4 03 10 E1 00 F2"), "11");
    EXPECT_EQ(answer(d, "5A A5"), "22 03 1B 01 00 19") << "status: enabled";
    EXPECT_EQ(answer(d, "5A A5"), "11");
    d.insertBill(1);
    EXPECT_EQ(answer(d, "5A A5"), "33 19 00 18 00 01 00 00 00 19 00 01 00 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 13");
    EXPECT_EQ(answer(d, "5B A4 03 10 02 00 11"), "11") << "Stack";
    EXPECT_EQ(answer(d, "5A A5"), "22 03 1B 41 00 59") << "bit 6: cleared";
    EXPECT_EQ(answer(d, "59 A6").substr(0, 2), "11") << "the full status as a long reply";
}

TEST(SimReplies, CoinMechanismPaysChangeOneCoinAPoll)
{
    Devices d({});
    answer(d, "62 9D");
    answer(d, "63 9C 02 00 03 01");
    EXPECT_EQ(answer(d, "63 9C 04 01 08 00 00 0D"), "11");
    int polls = 0;
    while (d.coinMech().paidCounts[0] + 2 * d.coinMech().paidCounts[1] + 5 * d.coinMech().paidCounts[2] < 8 && polls < 10) {
        answer(d, "62 9D");
        ++polls;
    }
    EXPECT_EQ(polls, 3) << "5, 2, 1";
    EXPECT_EQ(answer(d, "62 9D"), "11") << "paid in full";
    answer(d, "63 9C 02 00 02 00");
    EXPECT_EQ(d.coinMech().paidCounts, (std::array<std::uint8_t, 4>{}));
}

TEST(SimReplies, SelectorRepliesAreTenBytes)
{
    Devices d({sim::CoinKind::Selector, {}, 1});
    answer(d, "62 9D");
    answer(d, "63 9C 02 00 01 03");
    d.insertCoin(3);
    const Bytes r = d.answer(hex("62 9D"));
    EXPECT_EQ(toHex(r), "33 07 08 00 00 00 01 0B 01 04");
}

TEST(SimReplies, HoppersCountUpToTheRequest)
{
    Devices d({});
    EXPECT_EQ(answer(d, "73 8C 05 00 00 02 00 00 07"), "11");
    EXPECT_EQ(answer(d, "72 8D"), "33 00 15 00 01 00 00 16 00 02 00 00 17 00 00 00 00 18 00 00");
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 00 02 00 00");
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 00 02 00 00") << "stays at the count";
}

TEST(SimReplies, FaultsOnTheCommandLine)
{
    Devices bad({sim::CoinKind::Mechanism, {Fault::BadCheck}, 1});
    answer(bad, "5A A5");
    answer(bad, "5B A4 03 10 E1 00 F2");
    EXPECT_EQ(answer(bad, "5A A5"), "22 03 1B 01 00 E6") << "check byte inverted";
    EXPECT_EQ(answer(bad, "5A A5"), "11") << "single bytes have no check";

    Devices quiet({sim::CoinKind::Mechanism, {Fault::Silence}, 1});
    EXPECT_EQ(answer(quiet, "5A A5"), "");
    Devices noBv({sim::CoinKind::Mechanism, {Fault::NoBillValidator}, 1});
    EXPECT_EQ(answer(noBv, "5A A5"), "");
    EXPECT_EQ(answer(noBv, "62 9D"), "44");
    Devices cut({sim::CoinKind::Mechanism, {Fault::CutShort}, 1});
    answer(cut, "5A A5");
    EXPECT_EQ(answer(cut, "73 8C 05 00 00 00 00 00 05"), "11");
    EXPECT_EQ(cut.answer(hex("72 8D")).size(), 20u);
    EXPECT_EQ(cut.answer(hex("72 8D")).size(), 10u) << "every other reply cut to half";
}

// The console's own logic against the simulated devices, reply for reply: the
// devices answer each frame before the next tick.
TEST(SimWithConsoleLogic, StartupBillsAndCoinsReachTheDisplay)
{
    Rig r;
    Devices d({});
    auto run = [&](int ticks) {
        for (int i = 0; i < ticks; ++i) {
            for (const Bytes& w : r.port->writes)
                r.receive(d.answer(w));
            r.port->writes.clear();
            r.tick();
        }
        for (const Bytes& w : r.port->writes)
            r.receive(d.answer(w));
        r.port->writes.clear();
    };
    run(20);
    EXPECT_EQ(r.state().bvSeq, 8);
    EXPECT_EQ(r.state().cmSeq, 8);
    EXPECT_EQ(r.state().bvStatFlag, kTrue);
    d.insertBill(2);
    d.insertCoin(1);
    d.insertCoin(2);
    run(4);
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("10007"));
}
