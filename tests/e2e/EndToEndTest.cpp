// The real console, offscreen, opened through the port-number rule: on the
// device simulator running as its own process, and on a pseudo-terminal whose
// far end is pulled away like a USB adapter. And the console's command line.
#include "console/ConsoleApp.h"
#include "link/QtSerialBackend.h"
#include "support/Console.h"
#include "Pty.h"

#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <filesystem>

using namespace cmbvhp;
using namespace cmbvhp::test;
using cmbvhp::sim::Pty;

namespace {

// Only a failure waits this long.
constexpr std::chrono::milliseconds kPatience{10000};

// A console whose COM1 is the link "com1" in a folder of its own.
class EndToEnd : public ::testing::Test {
protected:
    // Starts the simulator with COM1 linked to it; it ends with the test.
    void startSimulator()
    {
        sim_.setProgram(QStringLiteral(CMBVHP_SIM_PATH));
        sim_.setArguments({"--bill-every", "0", "--coin-every", "0", "--link", QString::fromStdString(com1_.string()), "--quiet"});
        sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim_.start();
        ASSERT_TRUE(sim_.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::is_symlink(com1_); }));
    }
    void click(const char* name) { c_.button(QString::fromLatin1(name))->click(); }

    QTemporaryDir dir_;
    std::filesystem::path com1_{std::filesystem::path(dir_.path().toStdString()) / "com1"};
    QProcess sim_;
    Console c_{std::make_unique<QtSerialBackend>(), hostPorts(PortNames(com1_.parent_path()))};
};

} // namespace

TEST_F(EndToEnd, PayoutOfSeveralCoinKindsEndsWithDataClearAndTheStatusShortReplyIsShown)
{
    startSimulator();
    click("cmdPortOpen");
    // Both start-up sequences run against the simulator to their last step.
    ASSERT_TRUE(QTest::qWaitFor([&] { return c_.state().cmSeq == 8 && c_.state().bvSeq == 8 && c_.state().bvStatFlag == kTrue; }, kPatience.count()));
    // "Crem On" of the start-up changed the coin device's status: a short reply.
    ASSERT_TRUE(QTest::qWaitFor([&] { return c_.boxText("Txt0b") == QStringLiteral("01"); })) << c_.rxLog().toStdString();
    c_.get<QLineEdit>("TxtCh")->setText(QStringLiteral("8"));
    click("cmCmd(4)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return c_.txLog().contains(QStringLiteral("63 9C 4 1 8 0 0 D \r\n")); }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return c_.txLog().contains(QStringLiteral("63 9C 2 0 2 0 \r\n")); }, kPatience.count())) << c_.rxLog().toStdString();
    EXPECT_EQ(c_.boxText("txt0a") + c_.boxText("TxtCh"), QStringLiteral("01 01 01 00 0")) << "5 + 2 + 1, none left";
    EXPECT_EQ(c_.state().changeAmount, 0);
}

// Regression: a pulled adapter kept the loop spinning on failed reads (the
// backend's test shows the loop going quiet). Here: the loss is reported once,
// and the adapter is taken back under the same number.
TEST_F(EndToEnd, PulledAdapterIsReportedOnceAndCanBeReopened)
{
    for (int plug = 0; plug < 2; ++plug) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        std::filesystem::remove(com1_);
        std::filesystem::create_symlink(pty.name(), com1_);
        click("cmdPortOpen");
        ASSERT_EQ(c_.gblFlag().portOpen, kTrue) << "plugged in again under the same number";
        pty.write(std::vector<std::uint8_t>{0x11});
        ASSERT_TRUE(QTest::qWaitFor([&] { return c_.rxLog().endsWith(QStringLiteral("11 ")); }));
        pty.close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return c_.gblFlag().portOpen == kFalse; }));
        EXPECT_TRUE(c_.rxLog().endsWith(QStringLiteral("11 \r\nCOM1 was lost (the device no longer answers reads); the port is closed.\r\n")));
        EXPECT_EQ(c_.rxLog().count(QStringLiteral("was lost")), plug + 1) << "reported once";
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
