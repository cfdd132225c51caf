// The real console, offscreen, opened through the port-number rule: on the
// device simulator running as its own process, and on a pseudo-terminal whose
// far end is pulled away like a USB adapter. And the console's command line.
#include "window/ConsoleApp.h"
#include "window/DisplayPace.h"
#include "record/SessionReader.h"
#include "link/QtSerialBackend.h"
#include "support/Console.h"
#include "viewer/SessionIndex.h"
#include "viewer/ViewerCommands.h"
#include "Output.h"
#include "Pty.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QDeadlineTimer>
#include <QTest>
#include <QDir>
#include <QTimer>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

using namespace cmbvhp::test;
using cmbvhp::sim::Pty;

namespace {

// Only a failure waits this long.
constexpr std::chrono::milliseconds kPatience{10000};

// A console whose COM1 is the link "com1" in a folder of its own.
class EndToEnd : public ::testing::Test {
protected:
    // Starts the simulator with COM1 linked to it; it ends with the test.
    void startSimulator(const QStringList& options = {"--bill-every", "0", "--coin-every", "0", "--quiet"})
    {
        end(SIGHUP); // as its terminal closing ends it
        std::error_code left; // a link a killed simulator left: replaced
        std::filesystem::create_symlink("/dev/pts/none", com1_, left);
        sim_.setProgram(QStringLiteral(CMBVHP_SIM_PATH));
        sim_.setArguments(QStringList{"--link", QString::fromStdString(com1_.string())} + options);
        sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim_.setStandardInputFile(QString::fromStdString(keys_.name())); // its keys, as a technician types them
        sim_.start();
        ASSERT_TRUE(sim_.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::is_symlink(com1_) && sim_.peek(22) == "simulator on /dev/pts/"; })) << "linked, and told where it stands";
    }
    void click(const char* name) { c_.button(QString::fromLatin1(name))->click(); }
    // A link another simulator took since is not this one's to remove.
    void TearDown() override { std::filesystem::remove(com1_), std::filesystem::create_symlink("/dev/pts/another", com1_);
                               end(SIGTERM); EXPECT_TRUE(std::filesystem::is_symlink(com1_)) << "another simulator's link is kept"; }
    void end(int signal) { if (sim_.processId() > 0) ::kill(static_cast<pid_t>(sim_.processId()), signal);
                           EXPECT_TRUE(sim_.program().isEmpty() || ((sim_.state() == QProcess::NotRunning || sim_.waitForFinished(5000)) && sim_.exitStatus() == QProcess::NormalExit && sim_.exitCode() == 0 &&
                                                                  sim_.readAllStandardOutput().endsWith("replies dropped because the console did not read: 0 bytes\n"))) << "the signal ends it well"; }

    // A session with a payout: "Change" 8 at the 14th tick, "Port Close"
    // after the 30th.
    QString payoutSession()
    {
        int ticks = 0;
        QObject clock;
        QObject::connect(c_.window.findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout, &clock,
                         [&] { if (++ticks == 14) c_.get<QLineEdit>("TxtCh")->setText(QStringLiteral("8")), click("cmCmd(4)"); });
        click("cmdPortOpen");
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 30; }, kPatience.count()));
        click("cmdPortOpen");
        return sessionFile(c_.window.recorder());
    }
    static QString sessionFile(SessionRecorder& r)
    {
        EXPECT_TRUE(r.waitWritten(std::chrono::seconds(5)) && QTest::qWaitFor([&] { return !r.filePath().isEmpty(); }));
        return readAll(r.filePath());
    }
    static QString readAll(const QString& path) { QFile f(path); return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString(); }
    // Each frame of a session file with the bytes that came after it.
    using Exchanges = std::vector<std::pair<QString, QString>>;
    static Exchanges exchanges(const QString& file)
    {
        Exchanges out;
        for (const QString& line : file.split(u'\n')) {
            const QString tag = line.mid(13, 3);
            if (tag == QStringLiteral("TX "))
                out.emplace_back(line.mid(16), QString());
            else if (tag == QStringLiteral("RX ") && !out.empty())
                out.back().second += (out.back().second.isEmpty() ? QString() : QStringLiteral(" ")) + line.mid(16).section(QStringLiteral(" +"), 0, 0);
        }
        return out;
    }
    // The same exchanges, but for the reply to the last frame, which may come
    // after the port is closed.
    static void expectSame(const Exchanges& a, const Exchanges& b)
    {
        const std::size_t n = std::min(a.size(), b.size());
        EXPECT_GE(n, 30u);
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_TRUE(a[i].first == b[i].first && (a[i].second == b[i].second || i + 1 == n))
                << i << ": " << a[i].first.toStdString() << " -> " << a[i].second.toStdString() << " | " << b[i].first.toStdString()
                << " -> " << b[i].second.toStdString();
    }

    QTemporaryDir dir_;
    std::filesystem::path com1_{std::filesystem::path(dir_.path().toStdString()) / "com1"};
    QProcess sim_;
    Pty keys_;
    Console c_{std::make_unique<QtSerialBackend>(), hostPorts(PortNames(com1_.parent_path()))};
};

} // namespace

