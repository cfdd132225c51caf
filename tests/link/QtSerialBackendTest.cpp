// The QSerialPort backend and the serial component on real pseudo-terminals.
#include "link/QtSerialBackend.h"
#include "link/SerialComponent.h"
#include "Pty.h"
#include "support/ScriptedPort.h"

#include <QCoreApplication>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

using namespace cmbvhp;
using cmbvhp::sim::Pty;
using Bytes = std::vector<std::uint8_t>;

namespace {
const LineSettings k9600E81{9600, Parity::Even, 8, StopBits::One};

// A backend on a pseudo-terminal, counting its notifications and losses.
struct Backend : SerialBackend::Listener, ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(pty.ok());
        port.setListener(this);
    }
    void readable() override
    {
        ++notifications;
        if (readInside) { // as the serial component does
            std::uint8_t buf[64];
            got.insert(got.end(), buf, buf + port.read(buf));
            waited = port.waited();
        }
    }
    void lost(const std::string& why) override { reasons.push_back(why); }

    Pty pty;
    QtSerialBackend port;
    int notifications = 0;
    bool readInside = false;
    Bytes got;
    std::chrono::milliseconds waited{-1}; // as the last delivery told it
    std::vector<std::string> reasons;
};
} // namespace

TEST_F(Backend, BytesCrossUnchangedBothWaysWithTheSettingsGiven)
{
    std::string lines;
    port.onModemLine = [&](const char* line, bool on) { lines += std::string(line) + (on ? "+ " : "- "); };
    port.open(pty.name(), {19200, Parity::None, 7, StopBits::Two}, false, false);
    const termios t = pty.settings();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(std::tuple(t.c_cflag & (CSTOPB | CRTSCTS), t.c_iflag & (IXON | IXOFF), t.c_lflag & (ICANON | ECHO), lines),
              std::tuple(tcflag_t{CSTOPB}, tcflag_t{0}, tcflag_t{0}, std::string("DTR- RTS- "))) << "no flow control, raw, lines down";
    const Bytes frame{0x63, 0x9C, 0x04, 0x01, 0x00, 0x15, 0x00, 0x10};
    port.write(frame);
    Bytes far;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        std::uint8_t buf[64];
        far.insert(far.end(), buf, buf + pty.read(buf));
        return far.size() >= frame.size();
    }));
    EXPECT_EQ(far, frame);
    pty.write(Bytes{0x22, 0x03, 0x1B, 0x01, 0x00, 0x19, 0x00, 0x0D, 0x0A});
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.bytesAvailable() >= 9; }));
    EXPECT_GE(notifications, 1);
    std::uint8_t buf[16];
    ASSERT_EQ(port.read(buf), 9u);
    EXPECT_EQ(port.read(buf), 0u) << "nothing more";
    EXPECT_EQ(Bytes(buf + 5, buf + 9), (Bytes{0x19, 0x00, 0x0D, 0x0A})) << "NUL delivered, no line-end translation";
}

TEST_F(Backend, WhatTheHostCannotDoIsRefused)
{
    for (const LineSettings& s : {LineSettings{9600, Parity::Even, 8, StopBits::OneAndHalf}, LineSettings{9600, Parity::Even, 4, StopBits::One}}) {
        EXPECT_THROW(port.open(pty.name(), s, false, false), CommError);
        EXPECT_FALSE(port.isOpen());
    }
    EXPECT_THROW(port.open("/dev/cm_bv_hp-no-such-port", k9600E81, false, false), CommError);
    port.open(pty.name(), {600, Parity::Mark, 5, StopBits::Two}, false, false);
    EXPECT_TRUE(port.isOpen()) << "what it can do opens";
}

// Regression: a vanished device kept the descriptor readable with every read
// failing, so the port errors repeated on every turn of the loop.
TEST_F(Backend, LostDeviceIsReportedOnceAndTheLoopGoesQuiet)
{
    port.open(pty.name(), k9600E81, false, false);
    pty.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reasons.empty(); }));
    EXPECT_FALSE(port.isOpen());
    const int before = notifications;
    QTest::qWait(200);
    EXPECT_TRUE(reasons.size() == 1 && notifications == before) << reasons.size() << " losses told, " << notifications - before << " notifications more";
}

