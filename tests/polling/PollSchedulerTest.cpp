#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;
using Coin = FakeWindow::Coin;

namespace {
std::vector<std::string> ticks(Rig& r, int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(toHex(r.tickWire()));
    return out;
}
using Wire = std::vector<std::string>;
} // namespace

TEST(PollScheduler, AlternatesForEachDeviceChoice)
{
    const struct {
        bool bv;
        Coin coin;
        Wire wire;
    } cases[] = {
        {true, Coin::Mechanism, {"5A A5", "62 9D", "5A A5", "62 9D"}},
        {true, Coin::Selector, {"5A A5", "62 9D", "5A A5", "62 9D"}},
        {false, Coin::Selector, {"", "62 9D", "", "62 9D"}}, // an empty slot still costs its tick
        {true, Coin::None, {"5A A5", "", "5A A5", ""}},
        {false, Coin::Mechanism, {"", "62 9D", "", "62 9D"}},
    };
    for (const auto& c : cases) {
        Rig r;
        r.ui.checkBv = c.bv;
        r.ui.coin = c.coin;
        EXPECT_EQ(ticks(r, 4), c.wire);
        EXPECT_EQ(r.state().pollTurn, 0);
    }
}

TEST(PollScheduler, EachSlotRecordsItsDeviceAndRewindsTheReceivePosition)
{
    Rig r;
    r.state().rxPos = 17;
    r.tick();
    EXPECT_EQ(r.state().curDevice, device::kBillValidator);
    EXPECT_EQ(r.state().rxPos, 1);
    r.state().rxPos = 9;
    r.tick();
    EXPECT_EQ(r.state().curDevice, device::kCoinMech);
    EXPECT_EQ(r.state().rxPos, 1);
}

TEST(PollScheduler, HopperOnlyModeServesTheHopperOnEveryTick)
{
    Rig r;
    r.ui.checkBv = false;
    r.ui.coin = Coin::None;
    r.state().curDevice = device::kHopper;
    r.state().rxPos = 5;
    EXPECT_EQ(ticks(r, 3), (Wire{"72 8D", "72 8D", "72 8D"}));
    EXPECT_EQ(r.state().pollTurn, 0) << "hopper ticks leave the alternation alone";
    EXPECT_EQ(r.state().rxPos, 5) << "sending to the hopper does not rewind";
}