// Regression: a pulled adapter kept the loop spinning on failed reads (the
// backend's test shows the loop going quiet). Here: the loss is reported once,
// and the adapter is taken back under the same number.
TEST_F(EndToEnd, PulledAdapterIsReportedOnceAndCanBeReopened)
{
    EXPECT_EQ(hostPortDescriptions(PortNames(com1_.parent_path()))().size(), 16) << "a tip for each number";
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

// Regression: bytes that came while the port rested waited in the driver for
// the next beat or tick, and a click acted first. "Dec" recorded itself before
// the reply, cleared a log that then showed the reply, and the reply was
// never framed; "Port Close", "Finish" and SIGTERM kept only its first byte.
TEST_F(EndToEnd, AReplyThatCameJustBeforeAClickIsTakenInBeforeTheClickActs)
{
    Pty pty;
    ASSERT_TRUE(pty.ok());
    std::filesystem::create_symlink(pty.name(), com1_);
    click("cmdPortOpen");
    c_.window.timer1().setEnabled(false); // the test ticks
    // The reply's tail after its first byte, what then acts (a click as the
    // operator clicks, or a signal), and the receive log and the 1B box after.
    const struct { const char* tail; std::function<void()> act; QString log; QString box; } steps[] = {
        {"03 1B 01 00 19", [&] { QTest::mouseClick(c_.button(QStringLiteral("ViewMode(2)")), Qt::LeftButton); }, QString(), QStringLiteral("01 00 ")},
        {"03 1B 40 00 58", [&] { c_.window.finish(QStringLiteral("Finish, on SIGTERM")); }, QStringLiteral("22 03 1B 40 00 58 \r\n"), QStringLiteral("40 00 ")},
    };
    for (const auto& step : steps) {
        c_.window.Timer1_Timer(); // the bill validator's slot
        pty.write(hex("22"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return c_.rxLog().endsWith(QStringLiteral("22 ")); })) << "taken in: the port rests";
        pty.write(hex(step.tail));
        const QDeadlineTimer arrival(kPatience.count());
        while (pty.waiting() < 5)
            ASSERT_FALSE(arrival.hasExpired()) << "the tail at the port, and the port resting";
        step.act();
        EXPECT_EQ(c_.rxLog() + u'|' + c_.boxText("txt1b"), step.log + u'|' + step.box) << step.tail;
        click("ViewMode(0)");
        c_.window.Timer1_Timer(); // the coin device's slot, silent
    }
    QString file = sessionFile(c_.window.recorder());
    file.replace(QRegularExpression(QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d{3}")), QStringLiteral("T")).replace(QRegularExpression(QStringLiteral("\\d+ ms")), QStringLiteral("N ms"));
    EXPECT_TRUE(file.endsWith(QStringLiteral("T TX 5A A5\nT RX 22 03 1B 01 00 19 +N ms\nT OP View Dec\nT OP View Hex\nT TX 62 9D\n"
                                             "T TX 5A A5\nT RX 22 03 1B 40 00 58 +N ms\n# closed T: Finish, on SIGTERM\n"
                                             "# Bill Validator: 1 frames, 1 answered, 0 bad, 0 silent; reply after median N ms, p99 N ms, max N ms\n"
                                             "# Coin mechanism or Selector: 1 frames, 0 answered, 0 bad, 1 silent; no reply\n# 12 bytes received\n")))
        << file.toStdString();
}

// Regression: Qt's own options were applied (-reverse mirrored the window). A
// -platform that does not exist would end the program at once if it were taken.
// The viewer given one FILE stays open on it, even on one it refuses.
TEST(CommandLine, QtOptionsAreIgnoredAndTheViewerStaysOpenOnItsFile)
{
    for (const auto& [program, args] : {std::pair(QStringLiteral(CMBVHP_CONSOLE_PATH), QStringList{"-platform", "cm-bv-hp-no-such-platform", "-reverse"}), {QStringLiteral(CMBVHP_VIEW_PATH), {"/nonexistent/s.log"}}}) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        ASSERT_TRUE(p.waitForStarted(5000));
        EXPECT_FALSE(p.waitForFinished(1500)) << p.readAll().toStdString();
        p.kill();
        p.waitForFinished(3000);
    }
}

// The viewer's, the ports tool's, the simulator's and the by-hand tools'
// command lines, as a script meets them: the exit status and how the answer
// begins. A simulator whose record cannot be written leaves no link.
TEST(CommandLine, EachProgramAnswersItsArguments)
{
    QTemporaryDir dir;
    const QString session = dir.filePath(QStringLiteral("s.log"));
    QFile f(session);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("# cm_bv_hp 1.2 session of COM1, opened 2026-12-07 10:00:00.000 local time (UTC+00:00)\n10:00:00.100 TX 5A A5\n") > 0 && f.flush());
    const QString view = QStringLiteral(CMBVHP_VIEW_PATH), ports = QStringLiteral(CMBVHP_PORTS_PATH);
    const struct { QString program; QStringList args; int status; QString begins; } rows[] = {
        {view, {"--version"}, 0, QStringLiteral("cm_bv_hp_view " CMBVHP_VERSION "\n")},
        {view, {"--help"}, 0, QStringLiteral("Usage: cm_bv_hp_view [FILE]\n")},
        {view, {"--summary"}, 2, QStringLiteral("cm_bv_hp_view: --summary needs at least one FILE (see --help)\n")},
        {view, {"--summary", session}, 0, QStringLiteral("file\topened\t")},
        {view, {"--at", "10:00:00.000", session}, 0, QStringLiteral("txtamount \nTxtCh 0\n")}, // the opening moment is the session's, before its first tick
        {view, {"--at", session}, 2, QStringLiteral("cm_bv_hp_view: --at needs a TIME and a FILE (see --help)\n")},
        {view, {"--at", "10:00:00.100", dir.filePath(QStringLiteral("none"))}, 1, dir.filePath(QStringLiteral("none is refused: "))},
        {view, {"--summary", dir.filePath(QStringLiteral("none"))}, 1, QStringLiteral("file\topened\t")},
        {view, {session, session}, 2, QStringLiteral("cm_bv_hp_view: one FILE at a time (see --help)\n")},
        {view, {"--window"}, 2, QStringLiteral("cm_bv_hp_view: unknown option --window (see --help)\n")},
        {ports, {"--help"}, 0, QStringLiteral("Usage: cm_bv_hp_ports [link N DEVICE | unlink N]\n")},
        {ports, {"bogus"}, 2, QStringLiteral("usage: cm_bv_hp_ports [link N DEVICE | unlink N]")},
        {QStringLiteral(CMBVHP_SIM_PATH), {"--version"}, 0, QStringLiteral("cm_bv_hp_sim " CMBVHP_VERSION "\n")}, {QStringLiteral(CMBVHP_SIM_PATH), {"--help"}, 0, QStringLiteral("Usage: cm_bv_hp_sim [options]\n")},
        {QStringLiteral(CMBVHP_SIM_PATH), {"--frob"}, 2, QStringLiteral("cm_bv_hp_sim: unknown option --frob (see --help)\n")},
        {QStringLiteral(CMBVHP_SIM_PATH), {"--replay", session + u'x'}, 1, QStringLiteral("cm_bv_hp_sim: ") + session + QStringLiteral("x is refused: ")},
        {QStringLiteral(CMBVHP_SIM_PATH), {"--link", dir.filePath(QStringLiteral("com1")), "--record", dir.filePath(QStringLiteral("no/x"))}, 1, QStringLiteral("cm_bv_hp_sim: cannot write ")}, {QStringLiteral(CMBVHP_SIM_PATH), {"--link", session + QStringLiteral("/com1")}, 1, QStringLiteral("cm_bv_hp_sim: cannot link ") + session + QStringLiteral("/com1: Not a directory\n")},
        {QStringLiteral(CMBVHP_SOAK_PATH), {}, 2, QStringLiteral("usage: cm_bv_hp_soak SIMULATOR [minutes] [hours of logs before]\n")}, {QStringLiteral(CMBVHP_SOAK_PATH), {dir.filePath(QStringLiteral("none")), "0"}, 1, QString()}, // no simulator: no day of logs to fill
        {QStringLiteral(CMBVHP_SCREENSHOT_PATH), {"x.png", "1", "x"}, 2, QStringLiteral("usage: cm_bv_hp_screenshot OUT.png [milliseconds to run]\n       cm_bv_hp_screenshot --viewer SESSION OUT.png\n")},
        {QStringLiteral(CMBVHP_SCREENSHOT_PATH), {}, 2, QStringLiteral("usage: ")}, {QStringLiteral(CMBVHP_SCREENSHOT_PATH), {"--viewer", dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("x.png"))}, 1, QString()},
    };
    for (const auto& row : rows) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(row.program, row.args);
        ASSERT_TRUE(p.waitForFinished(10000));
        const QString out = QString::fromUtf8(p.readAll());
        EXPECT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == row.status && out.startsWith(row.begins))
            << row.args.join(u' ').toStdString() << ": " << p.exitCode() << ' ' << out.toStdString();
    }
    EXPECT_FALSE(QFileInfo(dir.filePath(QStringLiteral("com1"))).isSymLink());
}

