// ComeOne_OnComm: every byte logged by the view; in the hexadecimal view the
// replies framed by the device in curDevice, checked and dispatched.
#include "support/Rig.h"

#include <gtest/gtest.h>


using namespace cmbvhp::test;

TEST(ReceiveFramer, FramedRepliesAreAcceptedOnlyOnAGoodCheckByteInTheirDevicesFormAndView)
{
    runCases({
        {"curDevice=1; bvMiss=9; in 22 03 1B 01 00 19", "rx=22 03 1B 01 00 19 |; bvMiss=0; txt1b=01 00 ; rxPos=1"},
        {"curDevice=1; bvMiss=9; in 22 03 1B 01 00 18", "rx=22 03 1B 01 00 18 ; bvMiss=9; txt1b=; rxPos=1"},
        {"curDevice=1; in 22 03 1B 01 00 18; in 22 03 1B 01 00 19", "rx=22 03 1B 01 00 18 22 03 1B 01 00 19 |"},
        // Length 0 is never accepted, whatever its check byte.
        {"curDevice=1; in 33 00 00; in 22 00 FF", "rx=33 00 00 22 00 FF ; rxPos=1"},
        {"curDevice=1; in/1 22 03 1B 01 00 19 33 06 00 18 01 00 00 00 1F",
         "rx=22 03 1B 01 00 19 |33 06 00 18 01 00 00 00 1F |; bvAmount=10; rxPos=1"},
        // An unknown first byte, or bytes while no device is addressed, keep the position.
        {"curDevice=1; in 55 22 03 1B 01 00 19", "txt1b=01 00 "},
        {"in 22 03 1B 01 00 19", "rx=22 03 1B 01 00 19 ; rxPos=1; rxBuf@1=19; txt1b="},
        // A reply cut short is continued until the next send rewinds.
        {"curDevice=1; in 22 03 1B; ?rxPos=4; tick", "rxPos=1"},
        {"curDevice=1; rxPos=1024; in AB", "rxBuf@1024=AB; rxPos=1"},
        {"curDevice=1; rxPos=0; in AB", "rxBuf@1=AB"}, // a position out of the buffer starts it again
        // The coin side: an accepted reply clears cmMiss, and only cmMiss.
        {"curDevice=2; cmMiss=5; bvMiss=4; reply 33 00 08 12 05 00 99 00", "cmMiss=0; bvMiss=4; cmAmount=22; rxPos=1"},
        {"curDevice=2; cmMiss=5; reply 22 0B 05 00 00 00", "cmMiss=0; Txt0b=05"},
        // A selector's reply is 10 bytes whatever its length byte says.
        {"coin=slt; curDevice=2; in 33 02 08 01 02 03 04 0B 05 00", "rx=33 02 08 01 02 03 04 0B 05 00 |; Txt08=01 02 03 04 ; rxPos=1"},
        {"coin=none; curDevice=2; in 33 02 08 01 02 03 04 0B 05 00", "rx=33 02 08 01 02 03 04 0B 05 00 |; Txt08="},
        // Hoppers: 0x33 and 19 more bytes, or any other single byte.
        {"curDevice=4; in 33 00 15 00 00 00 00 16 01 02 03 04 17 05 06 07 08 18 12 34",
         "rx=33 00 15 00 00 00 00 16 01 02 03 04 17 05 06 07 08 18 12 34 |; txt17=12 34 ; curDevice=0; rxPos=1"},
        {"curDevice=4; in 06", "rx=06 |; curDevice=4; rxPos=1"},
        // Long reads.
        {"curDevice=1; bvLongRead=1; bvMiss=4; reply 11 00 18 01 00 00 00", "bvLongRead=0; bvAmount=10; bvMiss=4; rx~=|"},
        {"curDevice=1; bvLongRead=1; in 11 06 00 18 01 00 00 00 1E", "bvLongRead=0; bvAmount=0; rx=11 06 00 18 01 00 00 00 1E "},
        {"curDevice=1; bvLongRead=1; in 11", "bvSeq=0; rxPos=2"},
        {"curDevice=1; bvLongRead=1; reply 33 00 18 01 00 00 00", "bvAmount=0; bvLongRead=0; rx~=|"},
        {"curDevice=1; bvLongRead=1; reply 44 00 18 01 00 00 00", "bvAmount=0; bvCmdNo=0; rx~=|"},
        {"curDevice=2; cmLongRead=1; cmMiss=3; reply 11 00 08 12 05 00 99 00", "cmAmount=22; cmLongRead=0; cmMiss=3"},
        {"curDevice=2; cmLongRead=1; reply 33 00 08 12 05 00 99 00", "cmAmount=0; cmLongRead=0"},
        {"coin=slt; curDevice=2; cmLongRead=1; reply 33 08 01 02 03 04 0B 05", "cmAmount=60"},
        {"coin=slt; curDevice=2; cmLongRead=1; reply 11 08 01 02 03 04 0B 05", "cmAmount=0"},
        // Views other than hexadecimal only log.
        {"curDevice=1; viewMode=1; in 41 00 0D 0A 22 7F 85 E9", "rx=A \u2400 \u240D \u240A \" \u2421 \uFFFD \u00E9 ; rxBuf@1=00"},
        {"curDevice=1; viewMode=2; in 41 05 09 FF 00 0A 63 64", "rx=65 5 9 255 0 10 99 100 ; rxPos=1; rxBuf@1=00"},
        {"curDevice=1; in 22 03 1B; viewMode=2; in 99 98; viewMode=0; in 01 00 19", "txt1b=01 00 "},
    });
}