// Each way the port fails while open is a loss, told once with what the
// operator needs to know. Regression: a failed write went untold. A timeout or
// an operation the port cannot do is no loss.
TEST_F(Backend, EachFailureWhileOpenIsReportedAsALoss)
{
    const std::pair<QSerialPort::SerialPortError, std::string> errors[] = {
        {QSerialPort::ResourceError, "the device was removed"}, {QSerialPort::ReadError, "the device no longer answers reads"},
        {QSerialPort::WriteError, "the device no longer takes writes"}, {QSerialPort::TimeoutError, ""}, {QSerialPort::UnsupportedOperationError, ""}};
    for (const auto& [error, reason] : errors) {
        reasons.clear();
        port.open(pty.name(), k9600E81, false, false);
        port.onError(error);
        QCoreApplication::processEvents();
        EXPECT_TRUE((reasons.empty() ? "" : reasons.front()) == reason && port.isOpen() == reason.empty()) << error << " told as \"" << (reasons.empty() ? "" : reasons.front()) << '"';
        port.close();
    }
}

// Regression: a loss queued before the operator closed the port, or closed and
// opened it again, closed the new opening.
TEST_F(Backend, LossReportOfAnEarlierOpeningIsDropped)
{
    Pty second;
    EXPECT_FALSE(port.lossPending()) << "none before the first opening";
    port.open(pty.name(), k9600E81, false, false);
    port.onError(QSerialPort::ReadError);
    ASSERT_TRUE(port.lossPending());
    port.close();
    port.open(second.name(), k9600E81, false, false);
    QCoreApplication::processEvents();
    EXPECT_TRUE(reasons.empty() && port.isOpen()) << "the new opening was left alone";
    port.onError(QSerialPort::ReadError);
    QCoreApplication::processEvents();
    EXPECT_TRUE(reasons == std::vector<std::string>{"the device no longer answers reads"} && !port.isOpen()) << reasons.size() << " losses told";
}

// Regression: a device pulled while the port was being opened failed the modem
// lines with an error taken for a late report of the opening before; every
// later loss of that opening was then ignored.
TEST_F(Backend, LossWhileOpeningFailsTheOpenOnceAndLaterLossesAreReported)
{
    port.onModemLine = [&](const char*, bool) { pty.close(); };
    try {
        port.open(pty.name(), k9600E81, false, false);
        ADD_FAILURE() << "the open succeeded";
    } catch (const CommError& e) {
        EXPECT_STREQ(e.what(), "the device was removed while the port was being opened");
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(!port.isOpen() && reasons.empty() && !port.lossPending()) << "told once, by the open";
    port.onModemLine = nullptr;
    Pty second;
    port.open(second.name(), k9600E81, false, false);
    second.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reasons.empty(); }));
    EXPECT_EQ(reasons.size(), 1u);
}

// Regression: a pseudo-terminal kept what was written to it while the port
// was closed, and a reopened port read replies of the last session first.
TEST_F(Backend, BytesFromBeforeTheOpeningAreDiscarded)
{
    pty.write(Bytes{0x44, 0x11, 0x11});
    port.open(pty.name(), k9600E81, false, false);
    pty.write(Bytes{0x22});
    ASSERT_TRUE(QTest::qWaitFor([&] { return port.bytesAvailable() >= 1; }));
    QTest::qWait(20);
    std::uint8_t buf[8];
    EXPECT_EQ(Bytes(buf, buf + port.read(buf)), Bytes{0x22});
}

