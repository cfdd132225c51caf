// The session file and the line health as the window keeps them, on a
// scripted port and a clock the test sets.
#include "support/Console.h"

#include <QCheckBox>
#include <QFile>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace cmbvhp::test;

namespace {
// 2026-12-07 07:12:03.408 UTC
constexpr std::int64_t kMorning = 1796627523408;

// What the file holds; after the lines waiting are handed over, unless `now` is false.
QString fileText(Console& c, bool now = true)
{
    EXPECT_TRUE(!now || c.window.recorder().waitWritten(std::chrono::seconds(5)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !c.window.recorder().filePath().isEmpty(); }));
    QFile f(c.window.recorder().filePath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("(no file)");
}

// The frame's tooltip, as hovering it shows; taken, so that Qt shows the next
// tip without its first delay.
QString hover(Console& c, const char* frame)
{
    QWidget* w = c.get(QString::fromLatin1(frame));
    QHelpEvent e(QEvent::ToolTip, QPoint(4, 30), w->mapToGlobal(QPoint(4, 30)));
    QCoreApplication::sendEvent(w->childAt(4, 30) ? w->childAt(4, 30) : w, &e);
    return e.isAccepted() ? QToolTip::text() : QStringLiteral("(the tip's event was left to Qt)");
}
} // namespace

// Regression for local time: the test program runs in UTC, which would hide a
// file written in UTC.
TEST(SessionFile, EveryEventIsALineInLocalTimeInTheOrderItHappened)
{
    const LocalZone zone("XST-5:30");
    std::int64_t now = kMorning;
    Console c;
    c.portTips = {QStringLiteral("link to /dev/test1")};
    c.get<QCheckBox>("checkHp")->setChecked(true);
    c.openWithFirstReply(now);
    c.port->feed(hex("11")); // in the frame's own millisecond
    now += 15;
    c.get<QLineEdit>("TxtCh")->setText(QStringLiteral("100.7"));
    c.button("cmCmd(4)")->click();
    c.button("bvCmd(0)")->click();
    c.button("cmCmd(0)")->click();
    c.button("cmdHp1(4)")->click();
    now += 40'676'487; // past midnight: the next frame is the new day's first event
    c.port->pending = 1024;
    c.window.Timer1_Timer();
    c.get<QCheckBox>("checkBv")->setChecked(false), c.button("cmdPortOpen")->click(); // no longer chosen, it had a frame: told
    EXPECT_EQ(fileText(c).toStdString(),
              "# cm_bv_hp " CMBVHP_VERSION " session of COM1, opened 2026-12-07 12:42:03.408 local time (UTC+05:30)\n"
              "# port COM1: link to /dev/test1\n# line settings 9600,E,8,1\n# devices Bill Validator, Coin Mechanism, Hopper\n"
              "# events: TX sent, DROP not taken by the port, RX received (+ms after the frame before), OP operator, NOTE console\n"
              "12:42:03.408 TX 5A A5\n12:42:03.431 RX 22 03 1B 01 00 19 +23 ms\n12:42:03.508 TX 62 9D\n"
              "12:42:03.508 RX 11 +0 ms\n12:42:03.523 OP Change 100.7\n12:42:03.523 OP Stand By (Bill Validator)\n"
              "12:42:03.523 OP Stand By (Coin mechanism or Selector)\n12:42:03.523 OP status\n"
              "# date 2026-12-08\n00:00:00.010 DROP 72 8D\n00:00:00.010 NOTE COM1 is not taking bytes; frames are dropped until it does.\n"
              "# closed 00:00:00.010: Port Close\n"
              "# Bill Validator: 1 frames, 1 answered, 0 bad, 0 silent; reply after median 23 ms, p99 23 ms, max 23 ms\n"
              "# Coin mechanism or Selector: 0 frames, 0 answered, 0 bad, 0 silent; no reply\n"
              "# Hopper: 0 frames, 0 answered, 0 bad, 0 silent; no reply\n# 7 bytes received\n");
    EXPECT_TRUE(c.window.recorder().filePath().endsWith(QStringLiteral("/cm_bv_hp/sessions/2026-12-07_12-42-03.408_COM1.log")));
    now = kMorning;
    c.button("cmdPortOpen")->click();
    c.button("cmdPortOpen")->click();
    fileText(c);
    EXPECT_TRUE(c.window.recorder().filePath().endsWith(QStringLiteral("/2026-12-07_12-42-03.409_COM1.log"))) << "another in the same millisecond lists after";
    c.get<QCheckBox>("checkHp")->setChecked(false), c.button("cmdPortOpen")->click(); // and a device not chosen has no closing line
    c.port->feed(hex("44"));
    c.port->loseDevice("gone\r\naway"); // a reason of more than one line is one in the file
    const QString lost = fileText(c);
    EXPECT_TRUE(lost.contains(QStringLiteral(" RX 44\n12:42:03.408 NOTE COM1 was lost (gone  away); the port is closed.\n# closed 12:42:03.408: the port was lost (gone  away)\n")) && lost.endsWith(QStringLiteral("\n# 1 bytes received\n")) && !lost.contains(QStringLiteral("# Hopper"))) << lost.toStdString();
    Console off; // as a benchmark runs it
    off.window.setSessionRecording(false);
    off.button("cmdPortOpen")->click();
    EXPECT_FALSE(off.window.recorder().active());
}

