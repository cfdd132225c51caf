#include "link/SerialComponent.h"
#include "support/ScriptedPort.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::Bytes;
using cmbvhp::test::ScriptedPort;

TEST(LineSettingsText, AcceptsExactlyTheFormsTheConsoleBuilds)
{
    const auto s = parseSettings("9600,E,8,1");
    ASSERT_TRUE(s);
    EXPECT_EQ(*s, (LineSettings{9600, Parity::Even, 8, StopBits::One}));
    EXPECT_EQ(*parseSettings("19200,N,7,2"), (LineSettings{19200, Parity::None, 7, StopBits::Two}));
    EXPECT_EQ(*parseSettings("600,S,4,1.5"), (LineSettings{600, Parity::Space, 4, StopBits::OneAndHalf}));
    EXPECT_EQ(parseSettings("2400,M,5,1")->parity, Parity::Mark);
    EXPECT_EQ(parseSettings("1200,O,6,1")->parity, Parity::Odd);
    EXPECT_EQ(parseSettings("4800,E,8,1")->baud, 4800);

    for (const char* bad : {",E,8,1", "9600,E,8", "9600E81", "9600,e,8,1", "9600,E,9,1", "9600,E,3,1", "9600,E,8,3",
                            "9600,E,8,1,", "110,E,8,1", "9600,,8,1", "9600,E,8,1.5x", " 9600,E,8,1", "", "96000,E,8,1"})
        EXPECT_FALSE(parseSettings(bad)) << bad;
}

struct ComponentTest : ::testing::Test {
    ComponentTest()
        : port(new ScriptedPort), comp(std::unique_ptr<SerialBackend>(port), [](int n) {
              if (n == 5)
                  throw CommError("no device");
              return "/dev/port" + std::to_string(n);
          })
    {
    }
    ScriptedPort* port;
    SerialComponent comp;
};

TEST_F(ComponentTest, RefusedValuesRaiseAndKeepThePreviousOnes)
{
    comp.setCommPort(3);
    comp.setSettings("19200,N,7,2");
    EXPECT_THROW(comp.setSettings(",E,8,1"), CommError);
    EXPECT_EQ(comp.Settings(), (LineSettings{19200, Parity::None, 7, StopBits::Two}));
    EXPECT_THROW(comp.setCommPort(17), CommError);
    EXPECT_EQ(comp.CommPort(), 3);
    EXPECT_THROW(comp.setInputLen(0), CommError);
    EXPECT_THROW(comp.setInputMode(0), CommError);
    EXPECT_THROW(comp.setEOFEnable(true), CommError);
}

TEST_F(ComponentTest, OpenNeedsAPortWithADevice)
{
    comp.setCommPort(0);
    EXPECT_THROW(comp.setPortOpen(true), CommError);
    comp.setCommPort(5);
    EXPECT_THROW(comp.setPortOpen(true), CommError);
    EXPECT_TRUE(port->opens.empty());
    EXPECT_FALSE(comp.PortOpen());

    port->refuseOpen = "busy";
    comp.setCommPort(2);
    EXPECT_THROW(comp.setPortOpen(true), CommError);
    EXPECT_FALSE(comp.PortOpen());

    port->refuseOpen.reset();
    comp.setSettings("2400,O,7,2");
    comp.setPortOpen(true);
    ASSERT_EQ(port->opens.size(), 2u);
    EXPECT_EQ(port->opens.back().device, "/dev/port2");
    EXPECT_EQ(port->opens.back().settings, (LineSettings{2400, Parity::Odd, 7, StopBits::Two}));
    EXPECT_FALSE(port->opens.back().dtr);
    EXPECT_FALSE(port->opens.back().rts);
    EXPECT_THROW(comp.setCommPort(4), CommError) << "the port cannot change while open";
}

TEST_F(ComponentTest, OutputIsOneWriteAndOnlyWhileOpen)
{
    const Bytes frame{0x5B, 0xA4, 0x03, 0x10, 0x00, 0x00, 0x13};
    comp.Output(frame);
    EXPECT_TRUE(port->writes.empty());
    comp.setPortOpen(true);
    comp.Output(frame);
    ASSERT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(port->writes[0], frame);
}

TEST_F(ComponentTest, FullOutputBufferDropsTheFrameWithoutANotification)
{
    int notifications = 0;
    comp.OnComm = [&] { ++notifications; };
    comp.setOutBufferSize(1024);
    comp.setPortOpen(true);
    port->pending = 1020; // the device has stopped taking bytes
    EXPECT_TRUE(comp.Output(Bytes{0x5A, 0xA5}));
    EXPECT_FALSE(comp.Output(Bytes{0x5B, 0xA4, 0x03, 0x10, 0x00, 0x00, 0x13}));
    EXPECT_EQ(port->writes.size(), 1u);
    EXPECT_EQ(comp.framesDropped(), 1);
    EXPECT_EQ(notifications, 0) << "no handler runs inside the tick that sent";
    comp.setPortOpen(false);
    comp.setPortOpen(true);
    EXPECT_EQ(comp.framesDropped(), 0) << "counted per opening";
}

TEST_F(ComponentTest, ReceiveNotificationDeliversEveryWaitingByte)
{
    comp.setRThreshold(1);
    comp.setPortOpen(true);
    Bytes got;
    int notifications = 0;
    comp.OnComm = [&] {
        ++notifications;
        ASSERT_EQ(comp.CommEvent(), SerialComponent::comEvReceive);
        while (comp.InBufferCount() >= 1)
            got.push_back(comp.Input());
    };
    port->feed({0x22, 0x03, 0x00});
    port->feed({0x1B});
    EXPECT_EQ(notifications, 2);
    EXPECT_EQ(got, (Bytes{0x22, 0x03, 0x00, 0x1B}));
    EXPECT_EQ(comp.InBufferCount(), 0);
    EXPECT_EQ(comp.Input(), 0) << "nothing waits";
}

TEST_F(ComponentTest, ClosingDropsWhatWasNotRead)
{
    comp.setPortOpen(true);
    port->feed({0x01, 0x02});
    EXPECT_EQ(comp.InBufferCount(), 2);
    comp.setPortOpen(false);
    EXPECT_FALSE(comp.PortOpen());
    EXPECT_EQ(comp.InBufferCount(), 0);
}