// The figures the README promises are the ones the code keeps.
TEST_F(EndToEnd, TheReadmesFiguresAreTheCodes)
{
    const QString readme = readAll(QStringLiteral(CMBVHP_README)).simplified();
    for (const QString& figure : {QStringLiteral("painted %1 times a second at most").arg(1000.0 / kDisplayPace.count()),
                                  QStringLiteral("at most %1 ms after they came").arg(QtSerialBackend::kLongestRest.count()),
                                  QStringLiteral("waits at most %1 s for a stalled disk").arg(SessionWriter::kExitPatience.count()),
                                  QStringLiteral("kept under %1 GiB").arg(static_cast<double>(SessionRecorder::kDefaultFolderLimitMiB) / 1024),
                                  QStringLiteral("or %1 MiB of text").arg(LogLimits{}.maxChunks), // a chunk is a MiB
                                  QStringLiteral("any the console writes (%1 MiB)").arg(static_cast<double>(kLongestSessionLine) / (1 << 20)), QStringLiteral("about %1 KiB of the file's lines").arg(2 * SessionIndex::kCheckpointEvery >> 10), QStringLiteral("a line is ended after %1 ms").arg(SessionRecorder::kLongestRx.count()), QStringLiteral("more than %1 MiB behind").arg(SessionRecorder::kMostQueued >> 20),
                                  QStringLiteral("at most %1 ms after they are made").arg(SessionRecorder::kHandOver.count()),
                                  QStringLiteral("wait in a bounded buffer (%1 KiB)").arg(static_cast<double>(cmbvhp::sim::OutputQueue::kLimit) / 1024)})
        EXPECT_TRUE(readme.contains(figure)) << figure.toStdString();
}

