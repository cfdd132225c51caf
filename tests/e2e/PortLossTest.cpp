// A USB adapter pulled out while the port is open, played by closing the far
// end of a pseudo-terminal.
#include "console/ConsoleApp.h"
#include "console/LogView.h"
#include "console/frmBody.h"
#include "link/PortNames.h"
#include "link/QtSerialBackend.h"
#include "support/Pty.h"

#include <QAbstractButton>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

using namespace cmbvhp;
using cmbvhp::test::processUntil;
using cmbvhp::test::Pty;
using namespace std::chrono_literals;

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct PortLoss : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const PortNames names(dir.path().toStdString());
        window = std::make_unique<frmBody>(std::make_unique<QtSerialBackend>(), hostPorts(names));
        window->Form_Load();
    }
    void plug(Pty& pty)
    {
        const std::filesystem::path link = std::filesystem::path(dir.path().toStdString()) / "com1";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(pty.slave, link);
    }
    void clickPortOpen() { window->findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"))->click(); }
    QString rx() { return window->receiveLog().toPlainText(); }

    QTemporaryDir dir;
    std::unique_ptr<frmBody> window;
};

} // namespace

TEST_F(PortLoss, PulledAdapterIsReportedOnceWithoutSpinningAndCanBeReopened)
{
    auto pty = std::make_unique<Pty>();
    ASSERT_TRUE(pty->ok());
    plug(*pty);
    clickPortOpen();
    ASSERT_EQ(window->gblFlag().portOpen, kTrue);
    pty->write({0x11});
    ASSERT_TRUE(processUntil([&] { return rx().startsWith(QStringLiteral("11 ")); }));

    pty->closeMaster();
    ASSERT_TRUE(processUntil([&] { return window->gblFlag().portOpen == kFalse; }));
    EXPECT_FALSE(window->timer1().isEnabled());
    EXPECT_FALSE(window->comeOne().PortOpen());
    EXPECT_EQ(window->findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"))->text(), QStringLiteral("Port Open"));
    EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("checkBv"))->isEnabled());

    // The loop goes quiet: no further report and no busy loop.
    const QString report = rx();
    const double cpuBefore = cpuSeconds();
    processUntil([] { return false; }, 500ms);
    const double cpuUsed = cpuSeconds() - cpuBefore;
    EXPECT_EQ(rx(), report);
    EXPECT_EQ(report.count(QStringLiteral("was lost")), 1) << report.toStdString();
    EXPECT_TRUE(report.endsWith(QStringLiteral("11 \r\nCOM1 was lost (the device no longer answers reads); the port is closed.\r\n")))
        << report.toStdString();
    EXPECT_LT(cpuUsed, 0.25) << "the window's thread spun on the dead port";

    // The adapter comes back under the same port number.
    Pty again;
    ASSERT_TRUE(again.ok());
    plug(again);
    clickPortOpen();
    EXPECT_EQ(window->gblFlag().portOpen, kTrue);
    again.write({0x44});
    ASSERT_TRUE(processUntil([&] { return rx().endsWith(QStringLiteral("44 ")) || rx().contains(QStringLiteral("44 ")); }));
}

TEST_F(PortLoss, ClosingTheWindowWhileOpenReleasesThePort)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    plug(pty);
    clickPortOpen();
    ASSERT_EQ(window->gblFlag().portOpen, kTrue);
    window->show();
    window->close(); // the close box: no handler runs
    window.reset();
    // Released: the port opens again at once.
    const PortNames names(dir.path().toStdString());
    frmBody next(std::make_unique<QtSerialBackend>(), hostPorts(names));
    next.Form_Load();
    next.findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"))->click();
    EXPECT_EQ(next.gblFlag().portOpen, kTrue);
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