TEST(ReceiveFramer, SingleByteRepliesDriveTheStartUpSequences)
{
    runCases({
        {"curDevice=1; bvSeq=4; in 44", "rx=44 |; curDevice=0; bvCmdNo=1; bvSeq=1"},
        {"curDevice=1; bvSeq=1; in 11", "rx=11 |; curDevice=0; bvCmdNo=7; bvSeq=2"},
        {"curDevice=1; bvSeq=2; in 11", "bvCmdNo=2; bvSeq=4"},
        {"curDevice=1; bvSeq=4; in 11", "bvCmdNo=7; bvSeq=8"},
        {"curDevice=1; bvSeq=8; timer=off; in 11", "timer=off; bvSeq=8; bvCmdNo=0"}, {"curDevice=1; bvSeq=0; bvStatFlag=-1; timer=off; in 11", "timer=off; bvSeq=0"},
        // The last step restarts the timer once the status flag is set, and queues nothing.
        {"curDevice=1; bvSeq=8; bvStatFlag=-1; timer=off; interval=300; in 11",
         "timer=on; interval=100; pollTurn=-1; bvSeq=8; bvCmdNo=0"},
        {"curDevice=2; cmSeq=8; in 44", "curDevice=0; cmCmdNo=1; cmSeq=1"},
        {"curDevice=2; cmSeq=1; in 11", "cmCmdNo=7; cmSeq=2"},
        {"curDevice=2; cmSeq=2; in 11", "cmCmdNo=2; cmSeq=4"},
        {"curDevice=2; cmSeq=4; in 11", "cmCmdNo=7; cmSeq=8"},
        {"curDevice=2; cmSeq=8; bvStatFlag=-1; timer=off; in 11", "cmCmdNo=0; cmSeq=8; timer=off; pollTurn=0"},
        // A reply from the hoppers is no acknowledgement.
        {"curDevice=4; bvSeq=1; in 11", "bvSeq=1; bvCmdNo=0"},
    });
}

