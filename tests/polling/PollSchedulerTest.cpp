// Timer1_Timer and the command buttons: a click records a request, and each
// tick puts at most one frame on the wire: exact bytes and the state left.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(PollScheduler, SlotsAlternateForEachDeviceChoiceAndSilenceBringsTheFullStatusRequest)
{
    runCases({
        {"tick*4", "wire=5A A5 / 62 9D / 5A A5 / 62 9D; pollTurn=0"},
        // An empty slot is not skipped: it costs its tick.
        {"checkBv=0; coin=slt; tick*4", "wire=62 9D / 62 9D; pollTurn=0"},
        {"coin=none; tick*3", "wire=5A A5 / 5A A5; pollTurn=-1"},
        // Each slot records its device and rewinds the receive position.
        {"rxPos=17; tick", "curDevice=1; rxPos=1"},
        {"tick; rxPos=9; tick", "curDevice=2; rxPos=1"},
        // The total is shown on every tick, also when nothing is sent.
        {"checkBv=0; bvAmount=10060; cmAmount=22; tick", "wire=; txtamount=10082; interval=100"},
        // Twenty unanswered idle polls bring the full status request.
        {"tick*37", "bvMiss=19; cmMiss=18; bvCmdNo=0"},
        {"tick*39", "bvMiss=0; bvCmdNo=6; cmMiss=19"},
        {"tick*41", "frames=41; last=59 A6; bvLongRead=1; interval=300; cmMiss=0; cmCmdNo=6; bvMiss=0"},
        {"tick*42", "last=61 9E; cmLongRead=1"},
    });
}

TEST(PollScheduler, EveryButtonsFrameGoesOutAtItsDevicesNextSlot)
{
    runCases({
        {"bvMiss=7; cmMiss=5; bv 0; ?bvCmdNo=1; ?wire=; tick", "wire=58 A7; bvCmdNo=0; bvMiss=0; cmMiss=5; clearPending=0"},
        {"pollTurn=-1; bv 0; tick*2", "wire=62 9D / 58 A7"},
        {"bv 1; tick", "wire=5B A4 03 10 E1 00 F2"},
        {"bv 2; tick", "wire=5B A4 03 10 00 00 13"},
        {"bv 3; tick", "wire=5B A4 03 10 02 00 11; clearPending=1"},
        {"bv 4; tick", "wire=5B A4 05 11 00 50 01 00 45"},
        {"bv 5; tick", "wire=59 A6; bvLongRead=1; interval=300"},
        {"bv 5; tick*2", "interval=100"},
        {"bv 6; tick", "wire=5A A5; bvCmdNo=0"},
        {"bvMiss=7; bvCmdNo=8; tick", "wire=; bvCmdNo=0; bvMiss=0; curDevice=1"},
        {"cm 0; tick*2", "wire=5A A5 / 60 9F"},
        {"pollTurn=-1; bvMiss=7; cmMiss=5; cm 1; tick", "wire=63 9C 02 00 03 01; cmCmdNo=0; cmMiss=0; bvMiss=7; curDevice=2"},
        {"pollTurn=-1; coin=slt; cm 1; tick", "wire=63 9C 02 00 01 03"},
        {"pollTurn=-1; cm 2; tick", "wire=63 9C 02 00 00 02"},
        {"pollTurn=-1; cm 3; tick", "wire=63 9C 02 00 02 00; clearPending=1"},
        {"pollTurn=-1; cm 5; tick", "wire=61 9E; cmLongRead=1; interval=300"},
        {"pollTurn=-1; cm 6; tick", "wire=62 9D; cmCmdNo=0"},
        {"pollTurn=-1; cmMiss=3; cmCmdNo=9; tick", "wire=; cmCmdNo=0; cmMiss=0"},
        // A later press replaces an earlier one that has not gone out.
        {"bv 0; bv 1; tick*3", "wire=5B A4 03 10 E1 00 F2 / 62 9D / 5A A5"},
        // A request of a device that is not taking part waits for its return.
        {"checkBv=0; bv 1; tick*4; checkBv=1; tick", "wire=62 9D / 62 9D / 5B A4 03 10 E1 00 F2; bvCmdNo=0"},
        {"coin=none; cm 0; tick*4; coin=cm; tick*2", "wire=5A A5 / 5A A5 / 5A A5 / 60 9F; cmCmdNo=0"},
        // A bill-validator or coin button takes the line back from the hoppers.
        {"curDevice=4; bv 2; tick", "wire=5B A4 03 10 00 00 13"},
        {"curDevice=4; cm 6", "curDevice=2; cmCmdNo=7"},
        {"curDevice=2; bv 0", "curDevice=2"},
        // The hoppers' buttons take the next tick and keep the line.
        {"tick; bvMiss=5; cmMiss=6; hpCount1=10; hp 1", "hpPending=1; hpCmdNo=2; curDevice=1"},
        {"tick; bvMiss=5; cmMiss=6; hpCount1=10; hp 1; tick*3",
         "wire=5A A5 / 73 8C 05 00 00 0A 00 00 0F / 72 8D / 72 8D; bvMiss=0; cmMiss=0; hpPending=0; hpCmdNo=0; pollTurn=-1"},
        {"hp 4; tick", "wire=72 8D; curDevice=4"},
        {"hp 5; tick", "wire=71 8E; interval=300"},
        // The count is read when the frame is built, and the click leaves curDevice.
        {"hpCount0=3; hp 0; hpCount0=9; tick", "wire=73 8C 05 00 09 00 00 00 0C"},
        {"curDevice=2; hp 4", "curDevice=2"},
        // Outside 1 ... 6: nothing is sent, and both counters restart all the same.
        {"bvMiss=5; cmMiss=6; hpCmdNo=7; hpPending=1; tick", "wire=; bvMiss=0; cmMiss=0; hpCmdNo=0; curDevice=4"},
        // The idle hopper poll restarts no counter and leaves the receive position.
        {"curDevice=4; bvMiss=5; rxPos=5; tick", "wire=72 8D; bvMiss=5; rxPos=5"},
        {"checkBv=0; coin=none; curDevice=4; tick*3", "wire=72 8D / 72 8D / 72 8D; pollTurn=0"},
    });
}

TEST(PollScheduler, ChangeNeedsAnAmountAndReadsItAgainWhenSent)
{
    for (const char* text : {"0", "0.0", "", "abc", " -0 "})
        runCases({{std::string("cmCmdNo=3; curDevice=4; TxtCh=") + text + "; cm 4", "msg=type the change!; cmCmdNo=3; curDevice=2"}});
    runCases({
        {"pollTurn=-1; TxtCh=150; cm 4; ?cmCmdNo=5; ?msg=; TxtCh=1500; tick", "wire=63 9C 04 01 00 15 00 10; changeAmount=1500"},
    });
}
