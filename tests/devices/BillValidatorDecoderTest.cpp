// The bill validator's replies into txt18 ... txt1b, the bill latches and the
// status flag.
#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp::test;

TEST(BillValidatorDecoder, RecordReplies)
{
    runCases({
        {"curDevice=1; reply 33 00 18 01 00 00 00", "txt18=01 00 00 00 ; bvBill1=10; bvAmount=10"},
        {"curDevice=1; reply 33 00 18 01 00 00 00; reply 33 00 18 00 01 00 00", "bvBill2=50; bvAmount=60"},
        {"curDevice=1; reply 33 00 18 00 00 01 00; reply 33 00 18 00 00 01 00", "bvBill3=10000; bvAmount=10000"},
        {"bvBill1=10; bvBill2=50; curDevice=1; reply 33 00 18 00 00 00 00", "bvAmount=60"},
        // Only the first set bit of a record counts; latches never add twice.
        {"curDevice=1; reply 33 00 18 01 01 01 00", "bvBill1=10; bvBill2=0; bvBill3=0; bvAmount=10"},
        {"curDevice=1; reply 33 00 18 00 03 01 00", "bvBill2=50; bvBill3=0; bvAmount=50"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 00 00 00 FF", "txt19=00 00 00 FF ; bvBill2=0; bvAmount=0"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 00 00 01 00", "bvAmount=50"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 01 00 00 00", "bvAmount=50"},
        {"bvBill2=50; bvAmount=50; curDevice=1; reply 33 00 19 00 01 00 00", "bvAmount=50"},
        // Records 6 apart from position 4; at N the walk wraps to position 3.
        {"curDevice=1; reply 33 1B 18 00 01 00 00 EE 19 01 02 03 04 EE 1A 0A 0B 0C 0D EE",
         "txt18=00 01 00 00 ; txt19=01 02 03 04 ; txt1a=0A 0B 0C 0D ; txt1b=18 00 ; bvAmount=50"},
        // A 0x1B record or an unknown code ends the walk.
        {"curDevice=1; reply 33 00 1B 05 06 00 00 00 18 01 00 00 00", "txt1b=05 06 ; txt18=; bvAmount=0"},
        {"curDevice=1; reply 33 00 1C 05 06 00 00 00 18 01 00 00 00", "txt1b=; txt18=; bvAmount=0"},
        {"curDevice=1; reply 33 00 1D 05 06 00 00 00 19 01 00 00 00", "txt19="},
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
        {"bvBill1=10; bvAmount=10; clearPending=1; curDevice=1; reply 22 1B 00 00", "bvAmount=10; clearPending=1; bvStatFlag=0"},
        {"bvBill1=10; bvBill3=10000; bvAmount=10010; clearPending=1; curDevice=1; reply 22 1B 40 00",
         "bvAmount=0; bvBill1=0; bvBill3=0; clearPending=0; bvStatFlag=0; txt1b=40 00 "},
        {"bvBill1=10; bvAmount=10; clearPending=1; curDevice=1; reply 22 1B 01 00", "bvAmount=10; bvStatFlag=0; txt1b=01 00 "},
        {"curDevice=1; reply 33 00 18 01 00 00 00; bv 3; tick; in 22 03 1B 40 00 58", "wire=5B A4 03 10 02 00 11; bvAmount=0"},
    });
}
