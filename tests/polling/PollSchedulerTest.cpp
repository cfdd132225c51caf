// Timer1_Timer: what each tick puts on the wire, and the state it leaves.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(PollScheduler, SlotsAlternateForEachDeviceChoice)
{
    runCases({
        {"tick*4", "wire=5A A5 / 62 9D / 5A A5 / 62 9D; pollTurn=0"},
        {"coin=slt; tick*4", "wire=5A A5 / 62 9D / 5A A5 / 62 9D"},
        // An empty slot is not skipped: it costs its tick.
        {"checkBv=0; coin=slt; tick*4", "wire=62 9D / 62 9D; pollTurn=0"},
        {"coin=none; tick*3", "wire=5A A5 / 5A A5; pollTurn=-1"},
        {"checkBv=0; tick*2", "wire=62 9D"},
        // Each slot records its device and rewinds the receive position.
        {"rxPos=17; tick", "curDevice=1; rxPos=1"},
        {"tick; rxPos=9; tick", "curDevice=2; rxPos=1"},
        // The total is shown on every tick, also when nothing is sent.
        {"checkBv=0; bvAmount=10060; cmAmount=22; tick", "wire=; txtamount=10082; interval=100"},
        {"txtamount=5; tick", "txtamount=0"},
    });
}

TEST(PollScheduler, RequestsOfBothDevicesAndWhatTheyLeave)
{
    runCases({
        {"bvMiss=7; cmMiss=5; bvCmdNo=1; tick", "wire=58 A7; bvCmdNo=0; bvMiss=0; cmMiss=5; clearPending=0"},
        {"bvCmdNo=2; tick", "wire=5B A4 03 10 E1 00 F2"},
        {"bvCmdNo=3; tick", "wire=5B A4 03 10 00 00 13"},
        {"bvCmdNo=4; tick", "wire=5B A4 03 10 02 00 11; clearPending=1"},
        {"bvCmdNo=5; tick", "wire=5B A4 05 11 00 50 01 00 45"},
        {"bvCmdNo=6; tick", "wire=59 A6; bvLongRead=1; interval=300"},
        {"bvCmdNo=6; tick*2", "interval=100"},
        {"bvCmdNo=7; tick", "wire=5A A5; bvMiss=0"},
        {"bvMiss=7; bvCmdNo=8; tick", "wire=; bvCmdNo=0; bvMiss=0; curDevice=1"},
        {"pollTurn=-1; bvMiss=7; cmMiss=5; cmCmdNo=1; tick", "wire=60 9F; cmCmdNo=0; cmMiss=0; bvMiss=7; curDevice=2"},
        {"pollTurn=-1; cmCmdNo=2; tick", "wire=63 9C 02 00 03 01"},
        {"pollTurn=-1; cmCmdNo=2; coin=slt; tick", "wire=63 9C 02 00 01 03"},
        {"pollTurn=-1; cmCmdNo=3; tick", "wire=63 9C 02 00 00 02"},
        {"pollTurn=-1; cmCmdNo=4; tick", "wire=63 9C 02 00 02 00; clearPending=1"},
        {"pollTurn=-1; TxtCh=8; cmCmdNo=5; tick", "wire=63 9C 04 01 08 00 00 0D; changeAmount=8"},
        {"pollTurn=-1; cmCmdNo=6; tick", "wire=61 9E; cmLongRead=1; interval=300"},
        {"pollTurn=-1; cmCmdNo=7; tick", "wire=62 9D"},
        {"pollTurn=-1; cmMiss=3; cmCmdNo=9; tick", "wire=; cmCmdNo=0; cmMiss=0"},
    });
}

TEST(PollScheduler, TwentyUnansweredIdlePollsBringTheFullStatusRequest)
{
    runCases({
        {"tick*37", "bvMiss=19; cmMiss=18; bvCmdNo=0"},
        {"tick*39", "bvMiss=0; bvCmdNo=6; cmMiss=19"},
        {"tick*41", "frames=41; last=59 A6; bvLongRead=1; interval=300; cmMiss=0; cmCmdNo=6; bvMiss=0"},
        {"tick*42", "last=61 9E; cmLongRead=1"},
    });
}

TEST(PollScheduler, HoppersTakeTheNextTickAndKeepTheLine)
{
    runCases({
        {"tick; bvMiss=5; cmMiss=6; hpCount1=10; hpCmdNo=2; hpPending=1; tick*3",
         "wire=5A A5 / 73 8C 05 00 00 0A 00 00 0F / 72 8D / 72 8D; bvMiss=0; cmMiss=0; hpPending=0; hpCmdNo=0; pollTurn=-1"},
        {"hpCmdNo=5; hpPending=1; tick", "wire=72 8D; curDevice=4"},
        {"hpCmdNo=6; hpPending=1; tick", "wire=71 8E; interval=300"},
        // Outside 1 ... 6: nothing is sent, and both counters restart all the same.
        {"bvMiss=5; cmMiss=6; hpCmdNo=7; hpPending=1; tick", "wire=; bvMiss=0; cmMiss=0; hpCmdNo=0; curDevice=4"},
        // The idle hopper poll restarts no counter and leaves the receive position.
        {"curDevice=4; bvMiss=5; rxPos=5; tick", "wire=72 8D; bvMiss=5; rxPos=5"},
        {"checkBv=0; coin=none; curDevice=4; tick*3", "wire=72 8D / 72 8D / 72 8D; pollTurn=0"},
    });
}

TEST(PollScheduler, PendingRequestOfAnAbsentDeviceWaitsForItsReturn)
{
    runCases({
        {"checkBv=0; bv 1; tick*4; checkBv=1; tick", "wire=62 9D / 62 9D / 5B A4 03 10 E1 00 F2; bvCmdNo=0"},
        {"coin=none; cm 0; tick*4; coin=cm; tick*2", "wire=5A A5 / 5A A5 / 5A A5 / 60 9F; cmCmdNo=0"},
    });
}