TEST(SessionFile, EachDeviceFrameTellsItsLineHealthFromTheOpeningOn)
{
    std::int64_t now = kMorning;
    Console c;
    c.window.setLogClock([&] { return now; });
    c.window.show();
    for (int opening = 0; opening < 2; ++opening) {
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(hover(c, "Frame5") + u'|' + hover(c, "Frame3"), QStringLiteral("No frames yet|No frames yet")) << "from zero";
        c.window.Timer1_Timer();
        now += 18;
        c.port->feed(hex("11"));
        c.window.Timer1_Timer();
        EXPECT_EQ(hover(c, "Frame5"), QStringLiteral("1 frames, 1 answered, 0 bad, 0 silent\nreply after median 18 ms, p99 18 ms, max 18 ms"));
        for (int tick = 0; tick < 2; ++tick) // the coin device's frame, judged silent; the next opening starts again with the bill validator
            c.window.Timer1_Timer();
        EXPECT_EQ(hover(c, "Frame4") + u'|' + hover(c, "Frame3"), QStringLiteral("1 frames, 0 answered, 0 bad, 1 silent\nno reply|No frames yet"));
        c.button("cmdPortOpen")->click();
    }
}

TEST(SessionFile, AFolderOrADiskThatFailsIsToldOnceAndPollingGoesOn)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile(plain).open(QIODevice::WriteOnly);
    const QByteArray saved = qgetenv("XDG_STATE_HOME"), home = qgetenv("HOME");
    qputenv("HOME", "relative");
    // why: "%1" is the file
    const struct { QString state; std::function<void(Console&)> harm; QString why; } cases[] = {
        {QStringLiteral("relative"), {}, QStringLiteral("neither XDG_STATE_HOME nor HOME is set to an absolute folder")},
        {plain, {}, QStringLiteral("cannot make the folder ") + plain + QStringLiteral("/cm_bv_hp/sessions: Not a directory")},
        {dir.path(), [](Console& c) { QFile::remove(c.window.recorder().filePath()); }, QStringLiteral("%1 was removed while it was written")},
        {dir.path(), [](Console&) { const rlimit small{600, RLIM_INFINITY}; setrlimit(RLIMIT_FSIZE, &small); },
         QStringLiteral("cannot write %1: File too large")},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.why.toStdString());
        qputenv("XDG_STATE_HOME", k.state.toLocal8Bit());
        OnScreen c; // laid out, as the first message of a log meets it
        c.button("cmdPortOpen")->click();
        c.window.timer1().setEnabled(false); // the test ticks
        c.window.recorder().waitWritten(std::chrono::seconds(5));
        (void)QTest::qWaitFor([&] { return !c.window.recorder().filePath().isEmpty(); }, 200);
        const QString file = c.window.recorder().filePath();
        if (k.harm)
            k.harm(c);
        for (int tick = 0; tick < 20; ++tick)
            c.window.Timer1_Timer(), c.window.recorder().waitWritten(std::chrono::seconds(5));
        const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
        const QString told = QStringLiteral("This session is not being recorded: ") + QString(k.why).replace(QStringLiteral("%1"), file) + u'.';
        EXPECT_TRUE(QTest::qWaitFor([&] { return c.rxLog().startsWith(told); })) << c.rxLog().toStdString();
        EXPECT_TRUE(c.rxLog().count(QStringLiteral("not being recorded")) == 1 && c.port->writes.size() == 20) << "told once; polling goes on";
        c.button("cmdPortOpen")->click(), c.button("cmdPortOpen")->click(), c.window.Timer1_Timer();
        EXPECT_TRUE(!k.harm || fileText(c).contains(QStringLiteral(" TX 5A A5\n"))) << "the next session is recorded";
    }
    qputenv("XDG_STATE_HOME", saved), qputenv("HOME", home);
}