// The session file holds the wire both ways, exactly: each frame the
// simulator received and the bytes it sent after it; and the simulator playing
// the file back gives a second session the same bytes.
TEST_F(EndToEnd, SessionFileHoldsTheWireBothWaysAndPlaysBackTheSameBytes)
{
    startSimulator({"--bill-every", "0", "--coin-every", "0"});
    const QString first = payoutSession();
    EXPECT_TRUE(first.contains(QStringLiteral(" TX 63 9C 04 01 08 00 00 0D\n")) && first.contains(QStringLiteral(" TX 63 9C 02 00 02 00\n")) &&
                !first.contains(QStringLiteral(" RX 33 19 "))) << "the payout and its Data Clear, and no bill:\n" << first.toStdString();
    // Both start-up sequences ran to their end, the coin device shows its
    // status, and the payout was followed to its end.
    EXPECT_EQ(std::tuple(c_.state().bvSeq, c_.state().cmSeq, c_.boxText("Txt0b"), c_.boxText("TxtCh"), c_.state().changeAmount),
              std::tuple(8, 8, QStringLiteral("01 "), QStringLiteral("0"), 0.0));
    // The simulator's "<- frame" and "-> reply" lines, as a session file's, for the frames of `file`.
    const auto printed = [&](const QString& file) {
        QString lines;
        (void)QTest::qWaitFor([&] { lines += QString::fromLatin1(sim_.readAllStandardOutput());
                                    return lines.count(QStringLiteral("<- ")) >= static_cast<qsizetype>(exchanges(file).size()); });
        return exchanges(lines.replace(QStringLiteral("<- "), QStringLiteral("00:00:00.000 TX ")).replace(QStringLiteral("-> "), QStringLiteral("00:00:00.000 RX ")));
    };
    const Exchanges sim = printed(first);
    EXPECT_EQ(exchanges(first).size(), sim.size());
    expectSame(exchanges(first), sim);

    startSimulator({"--replay", c_.window.recorder().filePath()});
    const QString second = payoutSession();
    expectSame(exchanges(second), exchanges(first));
    expectSame(printed(second), exchanges(second)); // the replies it played, printed as it played them
}

