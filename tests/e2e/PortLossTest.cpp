// A USB adapter pulled out while the port is open, played by closing the far
// end of a pseudo-terminal; and the console's command line.
#include "console/ConsoleApp.h"
#include "console/LogView.h"
#include "console/frmBody.h"
#include "link/QtSerialBackend.h"
#include "support/Pty.h"

#include <QAbstractButton>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}
} // namespace

// Regression: a pulled adapter kept the loop spinning on failed reads.
TEST(PortLoss, PulledAdapterIsReportedOnceWithoutSpinningAndCanBeReopened)
{
    QTemporaryDir dir;
    const std::filesystem::path com1 = std::filesystem::path(dir.path().toStdString()) / "com1";
    frmBody window(std::make_unique<QtSerialBackend>(), hostPorts(PortNames(com1.parent_path())));
    window.Form_Load();
    auto* open = window.findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"));
    auto rx = [&] { return window.receiveLog().toPlainText(); };
    for (int plug = 0; plug < 2; ++plug) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        std::filesystem::remove(com1);
        std::filesystem::create_symlink(pty.slave, com1);
        open->click();
        ASSERT_EQ(window.gblFlag().portOpen, kTrue) << "plugged in again under the same number";
        pty.write({0x11});
        ASSERT_TRUE(processUntil([&] { return rx().endsWith(QStringLiteral("11 ")); }));
        pty.closeMaster();
        ASSERT_TRUE(processUntil([&] { return window.gblFlag().portOpen == kFalse; }));
        EXPECT_FALSE(window.timer1().isEnabled() || window.comeOne().PortOpen());
        EXPECT_EQ(open->text(), QStringLiteral("Port Open"));
        const double cpu = cpuSeconds();
        processUntil([] { return false; }, std::chrono::milliseconds(500));
        EXPECT_LT(cpuSeconds() - cpu, 0.25) << "the window's thread spun on the dead port";
        EXPECT_TRUE(rx().endsWith(QStringLiteral("11 \r\nCOM1 was lost (the device no longer answers reads); the port is closed.\r\n")));
        EXPECT_EQ(rx().count(QStringLiteral("was lost")), plug + 1) << "reported once";
    }
}

// Regression: Qt's own options were applied (-reverse mirrored the window). A
// -platform that does not exist would end the program at once if it were taken.
TEST(CommandLine, QtOptionsAreIgnored)
{
    QProcess console;
    console.setProgram(QStringLiteral(CMBVHP_CONSOLE_PATH));
    console.setArguments({"-platform", "cm-bv-hp-no-such-platform", "-reverse"});
    console.setProcessChannelMode(QProcess::MergedChannels);
    console.start();
    ASSERT_TRUE(console.waitForStarted(5000));
    EXPECT_FALSE(console.waitForFinished(1500)) << console.readAll().toStdString();
    console.kill();
    console.waitForFinished(3000);
}
