#include "link/QtSerialBackend.h"
#include "link/SerialComponent.h"
#include "support/Pty.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
struct Recorder : SerialBackend::Listener {
    void readable() override { ++notifications; }
    void lost(const std::string& why) override
    {
        ++losses;
        reason = why;
    }
    int notifications = 0;
    int losses = 0;
    std::string reason;
};
const LineSettings k9600E81{9600, Parity::Even, 8, StopBits::One};
} // namespace

TEST(QtSerialBackend, FrameArrivesByteExactOnTheFarEnd)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    port.open(pty.slave, k9600E81, false, false);
    const std::vector<std::uint8_t> frame{0x63, 0x9C, 0x04, 0x01, 0x00, 0x15, 0x00, 0x10};
    port.write(frame);
    std::vector<std::uint8_t> got;
    ASSERT_TRUE(processUntil([&] {
        const auto more = pty.readAvailable();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= frame.size();
    }));
    EXPECT_EQ(got, frame);
}

TEST(QtSerialBackend, BytesFromTheDeviceRaiseTheNotification)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    Recorder rec;
    port.setListener(&rec);
    port.open(pty.slave, {19200, Parity::None, 7, StopBits::Two}, false, false);
    pty.write({0x22, 0x03, 0x1B, 0x01, 0x00, 0x19, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(processUntil([&] { return port.bytesAvailable() >= 9; }));
    EXPECT_GE(rec.notifications, 1);
    std::uint8_t buf[16];
    ASSERT_EQ(port.read(buf), 9u);
    EXPECT_EQ(buf[6], 0x00) << "NUL bytes are delivered";
    EXPECT_EQ(buf[7], 0x0D) << "no line-ending translation";
}

TEST(QtSerialBackend, SettingsTheHostCannotDoAreRefused)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    EXPECT_THROW(port.open(pty.slave, {9600, Parity::Even, 8, StopBits::OneAndHalf}, false, false), CommError);
    EXPECT_FALSE(port.isOpen());
    EXPECT_THROW(port.open(pty.slave, {9600, Parity::Even, 4, StopBits::One}, false, false), CommError);
    EXPECT_FALSE(port.isOpen());
    for (Parity p : {Parity::None, Parity::Odd, Parity::Mark, Parity::Space}) {
        port.open(pty.slave, {600, p, 5, StopBits::Two}, false, false);
        EXPECT_TRUE(port.isOpen());
        port.close();
    }
}

TEST(QtSerialBackend, MissingDeviceIsAnError)
{
    QtSerialBackend port;
    EXPECT_THROW(port.open("/dev/cm_bv_hp-no-such-port", k9600E81, false, false), CommError);
    EXPECT_FALSE(port.isOpen());
}

// Regression: a vanished device kept the descriptor readable with every read
// failing, so the port errors repeated on every turn of the loop.
TEST(QtSerialBackend, LostDeviceIsReportedOnceAndTheLoopGoesQuiet)
{
    auto pty = std::make_unique<Pty>();
    ASSERT_TRUE(pty->ok());
    QtSerialBackend port;
    Recorder rec;
    port.setListener(&rec);
    port.open(pty->slave, k9600E81, false, false);
    pty->closeMaster();
    ASSERT_TRUE(processUntil([&] { return rec.losses > 0; }));
    EXPECT_FALSE(port.isOpen());
    const int notificationsAtLoss = rec.notifications;
    // Let the loop turn: nothing more may arrive from the closed port.
    processUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(rec.losses, 1);
    EXPECT_EQ(rec.notifications, notificationsAtLoss);
}

// Regression: a loss queued before the operator closed the port, or closed and
// opened it again, closed the new opening.
TEST(QtSerialBackend, LossReportOfAnEarlierOpeningIsDropped)
{
    Pty first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    QtSerialBackend port;
    Recorder rec;
    port.setListener(&rec);
    port.open(first.slave, k9600E81, false, false);
    port.onError(QSerialPort::ReadError);
    ASSERT_TRUE(port.lossPending());
    port.close();
    port.open(second.slave, k9600E81, false, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.losses, 0);
    EXPECT_TRUE(port.isOpen()) << "the new opening was left alone";

    port.onError(QSerialPort::ReadError);
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.losses, 1) << "a loss of this opening is reported";
    EXPECT_FALSE(port.isOpen());
}

TEST(SerialComponent, OpensARealPortThroughThePortNumberRule)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialComponent comp(std::make_unique<QtSerialBackend>(), [&](int n) {
        return n == 3 ? pty.slave : throw CommError("no device");
    });
    comp.setRThreshold(1);
    comp.setCommPort(3);
    comp.setSettings("9600,E,8,1");
    comp.setPortOpen(true);
    ASSERT_TRUE(comp.PortOpen());
    std::vector<std::uint8_t> got;
    comp.OnComm = [&] {
        while (comp.InBufferCount() >= 1)
            got.push_back(comp.Input());
    };
    pty.write({0x44});
    ASSERT_TRUE(processUntil([&] { return !got.empty(); }));
    EXPECT_EQ(got, std::vector<std::uint8_t>{0x44});
    const std::uint8_t poll[] = {0x5A, 0xA5};
    comp.Output(poll);
    std::vector<std::uint8_t> wire;
    ASSERT_TRUE(processUntil([&] {
        const auto more = pty.readAvailable();
        wire.insert(wire.end(), more.begin(), more.end());
        return wire.size() >= 2;
    }));
    EXPECT_EQ(wire, (std::vector<std::uint8_t>{0x5A, 0xA5}));
}

// A device that stops reading must not block the window's thread nor grow the
// output without bound: frames beyond the output buffer are dropped.
TEST(SerialComponent, WritesToADeviceThatStoppedReadingNeverBlock)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialComponent comp(std::make_unique<QtSerialBackend>(), [&](int) { return pty.slave; });
    comp.setOutBufferSize(1024);
    comp.setCommPort(1);
    comp.setPortOpen(true);
    const std::uint8_t frame[] = {0x73, 0x8C, 0x05, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x0F};
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        refused += !comp.Output(frame);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_GT(refused, 0) << "the pseudo-terminal's own buffer should have filled";
    EXPECT_EQ(comp.framesDropped(), refused);
    std::size_t got = 0;
    ASSERT_TRUE(processUntil([&] {
        got += pty.readAvailable().size();
        return got > 0;
    }));
}
