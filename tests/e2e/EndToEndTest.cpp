// The real console, offscreen, opened through the port-number rule on the
// device simulator running as its own process on a pseudo-terminal.
#include "console/ConsoleApp.h"
#include "console/LogView.h"
#include "console/frmBody.h"
#include "link/PortNames.h"
#include "link/QtSerialBackend.h"
#include "support/Pty.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace cmbvhp;
using cmbvhp::test::processUntil;
using namespace std::chrono_literals;

namespace {

class EndToEnd : public ::testing::Test {
protected:
    // Starts the simulator linked as COM1 and a console that finds it there.
    void start(QStringList simArgs)
    {
        ASSERT_TRUE(dir_.isValid());
        const QString link = dir_.filePath(QStringLiteral("com1"));
        simArgs << QStringLiteral("--link") << link << QStringLiteral("--quiet");
        sim_.setProgram(QStringLiteral(CMBVHP_SIM_PATH));
        sim_.setArguments(simArgs);
        sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim_.start();
        ASSERT_TRUE(sim_.waitForStarted(5000));
        ASSERT_TRUE(processUntil([&] { return QFileInfo(link).isSymLink(); }));
        const PortNames names(dir_.path().toStdString());
        window_ = std::make_unique<frmBody>(std::make_unique<QtSerialBackend>(),
                                            hostPorts(names));
        window_->Form_Load();
    }
    void TearDown() override
    {
        window_.reset();
        if (sim_.state() != QProcess::NotRunning) {
            sim_.terminate();
            if (!sim_.waitForFinished(3000))
                sim_.kill();
        }
    }

    template <typename W = QWidget>
    W* get(const char* name) { return window_->findChild<W*>(QString::fromLatin1(name)); }
    void click(const char* name) { get<QAbstractButton>(name)->click(); }
    // A data box as the operator sees it once the display has caught up.
    QString box(const char* name)
    {
        window_->showPending();
        return get<QLineEdit>(name)->text();
    }
    QString tx() { return window_->transmitLog().toPlainText(); }
    QString rx() { return window_->receiveLog().toPlainText(); }
    WindowState& state() { return window_->state(); }
    template <typename Done>
    bool within(std::chrono::milliseconds bound, Done done) { return processUntil(done, bound); }

    QTemporaryDir dir_;
    QProcess sim_;
    std::unique_ptr<frmBody> window_;
};

} // namespace

TEST_F(EndToEnd, PayoutOfSeveralCoinKindsEndsWithDataClearAndTheStatusShortReplyIsShown)
{
    start({"--bill-every", "0", "--coin-every", "0"});
    click("cmdPortOpen");
    // Both start-up sequences run against the simulator to their last step.
    ASSERT_TRUE(within(6s, [&] { return state().cmSeq == 8 && state().bvSeq == 8 && state().bvStatFlag == kTrue; }));
    // "Crem On" of the start-up changed the coin device's status: a short reply.
    ASSERT_TRUE(within(4s, [&] { return box("Txt0b") == QStringLiteral("01"); })) << rx().toStdString();
    get<QLineEdit>("TxtCh")->setText(QStringLiteral("8"));
    click("cmCmd(4)");
    ASSERT_TRUE(within(4s, [&] { return tx().contains(QStringLiteral("63 9C 4 1 8 0 0 D \r\n")); }));
    ASSERT_TRUE(within(6s, [&] { return tx().contains(QStringLiteral("63 9C 2 0 2 0 \r\n")); })) << rx().toStdString();
    EXPECT_EQ(box("txt0a"), QStringLiteral("01 01 01 00 ")) << "5 + 2 + 1";
    EXPECT_EQ(box("TxtCh"), QStringLiteral("0"));
    EXPECT_EQ(state().changeAmount, 0);
}

TEST_F(EndToEnd, TwoHoppersAskedInTurnReachBothCountsAndHandTheLineBack)
{
    start({"--bill-every", "0", "--coin-every", "0"});
    get<QCheckBox>("checkHp")->setChecked(true);
    click("cmdPortOpen");
    get<QLineEdit>("hpCount(0)")->setText(QStringLiteral("2"));
    get<QLineEdit>("hpCount(1)")->setText(QStringLiteral("3"));
    click("cmdHp1(0)");
    ASSERT_TRUE(within(4s, [&] { return tx().contains(QStringLiteral("73 8C 5 0 2 0 0 0 7 \r\n")); }));
    click("cmdHp1(1)");
    ASSERT_TRUE(within(4s, [&] { return tx().contains(QStringLiteral("73 8C 5 0 0 3 0 0 6 \r\n")); }));
    ASSERT_TRUE(within(4s, [&] { return box("txt14") == QStringLiteral("02 03 00 00 "); }))
        << rx().toStdString();
    ASSERT_TRUE(within(2s, [&] { return state().curDevice != device::kHopper; }));
    const qsizetype at = tx().size();
    ASSERT_TRUE(within(2s, [&] {
        return tx().indexOf(QStringLiteral("5A A5"), at) >= 0 && tx().indexOf(QStringLiteral("62 9D"), at) >= 0;
    })) << "back to the bill validator and the coin mechanism";
}