// The sessions folder is kept within its limit while sessions run: the
// console's own files go, oldest by their names; nothing else goes. A limit
// that is no size is told, and the default kept. Regression: another
// program's *.log went, so did every *.log of a folder the sessions folder
// linked to, and the session another console was writing.
TEST(SessionFile, TheFolderBoundRemovesOnlyTheConsolesOwnClosedSessionsOldestByName)
{
    namespace fs = std::filesystem;
    QTemporaryDir dir, linked, elsewhere;
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
    const fs::path folder = dir.filePath(QStringLiteral("cm_bv_hp/sessions")).toStdString(), outside = elsewhere.path().toStdString();
    fs::create_directories(folder);
    const auto kib300 = [](const fs::path& p) { std::ofstream(p) << std::string(300 << 10, 'x'); };
    // The console's names, oldest first by the names; the times on disk run the other way.
    const char* own[] = {"2026-12-06_09-59-59.999_COM2.log", "2026-12-06_10-00-00_COM1.log", "2026-12-06_10-00-00_COM1-2.log",
                         "2026-12-07_08-00-00.000_COM1.log"};
    const char* foreign[] = {"other-program.log", "2026-12-06_10-00-00_COM1.log.bak", "2026-12-01_00-00-00_COM17.log", "2026-12-02_00-00-00_COM1.log"};
    for (int i = 0; i < 4; ++i) {
        kib300(folder / own[i]);
        fs::last_write_time(folder / own[i], fs::file_time_type::clock::now() - std::chrono::hours(i + 1));
        kib300(outside / foreign[i]);
        if (i < 3)
            fs::copy_file(outside / foreign[i], folder / foreign[i]);
        else
            fs::create_symlink(outside / foreign[i], folder / foreign[i]);
    }
    auto present = [&] {
        std::string s;
        for (const char* name : own)
            s += fs::exists(folder / name) ? '1' : '0';
        for (const char* name : foreign)
            s += fs::exists(folder / name) && fs::exists(outside / name) ? '1' : '0';
        return s;
    };
    qputenv("CM_BV_HP_SESSIONS_MB", "1099511627777"); // a MiB past the largest size taken
    std::int64_t earlier = kMorning - 48 * 3600'000;
    Console writing; // another console, whose session is the oldest by its name
    writing.window.setLogClock([&] { return earlier; });
    writing.button("cmdPortOpen")->click();
    EXPECT_TRUE(fileText(writing).startsWith(QStringLiteral("# cm_bv_hp "))) << "the header comes first";
    EXPECT_TRUE(writing.rxLog().contains(QStringLiteral("CM_BV_HP_SESSIONS_MB is \"1099511627777\", which is no size in MiB; the sessions folder is kept under 1024 MiB.")));
    EXPECT_EQ(present(), "11111111");
    qputenv("CM_BV_HP_SESSIONS_MB", "1");
    Console c;
    c.button("cmdPortOpen")->click();
    fileText(c);
    EXPECT_EQ(present(), "01111111") << "the oldest by name goes";
    c.port->feed(Bytes(400 << 10, 0x5A)); // one read, which the file holds as three times that
    const QStringList rx = fileText(c).split(u'\n').filter(QStringLiteral(" RX 5A"));
    EXPECT_EQ(std::tuple(rx.size(), rx.value(0).size(), rx.value(1).size()), (std::tuple<qsizetype, qsizetype, qsizetype>(2, 15 + 3 * (6 << 16), 15 + 3 * (1 << 14)))) << "the line ends with the 64 KiB piece that passes 1 MiB; the rest is the next, and last";
    writing.window.Timer1_Timer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileText(writing, false).contains(QStringLiteral(" TX 5A A5\n")); })) << "still written, and handed over with no reply after it";
    EXPECT_EQ(present(), "00001111") << "the open session alone passes the limit";
    EXPECT_TRUE(QTest::qWaitFor([&] { return c.rxLog().contains(QStringLiteral("The file of this session alone passes the sessions folder's limit of 1 MiB; it is kept whole.\r\n")); }));
    EXPECT_EQ(c.rxLog().count(QStringLiteral("alone passes")), 1) << "once";
    EXPECT_FALSE(writing.rxLog().contains(QStringLiteral("not being recorded")));

    qputenv("XDG_STATE_HOME", linked.path().toLocal8Bit()), qputenv("CM_BV_HP_SESSIONS_MB", "1099511627776"); // the largest size taken
    fs::create_directories(linked.filePath(QStringLiteral("cm_bv_hp")).toStdString());
    fs::create_directory_symlink(folder, linked.filePath(QStringLiteral("cm_bv_hp/sessions")).toStdString());
    Console throughLink;
    throughLink.button("cmdPortOpen")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return throughLink.rxLog().contains(QStringLiteral("This session is not being recorded: the sessions folder ") + linked.path() + QStringLiteral("/cm_bv_hp/sessions is a symbolic link, which the console does not follow.\r\n")); }));
    EXPECT_EQ(present() + QString::number(throughLink.window.recorder().folderLimit()).toStdString(), "000011111099511627776");
    qunsetenv("CM_BV_HP_SESSIONS_MB");
    qputenv("XDG_STATE_HOME", saved);
}

