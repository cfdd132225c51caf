// ComeOne on a scripted port: the values it takes, the open and the close.
#include "link/SerialComponent.h"
#include "support/ScriptedPort.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::Bytes;
using cmbvhp::test::ScriptedPort;

TEST(LineSettingsText, AcceptsExactlyTheFormsTheConsoleBuilds)
{
    const std::pair<const char*, LineSettings> good[] = { // the first: what a component has before settings are given
        {"9600,E,8,1", {}},  {"19200,N,7,2", {19200, Parity::None, 7, StopBits::Two}},
        {"600,S,4,1.5", {600, Parity::Space, 4, StopBits::OneAndHalf}}, {"1200,O,6,1", {1200, Parity::Odd, 6, StopBits::One}},
        {"2400,M,5,1", {2400, Parity::Mark, 5, StopBits::One}}, {"4800,O,8,2", {4800, Parity::Odd, 8, StopBits::Two}}};
    for (const auto& [text, want] : good)
        EXPECT_EQ(parseSettings(text), want) << text;
    for (const char* bad : {",E,8,1", "9600,E,8", "9600E81", "9600,e,8,1", "9600,E,9,1", "9600,E,3,1", "9600,E,8,3",
                            "9600,E,8,1,", "110,E,8,1", "9600,,8,1", "9600,E,8,1.5x", " 9600,E,8,1", "", "96000,E,8,1"})
        EXPECT_FALSE(parseSettings(bad)) << bad;
}

TEST(SerialComponent, RefusedValuesOpenAndClose)
{
    auto* port = new ScriptedPort;
    SerialComponent comp(std::unique_ptr<SerialBackend>(port), [](int n) { return "/dev/port" + std::to_string(n); });
    // Refused values raise and keep the previous ones.
    comp.setCommPort(3);
    comp.setSettings("19200,N,7,2");
    EXPECT_THROW(comp.setSettings(",E,8,1"), CommError);
    EXPECT_THROW(comp.setCommPort(17), CommError);
    EXPECT_EQ(comp.CommPort(), 3);
    const auto refused = [&](void (SerialComponent::*set)(int), int n) { try { (comp.*set)(n); return '-'; } catch (const CommError&) { return 'x'; } };
    std::string sizes; // 0, 1, 32767 and 32768 as the in and out buffers' sizes, the send and the receive threshold
    for (const int n : {0, 1, 32767, 32768})
        sizes += std::string{refused(&SerialComponent::setInBufferSize, n), refused(&SerialComponent::setOutBufferSize, n), refused(&SerialComponent::setSThreshold, n), refused(&SerialComponent::setRThreshold, n)};
    EXPECT_EQ(sizes, "xx----------xxxx");
    EXPECT_FALSE(comp.Output(Bytes{0x5A, 0xA5})) << "nothing goes out while closed";
    comp.setCommPort(2);
    comp.setPortOpen(true);
    EXPECT_TRUE(port->opens.back().device == "/dev/port2" && port->opens.back().settings == (LineSettings{19200, Parity::None, 7, StopBits::Two})) << port->opens.back().device;
    EXPECT_FALSE(port->opens.back().dtr || port->opens.back().rts) << "low unless raised";
    EXPECT_TRUE(refused(&SerialComponent::setCommPort, 4) == 'x' && [&] { try { comp.setSettings("9600,E,8,1"); return false; } catch (const CommError&) { return true; } }()) << "neither the port nor the settings while open";

    // Frames out and bytes in run through every scenario of the logic tests;
    // here what is left when no one reads.
    EXPECT_EQ(comp.Input(), 0) << "nothing waits";
    port->feed({0x01, 0x02});
    EXPECT_EQ(std::pair(comp.InBufferCount(), comp.CommEvent()), std::pair(2, 0)) << "held, and no event: fewer than the receive threshold, 32767 since the sizes above";
    comp.setPortOpen(false);
    EXPECT_EQ(comp.InBufferCount(), 0) << "closing drops what was not read";
    comp.setNullDiscard(true);
    comp.setPortOpen(true);
    port->feed({0x00, 0x01, 0x00});
    EXPECT_EQ(comp.InBufferCount(), 1) << "NUL discarded";
}
