// The reply decoders: the bill validator's records into txt18 ... txt1b, the
// coin mechanism's or selector's into Txt08 ... Txt0b and a payout followed to
// its end, and the hoppers' into txt14 ... txt17 with the end of their turn.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(BillValidatorDecoder, RecordReplies)
{
    runCases({
        {"curDevice=1; reply 33 00 18 01 00 00 00; ?txt18=01 00 00 00 ; ?bvBill1=10; reply 33 00 18 00 01 00 00", "bvBill2=50; bvAmount=60"},
        {"curDevice=1; reply 33 00 18 00 00 01 00; reply 33 00 18 00 00 01 00", "bvBill3=10000; bvAmount=10000"},
        {"bvBill1=10; bvBill2=50; curDevice=1; reply 33 00 18 00 00 00 00", "bvAmount=60"},
        // Only the first set bit of a record counts; latches never add twice.
        {"curDevice=1; reply 33 00 18 01 01 01 00", "bvBill1=10; bvBill2=0; bvBill3=0; bvAmount=10"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 00 00 00 FF", "txt19=00 00 00 FF ; bvBill2=0; bvAmount=0"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 00 00 01 00", "bvAmount=50"},
        // Records 6 apart from position 4; at N the walk wraps to position 3.
        {"curDevice=1; reply 33 1B 18 00 01 00 00 EE 19 01 02 03 04 EE 1A 0A 0B 0C 0D EE",
         "txt18=00 01 00 00 ; txt19=01 02 03 04 ; txt1a=0A 0B 0C 0D ; txt1b=18 00 ; bvAmount=50"},
        // A 0x1B record or an unknown code ends the walk.
        {"curDevice=1; reply 33 00 1B 05 06 00 00 00 18 01 00 00 00", "txt1b=05 06 ; txt18=; bvAmount=0"},
        {"curDevice=1; reply 33 00 1C 05 06 00 00 00 18 01 00 00 00", "txt1b=; txt18=; bvAmount=0"},
        // The sixth pass reads the record at 34, a seventh would read the one at 40.
        {"curDevice=1; reply 33 00 1A 00 00 00 00 00 1A 00 00 00 00 00 1A 00 00 00 00 00 1A 00 00 00 00 00 1A 00 00 00 00 "
         "00 19 01 01 01 00 00 18 01 00 00 00 00",
         "txt19=01 01 01 00 ; bvAmount=0"},
        // With a short length the walk reads what a longer reply left behind.
        {"curDevice=1; reply 33 00 19 01 01 01 01; reply 33 00 18", "txt18=1A 01 01 01 ; bvAmount=50"},
    });
}

TEST(BillValidatorDecoder, ShortRepliesSetTheFlagAndConfirmAClearing)
{
    runCases({
        {"timer=off; curDevice=1; reply 22 1B 01 00", "txt1b=01 00 ; bvStatFlag=-1; timer=on"},
        {"bvStatFlag=-1; curDevice=1; reply 22 1B 00 00", "bvStatFlag=0"},
        {"timer=off; bvStatFlag=-1; curDevice=1; reply 22 1C 00 00", "bvStatFlag=-1; txt1b=; timer=on"},
        // While a "Stack" or "Data Clear" waits, bit 6 clears the bills and the flag is left alone.
        {"bvBill1=10; bvBill3=10000; bvAmount=10010; clearPending=1; curDevice=1; reply 22 1B 40 00",
         "bvAmount=0; bvBill1=0; bvBill3=0; clearPending=0; bvStatFlag=0; txt1b=40 00 "},
        {"bvBill1=10; bvAmount=10; clearPending=1; curDevice=1; reply 22 1B 01 00", "bvAmount=10; bvStatFlag=0; txt1b=01 00 "},
        {"curDevice=1; reply 33 00 18 01 00 00 00; bv 3; tick; in 22 03 1B 40 00 58", "wire=5B A4 03 10 02 00 11; bvAmount=0"},
    });
}

TEST(CoinDecoder, MechanismWalk)
{
    runCases({
        {"curDevice=2; reply 33 00 08 12 05 00 99 00 0B 20 00 00 00 00",
         "Txt08=12 05 00 99 ; cmAmount=22; Txt0b=20 ; txtamount="},
        // Counts are packed decimal, nibbles not checked, and replace the last amount.
        {"cmAmount=40; curDevice=2; reply 33 00 08 1F FF 01 00 00", "cmAmount=360"},
        // At the length byte the walk wraps and takes the lead byte as a code.
        {"curDevice=2; reply 33 09 08 01 00 00 00 00", "cmAmount=1; Txt09=08 01 00 00 "},
        // 0x0B and unknown codes do not advance the walk.
        {"curDevice=2; reply 33 00 0B 05 00 00 00 00 08 01 00 00 00 00", "Txt0b=05 ; Txt08=; cmAmount=0"},
        {"curDevice=2; reply 33 00 0C 05 00 00 00 00 08 01 00 00 00 00", "Txt0b=; Txt08=; cmAmount=0"},
        // Seven passes: the seventh reads the record at 40, an eighth would read 46.
        {"curDevice=2; reply 33 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 "
         "00 09 00 00 00 00 00 08 01 00 00 00 00 08 02 00 00 00 00",
         "cmAmount=1"},
        {"coin=none; curDevice=2; in 33 07 08 12 05 00 01 0B 05 17", "rx~=|; Txt08=; cmAmount=0"},
    });
}