// Either log's menu opens the session being written, as far as it is written,
// in the viewer; without a session it says so.
TEST(SessionFile, TheLogMenuOpensTheSessionBeingWrittenInTheViewer)
{
    Console c;
    QStringList launched;
    c.window.launch = [&](const QString& program, const QStringList& args) { return launched << program << args, true; };
    c.window.receiveLog().openInViewer();
    EXPECT_EQ(c.get<QMessageBox>("message")->text(), QStringLiteral("No session is being recorded: open the port first."));
    c.button("cmdPortOpen")->click();
    fileText(c);
    c.window.transmitLog().openInViewer();
    ASSERT_EQ(launched.size(), 2);
    EXPECT_TRUE(launched[0].endsWith(QStringLiteral("cm_bv_hp_view")) && launched[1] == c.window.recorder().filePath()) << launched.join(u' ').toStdString();

    // The menu itself: what it offers, and what is off, with nothing chosen
    // and no sessions folder, and with both.
    const auto menuOf = [](LogView& log) {
        QMenu menu;
        log.fillMenu(menu);
        QStringList items;
        for (const QAction* a : menu.actions())
            items << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (off)")));
        return items.join(u'|');
    };
    LogView bare;
    EXPECT_EQ(menuOf(bare), QStringLiteral("Copy (off)|Select All|-|Open Session Folder (off)"));
    bare.append(u"11 \r\n");
    bare.selectAll();
    bare.setRecordFolder(QStringLiteral("/sessions"));
    bare.openInViewer = [] {};
    EXPECT_EQ(menuOf(bare), QStringLiteral("Copy|Select All|-|Open Session Folder|Open in Session Viewer"));
}