// A session of the console on the simulator, with a payout, bills typed at the
// simulator and a view change, read back by the viewer: at the closing time,
// --at prints each "Data" box as the console showed it when the port closed.
TEST_F(EndToEnd, TheViewerAtTheClosingTimeShowsTheBoxesTheConsoleShowed)
{
    startSimulator({"--bill-every", "0", "--coin-every", "0", "--quiet"});
    int ticks = 0;
    QObject clock;
    QObject::connect(c_.window.findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout, &clock, [&] {
        if (++ticks == 10)
            keys_.write(std::vector<std::uint8_t>{'b', 'm'}); // two bills, typed at the simulator
        if (ticks == 20)
            click("ViewMode(2)");
    });
    const QString file = payoutSession();
    keys_.write(std::vector<std::uint8_t>{'q'});
    EXPECT_TRUE(sim_.waitForFinished(5000)) << "q typed at the simulator ends it";
    const QString closed = file.section(QStringLiteral("# closed "), 1).left(12);
    std::ostringstream out, err;
    ASSERT_EQ(printBoxesAt(closed.toStdString(), c_.window.recorder().filePath().toStdString(), out, err), 0) << err.str();
    std::istringstream lines(out.str());
    int boxes = 0;
    for (std::string line; std::getline(lines, line); ++boxes) // "NAME TEXT"
        EXPECT_EQ(line.substr(line.find(' ') + 1), c_.boxText(line.substr(0, line.find(' ')).c_str()).toStdString()) << line << " at " << closed.toStdString();
    EXPECT_EQ(boxes, 14);
    EXPECT_TRUE(file.contains(QStringLiteral(" OP View Dec\n")) && !c_.boxText("txt19").startsWith(QStringLiteral("00 00 00")) && !c_.boxText("txt19").isEmpty()) << out.str();
}

