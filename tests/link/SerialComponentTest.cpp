// ComeOne on a scripted port: the values it takes, the open, Output and the
// receive notification.
#include "link/SerialComponent.h"
#include "support/ScriptedPort.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::Bytes;
using cmbvhp::test::ScriptedPort;

TEST(LineSettingsText, AcceptsExactlyTheFormsTheConsoleBuilds)
{
    EXPECT_EQ(*parseSettings("9600,E,8,1"), (LineSettings{9600, Parity::Even, 8, StopBits::One}));
    EXPECT_EQ(*parseSettings("19200,N,7,2"), (LineSettings{19200, Parity::None, 7, StopBits::Two}));
    EXPECT_EQ(*parseSettings("600,S,4,1.5"), (LineSettings{600, Parity::Space, 4, StopBits::OneAndHalf}));
    EXPECT_EQ(*parseSettings("1200,O,6,1"), (LineSettings{1200, Parity::Odd, 6, StopBits::One}));
    EXPECT_EQ(parseSettings("2400,M,5,1")->parity, Parity::Mark);
    for (const char* bad : {",E,8,1", "9600,E,8", "9600E81", "9600,e,8,1", "9600,E,9,1", "9600,E,3,1", "9600,E,8,3",
                            "9600,E,8,1,", "110,E,8,1", "9600,,8,1", "9600,E,8,1.5x", " 9600,E,8,1", "", "96000,E,8,1"})
        EXPECT_FALSE(parseSettings(bad)) << bad;
}

TEST(SerialComponent, ValuesOpenOutputAndReceive)
{
    auto* port = new ScriptedPort;
    SerialComponent comp(std::unique_ptr<SerialBackend>(port), [](int n) {
        return n == 5 ? throw CommError("no device") : "/dev/port" + std::to_string(n);
    });
    // Refused values raise and keep the previous ones.
    comp.setCommPort(3);
    comp.setSettings("19200,N,7,2");
    EXPECT_THROW(comp.setSettings(",E,8,1"), CommError);
    EXPECT_THROW(comp.setCommPort(17), CommError);
    EXPECT_EQ(comp.CommPort(), 3);
    EXPECT_THROW(comp.setInputLen(0), CommError);
    EXPECT_THROW(comp.setInputMode(0), CommError);
    EXPECT_THROW(comp.setEOFEnable(true), CommError);
    for (int n : {0, 5}) {
        comp.setCommPort(n);
        EXPECT_THROW(comp.setPortOpen(true), CommError) << n;
    }
    EXPECT_TRUE(port->opens.empty());
    EXPECT_FALSE(comp.Output(Bytes{0x5A, 0xA5})) << "nothing goes out while closed";
    comp.setCommPort(2);
    comp.setPortOpen(true);
    EXPECT_EQ(port->opens.back().device, "/dev/port2");
    EXPECT_EQ(port->opens.back().settings, (LineSettings{19200, Parity::None, 7, StopBits::Two}));
    EXPECT_THROW(comp.setCommPort(4), CommError) << "not while open";

    // One write per frame; a frame that would overfill the buffer is dropped
    // without a notification, counted per opening.
    int notifications = 0;
    Bytes got;
    comp.setRThreshold(1);
    comp.setOutBufferSize(1024);
    comp.OnComm = [&] {
        ++notifications;
        while (comp.InBufferCount() >= 1)
            got.push_back(comp.Input());
    };
    port->pending = 1020;
    EXPECT_TRUE(comp.Output(Bytes{0x5A, 0xA5}));
    EXPECT_FALSE(comp.Output(Bytes{0x5B, 0xA4, 0x03, 0x10, 0x00, 0x00, 0x13}));
    EXPECT_EQ(port->writes, (std::vector<Bytes>{Bytes{0x5A, 0xA5}}));
    EXPECT_EQ(comp.framesDropped(), 1);
    EXPECT_EQ(notifications, 0);
    // Every waiting byte is delivered in its notification.
    port->feed({0x22, 0x03, 0x00});
    port->feed({0x1B});
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(got, (Bytes{0x22, 0x03, 0x00, 0x1B}));
    EXPECT_EQ(comp.Input(), 0) << "nothing waits";
    comp.OnComm = nullptr;
    port->feed({0x01, 0x02});
    comp.setPortOpen(false);
    EXPECT_EQ(comp.InBufferCount(), 0) << "closing drops what was not read";
    comp.setPortOpen(true);
    EXPECT_EQ(comp.framesDropped(), 0);
}
