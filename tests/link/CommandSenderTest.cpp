// The six send operations: exact bytes on the wire, one write and one transmit
// log line per frame, and what each reads and leaves behind.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(CommandSender, FixedFramesAndTheirLogLines)
{
    runCases({
        {"send short 5A; send short 71; send bvSet 00; send bvReturn 50",
         "wire=5A A5 / 71 8E / 5B A4 03 10 00 00 13 / 5B A4 05 11 00 50 01 00 45; tx=5A A5 |71 8E |5B A4 3 10 0 0 13 |5B A4 5 11 0 50 1 0 45 |"},
        {"send cmSet 01; send cmSet 00", "wire=63 9C 02 00 01 03 / 63 9C 02 00 00 02"},
        // The plain operations leave the timer and every state alone.
        {"send short 5A; send bvSet 02; send bvReturn 50; send cmSet 02", "same; restarts=0; timer=on"},
    });
}

TEST(CommandSender, ChangeCarriesTheAmountInPackedDecimal)
{
    runCases({
        {"TxtCh=1500; send change", "wire=63 9C 04 01 00 15 00 10; changeAmount=1500; restarts=1; timer=on"},
        {"TxtCh=25; send change", "wire=63 9C 04 01 25 00 00 20; tx=63 9C 4 1 25 0 0 20 |"},
        {"TxtCh=9999; send change", "wire=63 9C 04 01 99 99 00 05"},
        {"TxtCh=1; send change", "wire=63 9C 04 01 01 00 00 04"},
        {"TxtCh=100; send change", "wire=63 9C 04 01 00 01 00 04"},
        // Halves to the even neighbour; the ranges are tested on the amount as typed.
        {"TxtCh=2.5; send change", "wire=63 9C 04 01 02 00 00 07; changeAmount=2.5"},
        {"TxtCh=99.5; send change", "wire=63 9C 04 01 00 00 00 05"},
        {"TxtCh=9999.5; send change", "wire=63 9C 04 01 00 00 00 05"},
        // Below 1 or from 10000 up: 00 00, and changeAmount is the amount as typed.
        {"TxtCh=10000; send change", "wire=63 9C 04 01 00 00 00 05; changeAmount=10000"},
        {"TxtCh=0.99; send change", "wire=63 9C 04 01 00 00 00 05; changeAmount=0.99"},
        {"TxtCh=2147483647; send change", "wire=63 9C 04 01 00 00 00 05; changeAmount=2147483647"},
        {"TxtCh=-2147483648; send change", "wire=63 9C 04 01 00 00 00 05; changeAmount=-2147483648"},
        // Text that is no amount: nothing goes out, the payout being followed is kept.
        {"changeAmount=30; TxtCh=abc; send change",
         "wire=; tx=; changeAmount=30; timer=on; msg=Coin Dispence holds \"abc\", which is not an amount from "
         "-2147483648 to 2147483647. The \"Change\" frame was not sent."},
        {"TxtCh=2147483648; send change", "wire=; msg~=holds \"2147483648\""},
        {"TxtCh=-2147483649; send change", "wire=; msg~=holds \"-2147483649\""},
    });
}

TEST(CommandSender, HopperCountTakesItsBoxAndClaimsTheLine)
{
    runCases({
        {"hpCount1=10; send hp 1", "wire=73 8C 05 00 00 0A 00 00 0F; tx=73 8C 5 0 0 A 0 0 F |; curDevice=4; restarts=1; timer=on"},
        {"hpCount3=255; send hp 3", "wire=73 8C 05 00 00 00 00 FF FA"},
        {"hpCount2=254.5; send hp 2", "wire=73 8C 05 00 00 00 FE 00 FB"},
        {"hpCount0=-0.4; send hp 0", "wire=73 8C 05 00 00 00 00 00 05"},
        // Outside 0 ... 255 or no number: refused, and the hoppers hold the line all the same.
        {"hpCount2=256; send hp 2",
         "wire=; tx=; curDevice=4; timer=on; msg=The count box of HP #3 holds \"256\", which is not a count from 0 "
         "to 255. The hopper frame was not sent."},
        {"hpCount2=255.5; send hp 2", "wire=; msg~=holds \"255.5\""},
        {"hpCount2=abc; send hp 2", "wire=; msg~=holds \"abc\""},
    });
}

// Regression: a frame refused for a full output buffer was logged as sent.
TEST(CommandSender, FrameThePortDoesNotTakeIsNotLoggedAndTheOperatorIsToldOncePerOpening)
{
    const std::string told = "COM1 is not taking bytes; frames are dropped until it does.|";
    runCases({
        // Regression: the notice went into the receive log and cut a reply in
        // two; it stands in the transmit log, where the frames would have been.
        {"in 22 03; full; send short 5A; send bvSet 00", "wire=; tx=" + told + "; rx=22 03 "},
        {"full; send short 5A; ok; send short 5A", "wire=5A A5; tx=" + told + "5A A5 |"},
        // Told once per opening.
        {"full; send short 5A; send short 62; reopen; send short 5A", "tx=" + told + told},
    });
}