// What came more than a second before a kill -9 is in the session file; a
// console ended by SIGTERM, or by the loss of its display, closes its session
// as "Finish" does, with every line written.
TEST_F(EndToEnd, AKilledConsoleKeepsAllButItsLastSecondAndATerminatedOneClosesItsSession)
{
    const QString sent = dir_.filePath(QStringLiteral("sent.bin"));
    startSimulator({"--bill-every", "0", "--coin-every", "0.2", "--record", sent, "--quiet"});
    // What ends the console (a signal to it, or its display killed), and the
    // reason its file then gives; none after a kill -9.
    const struct { const char* name; int signal; bool display; QString reason; } endings[] = {
        {"kill -9", SIGKILL, false, {}},
        {"SIGTERM", SIGTERM, false, QStringLiteral("Finish, on SIGTERM")},
        {"display killed", SIGTERM, true, QStringLiteral("Finish, on the loss of the display")}};
    for (const auto& ending : endings) {
        SCOPED_TRACE(ending.name);
        QTemporaryDir state;
        QProcess child, display;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        if (ending.display) {
            display.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-nolisten", "tcp"});
            ASSERT_TRUE(display.waitForReadyRead(kPatience.count()));
            env.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(display.readLine().trimmed()));
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        child.setProcessEnvironment(env);
        const qint64 from = QFileInfo(sent).size();
        child.start(QCoreApplication::applicationFilePath(), {"--child-console", QString::fromStdString(com1_.parent_path().string())});
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo(sent).size() > from + 100; }, kPatience.count()));
        const qint64 aSecondAgo = QFileInfo(sent).size() - from;
        if (ending.signal == SIGKILL)
            QTest::qWait(1000); // the second the file may lag
        ::kill(static_cast<pid_t>(ending.display ? display.processId() : child.processId()), ending.signal);
        ASSERT_TRUE(child.waitForFinished(5000));
        display.waitForFinished(5000);
        const auto files = QDir(state.filePath(QStringLiteral("cm_bv_hp/sessions"))).entryInfoList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        const QString file = readAll(files[0].filePath());
        QString rx;
        for (const auto& [frame, reply] : exchanges(file))
            rx += (rx.isEmpty() || reply.isEmpty() ? QString() : QStringLiteral(" ")) + reply;
        EXPECT_TRUE(QString::fromLatin1(readAll(sent).toLatin1().mid(from).toHex(' ').toUpper()).startsWith(rx));
        EXPECT_GE(rx.size() + 1, 3 * aSecondAgo) << "the bytes of the last second at most are missing";
        if (!ending.reason.isEmpty()) {
            EXPECT_TRUE(file.contains(QStringLiteral(": %1\n# Bill Validator: ").arg(ending.reason)) &&
                        file.endsWith(QStringLiteral("\n# %1 bytes received\n").arg((rx.size() + 1) / 3)))
                << file.toStdString();
        }
    }
}

// Regression: a simulator whose record could not be written left its link,
// naming a terminal the system soon hands to another program (see the command
// lines); one whose output nobody read stopped answering and no longer ended
// on a signal; one started with its input closed read the console's frames as
// keys.
TEST(Simulator, NeverLeavesItsLinkAndItsPrintingNeverStopsTheDevices)
{
    QTemporaryDir dir;
    const std::string link = dir.filePath(QStringLiteral("ports/com1")).toStdString(); // its folder made

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
    const char* args[] = {CMBVHP_SIM_PATH, "--link", link.c_str(), "--bill-every", "0", "--coin-every", "0", nullptr};
    pid_t sim = 0;
    const int spawned = posix_spawn(&sim, CMBVHP_SIM_PATH, &actions, nullptr, const_cast<char* const*>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    ::close(out[1]); // out[0] stays open and is never read
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::is_symlink(link); }));
    const int port = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::size_t frames = 0, replies = 0;
    const std::uint8_t poll5A[] = {0x5A, 0xA5};
    // Each frame prints two lines: far more than a pipe holds.
    while (replies < 20000) {
        frames += ::write(port, poll5A, 2) == 2 ? 1 : 0;
        pollfd p{port, POLLIN, 0};
        std::uint8_t buf[4096];
        if (::poll(&p, 1, 5000) != 1) // a loaded machine may stall it a while
            break;
        replies += static_cast<std::size_t>(std::max<ssize_t>(0, ::read(port, buf, sizeof buf)));
    }
    EXPECT_GE(replies, 20000u) << "answered " << replies << " of " << frames << " frames";
    ::kill(sim, SIGINT);
    // What waited is printed as the reader takes it, then what was dropped.
    std::string rest;
    char text[4096];
    for (pollfd p{out[0], POLLIN, 0}; ::poll(&p, 1, 5000) == 1;) {
        const ssize_t n = ::read(out[0], text, sizeof text);
        if (n <= 0)
            break;
        rest.append(text, static_cast<std::size_t>(n));
    }
    EXPECT_NE(rest.find("lines not printed because nobody read them: "), std::string::npos) << "what waits is bounded";
    int status = 0;
    const bool ended = QTest::qWaitFor([&] { return ::waitpid(sim, &status, WNOHANG) == sim; }, 5000);
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "Ctrl-C ends it as it should end";
    if (!ended) // not left running
        ::kill(sim, SIGKILL), ::waitpid(sim, &status, 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "the link goes with it";
    ::close(port);
    ::close(out[0]);
}
