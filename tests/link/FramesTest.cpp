#include "link/Frames.h"
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::toHex;

namespace {
std::string wire(const Frame& f) { return toHex({f.bytes().begin(), f.bytes().end()}); }
} // namespace

TEST(Frames, FixedFramesByteForByte)
{
    const std::pair<Frame, const char*> cases[] = {
        {shortFrame(0x5A), "5A A5"},
        {shortFrame(0x58), "58 A7"},
        {shortFrame(0x62), "62 9D"},
        {shortFrame(0x71), "71 8E"},
        {bvSetFrame(0x00), "5B A4 03 10 00 00 13"},
        {bvSetFrame(0xE1), "5B A4 03 10 E1 00 F2"},
        {bvSetFrame(0x02), "5B A4 03 10 02 00 11"},
        {bvReturnFrame(0x50), "5B A4 05 11 00 50 01 00 45"},
        {cmSetFrame(0x01), "63 9C 02 00 01 03"},
        {cmSetFrame(0x03), "63 9C 02 00 03 01"},
        {cmSetFrame(0x02), "63 9C 02 00 02 00"},
        {cmSetFrame(0x00), "63 9C 02 00 00 02"},
        {hpCountFrame(1, 10), "73 8C 05 00 00 0A 00 00 0F"},
        {hpCountFrame(3, 255), "73 8C 05 00 00 00 00 FF FA"},
        {hpCountFrame(0, 0), "73 8C 05 00 00 00 00 00 05"},
        {hpCountFrame(0, 7), "73 8C 05 00 07 00 00 00 02"},
    };
    for (const auto& [frame, expected] : cases)
        EXPECT_EQ(wire(frame), expected);
}

TEST(Frames, ChangeAmountInPackedDecimal)
{
    const std::pair<double, const char*> cases[] = {
        {1500, "63 9C 04 01 00 15 00 10"},
        {25, "63 9C 04 01 25 00 00 20"},
        {150, "63 9C 04 01 50 01 00 54"},
        {9999, "63 9C 04 01 99 99 00 05"},
        {1, "63 9C 04 01 01 00 00 04"},
        {99, "63 9C 04 01 99 00 00 9C"},
        {100, "63 9C 04 01 00 01 00 04"},
        {10000, "63 9C 04 01 00 00 00 05"},
        {0.5, "63 9C 04 01 00 00 00 05"},
        {0.99, "63 9C 04 01 00 00 00 05"},
        {-25, "63 9C 04 01 00 00 00 05"},
        {2147483647, "63 9C 04 01 00 00 00 05"},
        // Halves to the even neighbour, range tested on the amount as typed.
        {2.5, "63 9C 04 01 02 00 00 07"},
        {3.5, "63 9C 04 01 04 00 00 01"},
        {99.5, "63 9C 04 01 00 00 00 05"},   // N = 100 but A < 100: hi stays 00
        {100.5, "63 9C 04 01 00 01 00 04"},  // N = 100
        {9999.5, "63 9C 04 01 00 00 00 05"}, // N = 10000: both pairs 00
        {1234.4, "63 9C 04 01 34 12 00 23"},
    };
    for (const auto& [amount, expected] : cases)
        EXPECT_EQ(wire(cmChangeFrame(amount)), expected) << amount;
}

TEST(Frames, TransmitLogLineHasNoLeadingZeros)
{
    const Frame f = bvSetFrame(0x00);
    EXPECT_EQ(txLogLine(f.bytes()), QStringLiteral("5B A4 3 10 0 0 13 \r\n"));
    EXPECT_EQ(txLogLine(shortFrame(0x5A).bytes()), QStringLiteral("5A A5 \r\n"));
    EXPECT_EQ(txLogLine(hpCountFrame(1, 10).bytes()), QStringLiteral("73 8C 5 0 0 A 0 0 F \r\n"));
}
