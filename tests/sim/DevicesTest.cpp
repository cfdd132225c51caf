#include "Devices.h"
#include "Options.h"
#include "Output.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

#include <clocale>

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

namespace {
// A coin device through its start-up: power-up, then taking coins.
void coinUp(Devices& d, const char* cremOn)
{
    answer(d, "62 9D");
    answer(d, cremOn);
}
int paidAmount(const Devices& d)
{
    const auto& p = d.coinMech().paidCounts;
    return p[0] + 2 * p[1] + 5 * p[2];
}
} // namespace

TEST(SimReplies, CoinStatusChangesAnswerWithAShortReply)
{
    Devices d({});
    coinUp(d, "63 9C 02 00 03 01");
    EXPECT_EQ(answer(d, "62 9D"), "22 07 0B 01 00 00 00 00 00 0D") << "after Crem On";
    EXPECT_EQ(answer(d, "62 9D"), "11");
    d.toggleCoinError();
    EXPECT_EQ(answer(d, "62 9D"), "22 07 0B 03 00 00 00 00 00 0F") << "the terminal's key";
    EXPECT_EQ(answer(d, "63 9C 02 00 00 02"), "11");
    EXPECT_EQ(answer(d, "62 9D"), "22 07 0B 02 00 00 00 00 00 0E") << "after Crem Off";
    EXPECT_EQ(answer(d, "63 9C 02 00 00 02"), "11");
    EXPECT_EQ(answer(d, "62 9D"), "11") << "no change, no reply";

    Devices s({sim::CoinKind::Selector, {}, 1});
    coinUp(s, "63 9C 02 00 01 03");
    EXPECT_EQ(answer(s, "62 9D"), "22 07 0B 01 00 00 00 00 00 0D") << "ten bytes, as the selector's replies";
    s.insertCoin(3);
    EXPECT_EQ(answer(s, "62 9D"), "33 07 08 00 00 00 01 0B 01 04");
}

TEST(SimReplies, ChangeIsPaidWithTheLargestCoinThatFitsUntilNoneIsLeft)
{
    const struct {
        const char* frame;
        int paid;
        int replies; // record replies: one per coin that moved a count
    } cases[] = {
        {"63 9C 04 01 08 00 00 0D", 8, 3},     // 5, 2, 1
        {"63 9C 04 01 00 15 00 10", 792, 297}, // 1500: 99 of each kind, then out of coins
    };
    for (const auto& c : cases) {
        Devices d({});
        coinUp(d, "63 9C 02 00 03 01");
        answer(d, "62 9D");
        EXPECT_EQ(answer(d, c.frame), "11");
        int records = 0;
        for (int poll = 0; poll < 400; ++poll)
            records += answer(d, "62 9D").starts_with("33");
        EXPECT_EQ(paidAmount(d), c.paid) << c.frame;
        EXPECT_EQ(records, c.replies) << c.frame;
        EXPECT_EQ(answer(d, "63 9C 02 00 02 00"), "11");
        EXPECT_EQ(paidAmount(d), 0) << "Data Clear";
    }
}

TEST(SimReplies, HoppersPayTowardTheirOwnCounts)
{
    Devices d({});
    EXPECT_EQ(answer(d, "73 8C 05 00 02 00 00 00 07"), "11");
    EXPECT_EQ(answer(d, "72 8D"), "33 00 15 01 00 00 00 16 02 00 00 00 17 00 00 00 00 18 00 00");
    EXPECT_EQ(answer(d, "73 8C 05 00 00 03 00 00 06"), "11") << "00 for hopper 1: its request stands";
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 02 01 00 00");
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 02 02 00 00");
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 02 03 00 00");
    EXPECT_EQ(answer(d, "72 8D").substr(0, 20), "33 00 15 02 03 00 00") << "both stay at their counts";

    Devices empty({sim::CoinKind::Mechanism, {Fault::HoppersEmpty}, 1});
    answer(empty, "73 8C 05 00 02 00 00 00 07");
    EXPECT_EQ(answer(empty, "72 8D").substr(0, 20), "33 00 15 00 00 00 00") << "empty: the counts stay";
}

TEST(SimOptions, NumbersTakeThePointAndBadOptionsAreRefused)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const std::vector<std::string> good{"--coin-every", "0.5", "--bill-every", "2", "--fault", "empty", "--coin", "selector", "--quiet"};
    const auto c = sim::parseCommandLine(good);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->coinEvery, 0.5);
    EXPECT_EQ(c->billEvery, 2);
    EXPECT_EQ(c->devices.faults, std::set<Fault>{Fault::HoppersEmpty});
    EXPECT_EQ(c->devices.coin, sim::CoinKind::Selector);
    EXPECT_TRUE(c->quiet);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--coin-every", "0,5"}, {"--bill-every", "-1"}, {"--fault", "nope"}, {"--coin", "x"},
          {"--link"}, {"--seed", "12a"}, {"--frob", "1"}})
        EXPECT_FALSE(sim::parseCommandLine(bad)) << bad[0];
}

TEST(SimOutput, ShortWritesAreCompletedAndWhatDoesNotFitIsDroppedWhole)
{
    sim::OutputQueue q(8);
    Bytes line;
    std::size_t room = 3;
    auto write = [&](std::span<const std::uint8_t> b) {
        const std::size_t n = std::min(room, b.size());
        line.insert(line.end(), b.begin(), b.begin() + static_cast<long>(n));
        return n;
    };
    EXPECT_TRUE(q.push(hex("22 03 1B 01 00 19")));
    EXPECT_EQ(q.flush(write), 3u);
    EXPECT_FALSE(q.push(hex("33 06 00 18 01 00 00 00 1F"))) << "3 waiting + 9 > 8";
    EXPECT_TRUE(q.push(hex("11")));
    room = 0;
    EXPECT_EQ(q.flush(write), 0u) << "the line takes nothing: nothing is lost";
    room = 100;
    q.flush(write);
    EXPECT_EQ(toHex(line), "22 03 1B 01 00 19 11");
    EXPECT_EQ(q.droppedBytes(), 9u);
    EXPECT_TRUE(q.empty());
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