TEST(CoinDecoder, PayoutIsFollowedToDataClear)
{
    runCases({
        {"pollTurn=-1; TxtCh=30; cm 4; tick; reply 33 00 0A 10 05 00 00 00",
         "wire=63 9C 04 01 30 00 00 35; txt0a=10 05 00 00 ; cmPaidAmount=20; TxtCh=10; cmCmdNo=0; changeAmount=30"},
        {"changeAmount=30; curDevice=2; reply 33 00 0A 10 05 02 00 00; ?cmCmdNo=4; tick*2",
         "TxtCh=0; changeAmount=0; cmCmdNo=0; wire=5A A5 / 63 9C 02 00 02 00; clearPending=1"},
        {"changeAmount=30; curDevice=2; reply 33 00 0A 10 05 03 00 00", "TxtCh=-5; changeAmount=30; cmCmdNo=0"},
        {"changeAmount=2.5; curDevice=2; reply 33 00 0A 00 00 00 00 00", "TxtCh=2.5; changeAmount=2.5"},
        {"changeAmount=2.5; curDevice=2; reply 33 00 0A 03 00 00 00 00", "TxtCh=-0.5; changeAmount=2.5; cmCmdNo=0"},
        {"TxtCh=77; curDevice=2; reply 33 00 0A 01 01 01 00 00", "txt0a=01 01 01 00 ; cmPaidAmount=8; TxtCh=77"},
    });
}

TEST(CoinDecoder, SelectorWalkAndShortReplies)
{
    runCases({
        {"coin=slt; curDevice=2; in 33 07 08 12 05 00 01 0B 05 17", "cmAmount=38; Txt08=12 05 00 01 ; Txt0b=05 "},
        {"coin=slt; curDevice=2; in 33 08 0B 44 01 02 03 04 00 43", "Txt0b=44 ; Txt08=0B 44 01 02 ; cmAmount=172"},
        // Unknown codes do not advance; 0x09 and 0x0A records are not the selector's.
        {"coin=slt; curDevice=2; in 33 07 0C 00 00 00 00 08 01 02", "cmAmount=0; Txt08="},
        {"coin=slt; changeAmount=5; TxtCh=5; curDevice=2; in 33 07 0A 01 00 00 00 00 00 0C", "txt0a=; TxtCh=5; cmPaidAmount=0"},
        {"coin=slt; curDevice=2; in 33 07 09 01 00 00 00 00 00 0F", "Txt09="},
        // Two passes: the second record counts, a third would read position 13.
        {"coin=slt; curDevice=2; cmLongRead=1; reply 33 08 00 00 00 00 08 01 00 00 00 08 02 00 00 00", "cmAmount=1"},
        {"curDevice=2; reply 22 0B 05 00 00 00", "Txt0b=05; cmAmount=0"},
        {"curDevice=2; reply 22 08 01 02 03 04", "Txt08=01 02 03 04 ; cmAmount=0"},
        {"curDevice=2; reply 22 09 0A 0B 0C 0D", "Txt09=0A 0B 0C 0D "},
        {"curDevice=2; reply 22 0A 09 09 09 09", "txt0a=; Txt09="},
    });
}

namespace {
// A hopper reply with these four counts, addressed to the hoppers.
std::string hopper(const char* counts, const char* rest = "16 01 02 03 04 17 05 06 07 08 18 12 34")
{
    return std::string("curDevice=4; in 33 00 15 ") + counts + " " + rest;
}
} // namespace

TEST(HopperDecoder, RecordsAndTheEndOfTheTurn)
{
    runCases({
        {hopper("00 03 1A FF"), "txt14=00 03 1A FF ; txt15=01 02 03 04 ; txt16=05 06 07 08 ; txt17=12 34 ; curDevice=4"},
        {hopper("00 00 00 00"), "curDevice=0"},
        {"hpCount1=5; " + hopper("00 03 00 00"), "curDevice=4; txt14=00 03 00 00 "},
        {"hpCount1=5; " + hopper("00 05 00 00"), "curDevice=0"},
        {"hpCount3=5; " + hopper("00 00 00 00"), "curDevice=4"},
        {"hpCount3=5; " + hopper("00 00 00 05"), "curDevice=0"},
        // Hopper-only mode needs the bill validator cleared and "No Selector" both.
        {"checkBv=0; coin=none; " + hopper("00 00 00 00"), "curDevice=4"},
        {"checkBv=0; " + hopper("00 00 00 00"), "curDevice=0"},
        {"coin=none; " + hopper("00 00 00 00"), "curDevice=0"},
        // Each record needs its code at its place.
        {"curDevice=4; in 33 00 99 00 00 00 00 16 01 02 03 04 17 05 06 07 08 00 12 34", "txt14=; txt15=01 02 03 04 ; txt17=; curDevice=4"},
        {hopper("00 00 00 00", "16 01 02 03 04 99 05 06 07 08 18 12 34"), "txt16=; txt15=01 02 03 04 "},
        {hopper("00 00 00 00", "99 01 02 03 04 17 05 06 07 08 18 12 34"), "txt15=; txt16=05 06 07 08 "},
        {hopper("00 00 00 00") + "; tick*2", "wire=5A A5 / 62 9D"},
        {"tick; hpCount1=5; hp 1; tick; " + hopper("00 01 00 00") + "; tick", "wire=5A A5 / 73 8C 05 00 00 05 00 00 00 / 72 8D"},
    });
}

TEST(HopperDecoder, CountsCompareAsNumbers)
{
    const std::pair<const char*, const char*> cases[] = {{"05", "0"},  {" 5 ", "0"}, {"5.0", "0"}, {"+5", "0"},
                                                         {"4.6", "4"}, {"", "4"},    {"abc", "4"}, {"261", "4"}};
    for (const auto& [text, device] : cases)
        runCases({{std::string("hpCount0=") + text + "; " + hopper("05 00 00 00"), std::string("curDevice=") + device}});
}
