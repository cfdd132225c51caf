// The QSerialPort backend and the serial component on real pseudo-terminals.
#include "link/QtSerialBackend.h"
#include "link/SerialComponent.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;
using Bytes = std::vector<std::uint8_t>;

namespace {
struct Recorder : SerialBackend::Listener {
    void readable() override { ++notifications; }
    void lost(const std::string& why) override { reasons.push_back(why); }
    int notifications = 0;
    std::vector<std::string> reasons;
};
const LineSettings k9600E81{9600, Parity::Even, 8, StopBits::One};

// What the device end has received once it holds at least `n` bytes.
Bytes farEnd(Pty& pty, std::size_t n)
{
    Bytes got;
    processUntil([&] {
        const Bytes more = pty.readAvailable();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= n;
    });
    return got;
}
} // namespace

TEST(QtSerialBackend, BytesCrossUnchangedBothWays)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    Recorder rec;
    port.setListener(&rec);
    port.open(pty.slave, {19200, Parity::None, 7, StopBits::Two}, false, false);
    const Bytes frame{0x63, 0x9C, 0x04, 0x01, 0x00, 0x15, 0x00, 0x10};
    port.write(frame);
    EXPECT_EQ(farEnd(pty, frame.size()), frame);
    pty.write({0x22, 0x03, 0x1B, 0x01, 0x00, 0x19, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(processUntil([&] { return port.bytesAvailable() >= 9; }));
    EXPECT_GE(rec.notifications, 1);
    std::uint8_t buf[16];
    ASSERT_EQ(port.read(buf), 9u);
    EXPECT_EQ(Bytes(buf + 5, buf + 9), (Bytes{0x19, 0x00, 0x0D, 0x0A})) << "NUL delivered, no line-end translation";
}

TEST(QtSerialBackend, WhatTheHostCannotDoIsRefused)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    for (const LineSettings& s : {LineSettings{9600, Parity::Even, 8, StopBits::OneAndHalf}, LineSettings{9600, Parity::Even, 4, StopBits::One}}) {
        EXPECT_THROW(port.open(pty.slave, s, false, false), CommError);
        EXPECT_FALSE(port.isOpen());
    }
    EXPECT_THROW(port.open("/dev/cm_bv_hp-no-such-port", k9600E81, false, false), CommError);
    for (Parity p : {Parity::None, Parity::Odd, Parity::Mark, Parity::Space}) {
        port.open(pty.slave, {600, p, 5, StopBits::Two}, false, false);
        EXPECT_TRUE(port.isOpen());
        port.close();
    }
}

// Regression: a vanished device kept the descriptor readable with every read
// failing, so the port errors repeated on every turn of the loop.
TEST(QtSerialBackend, LostDeviceIsReportedOnceAndTheLoopGoesQuiet)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    QtSerialBackend port;
    Recorder rec;
    port.setListener(&rec);
    port.open(pty.slave, k9600E81, false, false);
    pty.closeMaster();
    ASSERT_TRUE(processUntil([&] { return !rec.reasons.empty(); }));
    EXPECT_FALSE(port.isOpen());
    const int notifications = rec.notifications;
    processUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(rec.reasons.size(), 1u);
    EXPECT_EQ(rec.notifications, notifications);
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
    EXPECT_TRUE(rec.reasons.empty());
    EXPECT_TRUE(port.isOpen()) << "the new opening was left alone";
    port.onError(QSerialPort::ReadError);
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.reasons, std::vector<std::string>{"the device no longer answers reads"});
    EXPECT_FALSE(port.isOpen());
}

// A device that stops reading blocks nothing: frames beyond the output buffer
// are dropped.
TEST(SerialComponent, WritesToADeviceThatStoppedReadingNeverBlock)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    SerialComponent comp(std::make_unique<QtSerialBackend>(), [&](int) { return pty.slave; });
    comp.setOutBufferSize(1024);
    comp.setPortOpen(true);
    const Bytes frame{0x73, 0x8C, 0x05, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x0F};
    int refused = 0;
    for (int i = 0; i < 20000; ++i) {
        refused += !comp.Output(frame);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_GT(refused, 0) << "the pseudo-terminal's own buffer should have filled";
    EXPECT_EQ(comp.framesDropped(), refused);
}