// After a delivery the port rests: what comes meanwhile waits for drain(),
// which delivers it before returning, or for the end of the longest rest. The
// beat's drain leaves a busy line resting; a quiet one, or the drain before a
// frame goes out, leaves the port listening.
TEST_F(Backend, AfterADeliveryThePortRestsUntilDrainedAndTheBeatLeavesABusyLineResting)
{
    using enum SerialBackend::AfterDrain;
    readInside = true;
    port.open(pty.name(), k9600E81, false, false);
    pty.write(Bytes{0x11});
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifications > 0; }));
    got.clear();
    // What comes, how the port is drained (none: the longest rest ends), and
    // whether it rests on.
    const struct { Bytes comes; std::optional<SerialBackend::AfterDrain> drain; bool restsOn; } steps[] = {{{0x22}, RestWhileBusy, true}, {{0x33}, RestWhileBusy, true}, {{}, RestWhileBusy, false},
                 {{0x44}, Listen, false}, {{0x55}, std::nullopt, false}};
    bool resting = true;
    for (const auto& step : steps) {
        SCOPED_TRACE("what comes: " + test::toHex(step.comes));
        if (!resting)
            port.rest();
        pty.write(step.comes);
        QTest::qWait(10);
        EXPECT_TRUE(got.empty()) << "resting";
        if (step.drain)
            EXPECT_EQ(port.drain(*step.drain), step.restsOn);
        else
            EXPECT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }, 3 * QtSerialBackend::kLongestRest.count()));
        EXPECT_EQ(got, step.comes);
        EXPECT_TRUE(got.empty() || waited.count() >= 10) << "what waited tells how long it may have: " << waited.count();
        got.clear();
        resting = step.restsOn;
    }
    pty.write(Bytes{0x66});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }));
    EXPECT_TRUE(waited.count() == 0 && (port.close(), !port.drain(RestWhileBusy))) << "a listening port delivers at once (" << waited.count() << " ms); a closed one asks for no next beat";
    QTest::qWait(10); // the rest that delivery began, cut short by the close, is not the next opening's
    port.open(pty.name(), k9600E81, false, false);
    pty.write(Bytes{0x77}), got.clear();
    EXPECT_TRUE(!port.drain(Listen) && got == Bytes{0x77} && waited.count() == 0) << "the next opening's first bytes waited " << waited.count() << " ms";
}

// A device that stops reading blocks nothing: frames beyond the output buffer
// are dropped.
TEST_F(Backend, WritesToADeviceThatStoppedReadingNeverBlock)
{
    SerialComponent comp(std::make_unique<QtSerialBackend>(), [&](int) { return pty.name(); });
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

// A driver may keep other settings than those asked for: read back, each is
// told by name. Only character devices of the pseudo-terminal majors are spared.
TEST(LineReadBack, WhatThePortKeptOtherwiseIsRefusedByName)
{
    // Parity and data bits asked, what the driver kept, and what is refused.
    const auto p = [](Parity parity, int bits = 8, StopBits stop = StopBits::One) { return LineSettings{9600, parity, bits, stop}; };
    using enum Parity;
    const struct { LineSettings asked; tcflag_t kept; const char* refused; } rows[] = {
        {p(None), CS8, nullptr}, {p(None), CS8 | PARENB, "parity"}, {p(Even), CS8 | PARENB, nullptr}, {p(Even), CS8, "parity"},
        {p(Even), CS8 | PARENB | PARODD, "parity"}, {p(Even), CS8 | PARENB | CMSPAR, "parity"}, {p(Odd), CS8 | PARENB | PARODD, nullptr},
        {p(Odd), CS8 | PARENB, "parity"}, {p(Odd), CS8 | PARENB | PARODD | CMSPAR, "parity"}, {p(Mark), CS8 | PARENB | PARODD | CMSPAR, nullptr},
        {p(Mark), CS8 | PARENB | PARODD, "parity"}, {p(Mark), CS8 | PARENB | CMSPAR, "parity"}, {p(Space), CS8 | PARENB | CMSPAR, nullptr},
        {p(Space), CS8 | PARENB | PARODD | CMSPAR, "parity"}, {p(Space), CS8 | CMSPAR, "parity"}, {p(None, 7), CS8, "data bits"},
        {p(None, 5), CS5, nullptr}, {p(None, 8, StopBits::Two), CS8 | CSTOPB, nullptr}, {p(None, 8, StopBits::Two), CS8, "stop bits"},
        {p(None), CS8 | CSTOPB, "stop bits"},
    };
    for (const auto& row : rows) {
        termios t{};
        t.c_cflag = row.kept;
        const char* refused = refusedSetting(t, row.asked);
        EXPECT_EQ(std::string(refused ? refused : "-"), std::string(row.refused ? row.refused : "-"))
            << static_cast<int>(row.asked.parity) << ' ' << row.asked.dataBits << " kept " << row.kept;
    }
    const std::pair<unsigned, bool> majors[] = {{135, false}, {136, true}, {143, true}, {144, false}, {4, false}};
    for (const auto& [major, pseudo] : majors) {
        struct stat st{};
        st.st_mode = S_IFCHR;
        st.st_rdev = makedev(major, 3);
        EXPECT_EQ(isPseudoTerminal(st), pseudo) << major;
        st.st_mode = S_IFREG;
        EXPECT_FALSE(isPseudoTerminal(st)) << "a file, " << major;
    }
}