TEST(PollScheduler, TwentyUnansweredIdlePollsQueueTheFullStatusRequest)
{
    Rig r;
    Wire bv;
    for (int i = 0; i < 41; ++i) {
        const std::string w = toHex(r.tickWire());
        if (r.state().curDevice == device::kBillValidator)
            bv.push_back(w);
    }
    ASSERT_EQ(bv.size(), 21u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(bv[static_cast<std::size_t>(i)], "5A A5");
    EXPECT_EQ(bv[20], "59 A6");
    EXPECT_EQ(r.state().bvLongRead, 1);
    EXPECT_EQ(r.state().cmMiss, 0) << "the coin side reached its 20th idle poll too";
    EXPECT_EQ(r.state().cmCmdNo, 6);
    EXPECT_EQ(r.state().bvMiss, 0);
}

TEST(PollScheduler, AllRequestMakesTheNextTickComeAfter300ms)
{
    Rig r;
    r.state().bvCmdNo = 6;
    EXPECT_EQ(toHex(r.tickWire()), "59 A6");
    EXPECT_EQ(r.timer.interval(), kLongReadInterval);
    EXPECT_EQ(r.state().bvLongRead, 1);
    r.tick();
    EXPECT_EQ(r.timer.interval(), kPollInterval);
    r.port->takeWire();

    r.state().hpCmdNo = 6;
    r.state().hpPending = 1;
    EXPECT_EQ(toHex(r.tickWire()), "71 8E");
    EXPECT_EQ(r.timer.interval(), kLongReadInterval);

    Rig c;
    c.state().pollTurn = -1;
    c.state().cmCmdNo = 6;
    EXPECT_EQ(toHex(c.tickWire()), "61 9E");
    EXPECT_EQ(c.state().cmLongRead, 1);
    EXPECT_EQ(c.timer.interval(), kLongReadInterval);
}

TEST(PollScheduler, RequestTablesOfBothDevices)
{
    const std::pair<int, const char*> bv[] = {{1, "58 A7"},
                                              {2, "5B A4 03 10 E1 00 F2"},
                                              {3, "5B A4 03 10 00 00 13"},
                                              {4, "5B A4 03 10 02 00 11"},
                                              {5, "5B A4 05 11 00 50 01 00 45"},
                                              {7, "5A A5"},
                                              {8, ""},
                                              {255, ""}};
    for (auto [no, wire] : bv) {
        Rig r;
        r.state().bvCmdNo = static_cast<std::uint8_t>(no);
        r.state().bvMiss = 7;
        EXPECT_EQ(toHex(r.tickWire()), wire) << no;
        EXPECT_EQ(r.state().bvCmdNo, 0);
        EXPECT_EQ(r.state().bvMiss, 0) << "a request restarts the count";
        EXPECT_EQ(r.state().clearPending, no == 4 ? 1 : 0);
    }
    const std::pair<int, const char*> cm[] = {
        {1, "60 9F"}, {3, "63 9C 02 00 00 02"}, {4, "63 9C 02 00 02 00"}, {7, "62 9D"}, {9, ""}};
    for (auto [no, wire] : cm) {
        Rig r;
        r.state().pollTurn = -1;
        r.state().cmCmdNo = static_cast<std::uint8_t>(no);
        EXPECT_EQ(toHex(r.tickWire()), wire) << no;
        EXPECT_EQ(r.state().curDevice, device::kCoinMech);
        EXPECT_EQ(r.state().clearPending, no == 4 ? 1 : 0);
    }
}

TEST(PollScheduler, CoinCremOnIsDecidedWhenSent)
{
    Rig r;
    r.state().pollTurn = -1;
    r.state().cmCmdNo = 2;
    r.ui.coin = Coin::Selector;
    EXPECT_EQ(toHex(r.tickWire()), "63 9C 02 00 01 03");
    r.state().pollTurn = -1;
    r.state().cmCmdNo = 2;
    r.ui.coin = Coin::Mechanism;
    EXPECT_EQ(toHex(r.tickWire()), "63 9C 02 00 03 01");
}

TEST(PollScheduler, HopperRequestsClaimTheNextTickAndResetBothCounters)
{
    Rig r;
    r.tickWire(); // bill validator
    r.state().bvMiss = 5;
    r.state().cmMiss = 6;
    r.ui.setText(Box::hpCount1, QStringLiteral("10"));
    r.state().hpCmdNo = 2;
    r.state().hpPending = 1;
    EXPECT_EQ(toHex(r.tickWire()), "73 8C 05 00 00 0A 00 00 0F") << "whatever device was due";
    EXPECT_EQ(r.state().bvMiss, 0);
    EXPECT_EQ(r.state().cmMiss, 0);
    EXPECT_EQ(r.state().hpPending, 0);
    EXPECT_EQ(r.state().hpCmdNo, 0);
    EXPECT_EQ(ticks(r, 2), (Wire{"72 8D", "72 8D"})) << "the hoppers keep the line";
    EXPECT_EQ(r.state().pollTurn, -1) << "the coin slot is still next";

    r.state().hpCmdNo = 5;
    r.state().hpPending = 1;
    EXPECT_EQ(toHex(r.tickWire()), "72 8D");
}

TEST(PollScheduler, IdleHopperPollDoesNotResetTheCounters)
{
    Rig r;
    r.state().curDevice = device::kHopper;
    r.state().bvMiss = 5;
    r.tick();
    EXPECT_EQ(r.state().bvMiss, 5);
}

TEST(PollScheduler, TotalIsShownOnEveryTickEvenWhenNothingIsSent)
{
    Rig r;
    r.ui.checkBv = false;
    r.state().bvAmount = 10060;
    r.state().cmAmount = 22;
    r.tick();
    EXPECT_TRUE(r.port->writes.empty());
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("10082"));
    r.state().bvAmount = 0;
    r.state().cmAmount = 0;
    r.tick();
    EXPECT_EQ(r.ui.text(Box::txtamount), QStringLiteral("0"));
}

TEST(PollScheduler, PendingRequestOfAnAbsentDeviceWaitsForItsReturn)
{
    Rig r;
    r.ui.checkBv = false;
    r.state().bvCmdNo = 2;
    ticks(r, 4);
    EXPECT_EQ(r.state().bvCmdNo, 2);
    r.ui.checkBv = true;
    EXPECT_EQ(toHex(r.tickWire()), "5B A4 03 10 E1 00 F2");
}

