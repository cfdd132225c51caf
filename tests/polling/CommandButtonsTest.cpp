// The command buttons: a click records a request; the device's next slot sends it.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(CommandButtons, EveryButtonsFrameGoesOutAtItsDevicesNextSlot)
{
    runCases({
        {"bv 0", "bvCmdNo=1; wire="},
        {"bv 0; tick", "wire=58 A7"},
        {"pollTurn=-1; bv 0; tick*2", "wire=62 9D / 58 A7"},
        {"bv 1; tick", "wire=5B A4 03 10 E1 00 F2"},
        {"bv 2; tick", "wire=5B A4 03 10 00 00 13"},
        {"bv 3; tick", "wire=5B A4 03 10 02 00 11"},
        {"bv 4; tick", "wire=5B A4 05 11 00 50 01 00 45"},
        {"bv 5; tick", "wire=59 A6"},
        {"bv 6; tick", "wire=5A A5; bvCmdNo=0"},
        {"cm 0; tick*2", "wire=5A A5 / 60 9F"},
        {"pollTurn=-1; cm 1; tick", "wire=63 9C 02 00 03 01"},
        {"pollTurn=-1; cm 2; tick", "wire=63 9C 02 00 00 02"},
        {"pollTurn=-1; cm 3; tick", "wire=63 9C 02 00 02 00"},
        {"pollTurn=-1; TxtCh=25; cm 4; tick", "wire=63 9C 04 01 25 00 00 20"},
        {"pollTurn=-1; cm 5; tick", "wire=61 9E"},
        {"pollTurn=-1; cm 6; tick", "wire=62 9D; cmCmdNo=0"},
        {"tick; hpCount0=3; hp 0", "hpPending=1; hpCmdNo=1"},
        {"tick; hpCount0=3; hp 0; tick", "wire=5A A5 / 73 8C 05 00 03 00 00 00 06"},
        {"tick; hpCount1=4; hp 1; tick", "last=73 8C 05 00 00 04 00 00 01"},
        {"tick; hpCount2=5; hp 2; tick", "last=73 8C 05 00 00 00 05 00 00"},
        {"tick; hpCount3=6; hp 3; tick", "last=73 8C 05 00 00 00 00 06 03"},
        {"tick; hp 4; tick", "last=72 8D"},
        {"tick; hp 5; tick", "last=71 8E"},
        // The count is read when the frame is built, and the click leaves curDevice.
        {"hpCount0=3; hp 0; hpCount0=9; tick", "wire=73 8C 05 00 09 00 00 00 0C"},
        {"curDevice=2; hp 4", "curDevice=2"},
        // A later press replaces an earlier one that has not gone out.
        {"bv 0; bv 1; tick*3", "wire=5B A4 03 10 E1 00 F2 / 62 9D / 5A A5"},
    });
}

TEST(CommandButtons, BillValidatorOrCoinButtonTakesTheLineBackFromTheHoppers)
{
    runCases({
        {"curDevice=4; bv 2", "curDevice=1"},
        {"curDevice=4; bv 2; tick", "wire=5B A4 03 10 00 00 13"},
        {"curDevice=4; cm 6", "curDevice=2; cmCmdNo=7"},
        {"curDevice=1; cm 0", "curDevice=1"},
        {"curDevice=2; bv 0", "curDevice=2"},
    });
}

TEST(CommandButtons, ChangeNeedsAnAmountAndReadsItAgainWhenSent)
{
    for (const char* text : {"TxtCh=0", "TxtCh=0.0", "TxtCh=", "TxtCh=abc", "TxtCh= -0 "}) {
        const std::string steps = std::string("cmCmdNo=3; curDevice=4; ") + text + "; cm 4";
        runCase({steps.c_str(), "msg=type the change!; cmCmdNo=3; curDevice=2"});
    }
    runCases({
        {"TxtCh=150; cm 4", "cmCmdNo=5; msg="},
        {"pollTurn=-1; TxtCh=150; cm 4; TxtCh=1500; tick", "wire=63 9C 04 01 00 15 00 10; changeAmount=1500"},
    });
}