// One notification of many bytes goes to the log whole, in every view, with
// the line ends where the replies end.
TEST(ReceiveFramer, ALongNotificationIsLoggedWholeInEveryView)
{
    auto times = [](const char* s, int n) { return QString::fromLatin1(s).repeated(n).toStdString(); };
    runCases({
        // The 89th record's line end falls on the log buffer's last place.
        {"curDevice=1; in" + times(" 33 19 00 18 00 01 00 00 00 19 00 01 00 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 13", 100), "rx=" + times("33 19 00 18 00 01 00 00 00 19 00 01 00 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 13 |", 100) + "; bvMiss=0"},
        {"curDevice=1; viewMode=2; in" + times(" FF 07", 300), "rx=" + times("255 7 ", 300)},
        {"curDevice=1; viewMode=1; in" + times(" 41", 700), "rx=" + times("A ", 700)},
    });
}

// Regression: the text of a notification's first read was held back while its
// second read was accounted for, so a line the console said then (the session
// file's failure) came before bytes that arrived before it.
TEST(ReceiveFramer, ALineSaidBetweenTwoReadsOfANotificationFollowsTheBytesOfTheFirst)
{
    struct SecondRead : TrafficObserver {
        Rig r;
        int reads = 0;
        void frameSent(std::span<const std::uint8_t>, bool, const Moment&) override {}
        void bytesReceived(std::span<const std::uint8_t>, const Moment&) override
        {
            if (++reads == 2)
                return r.ui.appendLogLine(Log::txt수신, u"NOTE");
            r.comeOne.setRThreshold(0); // arrives during the first read, unannounced
            r.port->feed(hex("11"));
            r.comeOne.setRThreshold(1);
        }
    } t;
    t.r.engine.setTraffic(&t);
    t.r.port->feed(hex("22 03"));
    EXPECT_EQ(t.r.ui.rx.toStdString(), "22 03 \r\nNOTE\r\n11 ");
}

TEST(ReceiveFramer, StartupSequenceRunsOverTheWire)
{
    // The bill validator answers every frame of its slot; a 0x44 mid-way starts again.
    runCases({{"coin=none; tick; in 44; tick*2; in 11; tick*2; in 44; tick*2; in 11; tick*2; in 11; tick*2; "
             "in 22 03 1B 01 00 19; tick*2; in 11; tick*2; in 11",
             "wire=5A A5 / 58 A7 / 5A A5 / 58 A7 / 5A A5 / 5B A4 03 10 E1 00 F2 / 5A A5 / 5A A5; bvSeq=8; "
             "bvStatFlag=-1; pollTurn=-1"}});
}

// Each frame is judged when the next goes out: a reply accepted before it,
// bytes but no accepted reply, or nothing; the frame still waiting is not
// counted, nor one answered while the view does not frame.
TEST(LineHealth, EachFrameIsAnsweredBadOrSilentAndRepliesAreTimed)
{
    runCases({
        {"coin=none; bv 1; tick; reply 22 1B 01 00; ms=200; tick*2; ms=400; tick*2; ms=425; in 22 03 1B 01 00 18; ms=600; tick*2",
         "bvHealth=3 frames, 1 answered, 1 bad, 1 silent; reply after median 0 ms, p99 0 ms, max 0 ms; "
         "cmHealth=0 frames, 0 answered, 0 bad, 0 silent; no reply"},
        {"checkBv=0; coin=none; curDevice=4; tick; ms=5; in 33 00 15 00 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00; "
         "ms=100; tick; ms=107; in 06; ms=200; tick; ms=300; tick",
         "hpHealth=3 frames, 2 answered, 0 bad, 1 silent; reply after median 5 ms, p99 7 ms, max 7 ms"},
        {"coin=slt; pollTurn=-1; tick; ms=5003; in 33 02 08 01 02 03 04 0B 05 00; ms=5100; tick*2; ms=9194; in 33 02 08 01 02 03 04 0B 05 00; ms=9200; tick*2; ms=9300; tick*2",
         "cmHealth=3 frames, 2 answered, 0 bad, 1 silent; reply after median 4094 ms, p99 5003 ms, max 5003 ms"}, // 4094 ms: the last bucket below the rest
        {"coin=none; tick; viewMode=1; in 11; tick*2; viewMode=0; tick*2", "bvHealth=1 frames, 0 answered, 0 bad, 1 silent; no reply"},
    });
}
