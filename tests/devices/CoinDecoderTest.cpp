// The coin mechanism's or selector's replies into Txt08 ... Txt0b, the coin
// amount, and a change payout followed to its end.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(CoinDecoder, MechanismWalk)
{
    runCases({
        {"curDevice=2; reply 33 00 08 12 05 00 99 00 0B 20 00 00 00 00",
         "Txt08=12 05 00 99 ; cmAmount=22; Txt0b=20 ; txtamount="},
        // Counts are packed decimal, nibbles not checked, and replace the last amount.
        {"cmAmount=40; curDevice=2; reply 33 00 08 1F FF 01 00 00", "cmAmount=360"},
        {"curDevice=2; reply 33 00 09 01 02 03 04 00", "Txt09=01 02 03 04 ; cmAmount=0"},
        // At the length byte the walk wraps and takes the lead byte as a code.
        {"curDevice=2; reply 33 09 08 01 00 00 00 00", "cmAmount=1; Txt09=08 01 00 00 "},
        // 0x0B and unknown codes do not advance the walk.
        {"curDevice=2; reply 33 00 0B 05 00 00 00 00 08 01 00 00 00 00", "Txt0b=05 ; Txt08=; cmAmount=0"},
        {"curDevice=2; reply 33 00 0C 05 00 00 00 00 08 01 00 00 00 00", "Txt0b=; Txt08=; cmAmount=0"},
        // Seven passes: the seventh reads the record at 40, an eighth would read 46.
        {"curDevice=2; reply 33 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 00 09 00 00 00 00 "
         "00 09 00 00 00 00 00 08 01 00 00 00 00 08 02 00 00 00 00",
         "cmAmount=1"},
        {"curDevice=2; reply 33 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 "
         "00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 "
         "08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 "
         "01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 "
         "00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 "
         "00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 "
         "00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 01 00 00 00 00 08 08 08 08 08 08 08",
         "cmAmount=1; rxPos=1"},
        {"coin=none; curDevice=2; in 33 07 08 12 05 00 01 0B 05 17", "rx~=|; Txt08=; cmAmount=0"},
    });
}

TEST(CoinDecoder, PayoutIsFollowedToDataClear)
{
    runCases({
        {"pollTurn=-1; TxtCh=30; cm 4; tick; reply 33 00 0A 10 05 00 00 00",
         "wire=63 9C 04 01 30 00 00 35; txt0a=10 05 00 00 ; cmPaidAmount=20; TxtCh=10; cmCmdNo=0; changeAmount=30"},
        {"changeAmount=30; curDevice=2; reply 33 00 0A 10 05 02 00 00; tick*2",
         "TxtCh=0; changeAmount=0; cmCmdNo=0; wire=5A A5 / 63 9C 02 00 02 00; clearPending=1"},
        {"changeAmount=30; curDevice=2; reply 33 00 0A 10 05 02 00 00", "cmCmdNo=4"},
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