// The names the bound may remove: the console's own, of this version and the
// one before, as digits that sort as the times; and names that only look so.
TEST(SessionFile, OnlyTheConsolesOwnNamesTellAnOpeningTime)
{
    const std::pair<const char*, const char*> rows[] = {
        {"2026-12-07_13-45-10.223_COM1.log", "20261207134510223000001"},
        {"2026-12-07_13-45-10_COM16.log", "20261207134510000000001"},
        {"2026-12-07_13-45-10_COM2-12.log", "20261207134510000000012"},
        {"2026-12-07_13-45-10.223_COM17.log", "-"},
        {"2026-12-07_13-45-10.223_COM01.log", "-"},
        {"2026-12-07_13-45-10.223_COMx5.log", "-"},
        {"2026-12-07_13-45-10.223_COM5x.log", "-"},
        {"2026-12-07_13-45-10.223_COM.log", "-"},
        {"2026-12-07_13-45-10.223_COM1-2.log", "-"},
        {"2026-12-07_13-45-10_COM1-0.log", "-"},
        {"2026-12-07_13-45-10_COM1-1234567.log", "-"},
        {"2026-12-07_13-45-10_COM1-12", "-"},
        {"2026-12-07_13-45-1x_COM1.log", "-"},
        {"2026-12-07_13-45-10.223_COM1.log~", "-"},
    };
    for (const auto& [name, time] : rows)
        EXPECT_EQ(sessionFileTime(name).value_or("-"), time) << name;
}

// The writer on its own: a file opened over one left open closes the first;
// a failed file is told once however much comes after; the folder is looked
// at again after each 16 MiB written, for what other consoles wrote meanwhile.
TEST(SessionFile, TheWriterClosesWhatItLeavesTellsAFailureOnceAndLooksAgainEvery16MiB)
{
    namespace fs = std::filesystem;
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString(), other = folder / "2026-12-01_00-00-00.000_COM2.log";
    const auto file = [&](int ms) { return (folder / sessionFileName(kMorning + ms, 1)).string(); };
    const auto open = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    std::ofstream(other) << "x";
    const int input = ::dup(STDIN_FILENO); // closed, as a console's may be: the files get descriptor 0 in turn
    ::close(STDIN_FILENO);
    const long before = open();
    std::string told; // written by the writer's thread, under its lock
    const auto note = [&](const char* kind) { return [&, kind](std::uint64_t s, const std::string& w) { told += kind + std::to_string(s) + ' ' + w + '|'; }; };
    {
        SessionWriter w(note("failed "), note("opened "), note("notice "));
        const std::function<void()> steps[] = {
            [&] { w.open(1, folder, kMorning, 1, 18u << 20), w.write(1, std::string(1 << 20, 'x')), w.write(1, "small"), w.open(2, folder, kMorning, 1, 18u << 20); },
            [&] { fs::resize_file(other, 10u << 20), w.write(2, std::string(SessionWriter::kCheckEvery, 'x')); }, // it grew; then exactly 16 MiB since the last look
            [&] { w.write(2, "y"); },
            [&] { w.close(2), w.open(3, folder, kMorning, 1, 18u << 20); },
            [&] { fs::remove(file(2)), w.write(3, "z"), w.write(3, "z"), w.close(3); }};
        std::string seen;
        for (const auto& step : steps) {
            step();
            ASSERT_TRUE(w.waitIdle(std::chrono::seconds(5)));
            seen += std::to_string(open() - before) + (fs::exists(other) ? '+' : '-') + (fs::exists(file(0)) ? "+ " : "- ");
        }
        EXPECT_EQ(seen, "1++ 1++ 1-+ 1-+ 0-+ ") << "descriptors open, the other console's file, the first session's";
        EXPECT_GE(w.spare().capacity(), 1u << 20) << "the bigger room is kept";
    }
    ::dup2(input, STDIN_FILENO), ::close(input);
    EXPECT_EQ(told, "opened 1 " + file(0) + "|opened 2 " + file(1) + "|opened 3 " + file(2) + "|failed 3 " + file(2) + " was removed while it was written|");
}
