// The session viewer: a session the console recorded, read back through the
// same logic, on the command line and in its window.
#include "support/Console.h"
#include "viewer/SessionIndex.h"
#include "viewer/TimeLine.h"
#include "viewer/ViewerCommands.h"
#include "viewer/ViewerWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace cmbvhp::test;

namespace {
constexpr std::int64_t kEvening = 1796650139992; // 2026-12-07 23:58:59.992 at UTC+10:30: the second reply comes past midnight, its frame before
constexpr Box kShown[] = {Box::txtamount, Box::TxtCh, Box::Txt08, Box::Txt09, Box::txt0a, Box::Txt0b, Box::txt18,
                          Box::txt19,     Box::txt1a, Box::txt1b, Box::txt14, Box::txt15, Box::txt16, Box::txt17};

std::string writeFile(const QTemporaryDir& dir, const char* name, const std::string& text)
{
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream(path) << text;
    return path;
}

// A session on the console with each kind of event, and the boxes it showed
// after each step: two ticks a minute, so that the session passes midnight.
struct Recorded {
    std::string file;
    std::vector<std::pair<std::int64_t, std::vector<QString>>> shown;
    QString health;
    Recorded()
    {
        // Away from UTC, so that the file's times are read back in the zone it names.
        const LocalZone zone("XST-10:30");
        std::int64_t now = kEvening;
        Console c;
        c.get<QCheckBox>("checkHp")->setChecked(true);
        c.window.setLogClock([&] { return now; });
        c.button("cmdPortOpen")->click();
        c.window.timer1().setEnabled(false);
        const auto tickAnd = [&](const char* reply, std::initializer_list<const char*> clicksBefore = {}) {
            now += 30'000;
            c.window.Timer1_Timer();
            now += 5;
            for (const char* name : clicksBefore)
                c.button(name)->click();
            if (*reply)
                c.port->feed(hex(reply));
            std::vector<QString> boxes;
            for (const QString& name : Console::names("txtamount TxtCh Txt08 Txt09 txt0a Txt0b txt18 txt19 txt1a txt1b txt14 txt15 txt16 txt17"))
                boxes.push_back(c.boxText(name.toLatin1().constData()));
            shown.emplace_back(now++, boxes); // what the operator does next comes a millisecond later
        };
        c.port->pending = 1022; // a frame that fills the port's 1024 bytes is taken
        tickAnd("22 03 1B 01 00 19");
        c.port->pending = 0;
        tickAnd("33 13 00 08 12 05 00 99 00 0A 00 00 00 00 00 0B 01 00 00 00 00 95");
        c.get<QLineEdit>("TxtCh")->setText(QStringLiteral("30"));
        c.button("cmCmd(4)")->click();
        tickAnd("");
        tickAnd("11");
        tickAnd("33 19 00 18 00 00 01 00 00 19 00 00 01 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 13");
        tickAnd("33 13 00 08 00 00 00 00 00 0A 10 05 00 00 00 0B 01 00 00 00 00 0E");
        c.button("ViewMode(2)")->click();
        c.button("bvCmd(3)")->click();
        tickAnd("22 03 1B 40 00 58");
        c.button("ViewMode(0)")->click();
        c.button("Command2")->click();
        c.get<QLineEdit>("hpCount(0)")->setText(QStringLiteral("1"));
        c.button("cmdHp1(0)")->click();
        tickAnd("22 03 1B 02 00 1A", {"cmdHp1(4)", "bvCmd(0)"}); // read as the bill validator's, the device clicked last
        tickAnd("33 00 15 01 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00");
        c.port->pending = 1024;
        tickAnd("");
        health = c.window.health().party(Party::Coin).summary();
        EXPECT_TRUE(c.window.recorder().waitWritten(std::chrono::seconds(5)) && QTest::qWaitFor([&] { return !c.window.recorder().filePath().isEmpty(); }));
        file = c.window.recorder().filePath().toStdString(); // the session ends as the console closes, the port still open
    }
};
const Recorded& recorded()
{
    static const Recorded r;
    return r;
}
} // namespace

// One decoder: the boxes read at every moment what the console showed then,
// the line health counts what the console counted, and the day is known past
// midnight from the recorder's "# date" line.
TEST(SessionViewer, ReadsEachMomentAsTheConsoleShowedIt)
{
    const Recorded& r = recorded();
    std::string error;
    auto index = SessionIndex::open(r.file, error);
    std::vector<double> heard; // the shares read; a checkpoint at every line, so that each moment is played from one
    // Unread, the first minute is the stretch around any moment.
    ASSERT_TRUE(index && index->stretchAround(0) == std::pair(kEvening, kEvening + 60'000) && index->build([&](double share) { heard.push_back(share); }, nullptr, 1)) << error << (index ? index->error() : "");
    EXPECT_TRUE(heard.size() > 2 && heard[1] > 0 && std::is_sorted(heard.begin(), heard.end()) && std::adjacent_find(heard.begin(), heard.end()) == heard.end() && heard.back() == 1.0) << "heard at each checkpoint as it grows, up to the whole and no more";
    // Read, from the checkpoint at or before the moment (one a line here) to the one two lines on: before the first event,
    // and at the second reply, followed by the Change and the tick that sends it.
    EXPECT_TRUE(index->stretchAround(kEvening - 1) == std::pair(kEvening, kEvening + 30'005) && index->stretchAround(r.shown[1].first) == std::pair(r.shown[1].first, r.shown[1].first + 30'001));
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto held = descriptors();
    for (const auto& [ms, boxes] : r.shown) {
        SessionReplay replay;
        index->play(replay, ms, ms);
        for (std::size_t i = 0; i < std::size(kShown); ++i)
            EXPECT_EQ(replay.box(kShown[i]), boxes[i]) << index->timeText(ms) << " box " << i;
    }
    EXPECT_EQ(descriptors(), held) << "each moment's reader closes its file";
    EXPECT_EQ(index->health().party(Party::Coin).summary(), r.health);
    EXPECT_EQ(index->timeText(r.shown.back().first), "2026-12-08 00:04:00.051");
    const std::string text(std::istreambuf_iterator<char>(std::ifstream(r.file).rdbuf()), {});
    EXPECT_TRUE(text.find("\n23:59:59.998 TX 62 9D\n# date 2026-12-08\n00:00:00.003 RX") != std::string::npos && text.find("# date") == text.rfind("# date")) << "one date line, before the new day's first event";
    // The marks: the Change, the two views, Clear Text, HP #1, status and Stand By; the drop
    // and its notice; silent coin frames.
    std::string kinds;
    for (const auto& m : index->marks())
        kinds += SessionIndex::kMarkNames[static_cast<int>(m.kind)][0];
    EXPECT_EQ(kinds, "OOOOOOOODN");
}

TEST(SessionViewer, CommandLineSummaryAndBoxesAtATime)
{
    const Recorded& r = recorded();
    QTemporaryDir dir;
    const std::string old = writeFile(dir, "old.log",
                                      "# cm_bv_hp 1.1 session of COM2, opened 2026-11-30 23:59:59.000 local time (UTC-01:00)\n"
                                      "# devices Bill Validator, Selector\n23:59:59.100 TX 5A A5\n23:59:59.101 RX 22 03 1B 01 00 19 +1 ms\n"
                                      "00:00:00.100 TX 5A A5\n00:00:00.150 NOTE cut\n00:00:00.200 RX 44");
    const std::string bad = writeFile(dir, "bad.log", "# cm_bv_hp 1.2 session of COM1, opened 2027-01-01 10:00:00.000 local time (UTC+00:00)\n10:00:00.100 TX 5A A5\n10:00:60.100 TX 5A A5\n");
    const std::string lost = writeFile(dir, "lost.log",
                                       "# cm_bv_hp 1.2 session of COM16, opened 2026-12-30 10:00:00.000 local time (UTC+00:00)\n"
                                       "# devices Coin Mechanism, Hopper\n10:00:00.100 TX 62 9D\n# date 2026-12-31\n# date 2026-00-31\n# date 2026-12-32\n10:00:00.300 TX 72 8D\n10:00:00.400 TX 62 9D\n"
                                       "10:00:00.500 TX 72 8D\n10:00:00.600 TX 62 9D\n10:00:00.700 TX 72 8D\n10:00:00.800 TX 62 9D\n"
                                       "# closed 23:59:59.990: the port was lost (the device no longer answers reads)\n");
    const std::string bent = writeFile(dir, "bent.log",
                                       "# cm_bv_hp 1.2 session of COM3, opened 2026-12-31 10:00:00.000 local time (UTC+00:00)\n"
                                       "10:00:00.100 TX 62 9D\r\n# date 2027-01-01\r\n10:00:00.050 TX 62 9D\r\n# closed 24:00:00.000: X\r\n"); // line ends as another system writes them, a reason of one letter
    std::ostringstream out, err;
    std::string error;
    const std::string files[] = {old, r.file, dir.filePath(QStringLiteral("none")).toStdString(), bad, lost, bent,
                                 writeFile(dir, "quiet.log", "# cm_bv_hp 1.2 session of COM1, opened 2026-12-08 10:00:00.000 local time (UTC+00:00)\n# devices Bill Validator\n# closed 10:00:00.050: Port Close\n# 0 bytes received\n")};
    EXPECT_EQ(printSummary(files, out), 1);
    std::istringstream rows(out.str());
    std::string header, first, second, third, fourth, fifth, sixth, seventh;
    for (std::string* row : {&header, &first, &second, &third, &fourth, &fifth, &sixth, &seventh})
        std::getline(rows, *row);
    // Regression: a session closed before its first event read as cut.
    EXPECT_EQ(seventh, files[6] + "\t2026-12-08 10:00:00.000\t0:00:00.050\tCOM1\tBill Validator\t-\t-\t-\t0\t0\tPort Close");
    EXPECT_EQ(sixth.substr(bent.size(), 38) + sixth.substr(sixth.rfind('\t')), "\t2026-12-31 10:00:00.000\t24:00:00.050\t\tX") << "a closing time that is none: to the last event, on the day its date line tells";
    EXPECT_EQ(fifth, lost + "\t2026-12-30 10:00:00.000\t37:59:59.990\tCOM16\tCoin Mechanism, Hopper\t-\t3/0/0/3\t3/0/0/3\t0\t0\tthe port was lost (the device no longer answers reads)") << "a month 0 or a day 32 is no date";
    auto silent = SessionIndex::open(lost, error), removed = SessionIndex::open(files[6], error);
    ASSERT_TRUE(silent && removed && silent->build() && silent->marks().size() == 2 && std::filesystem::remove(files[6]));
    EXPECT_TRUE(!removed->build() && removed->error() == "No such file or directory") << "removed once its header was read: " << removed->error();
    EXPECT_TRUE(silent->marks()[0].kind == SessionIndex::Mark::Silent && silent->marks()[0].ms == silent->info().openedMs + 100 &&
                silent->marks()[1].ms == silent->info().openedMs + 86'400'300) << "three of a device's frames in a row, from the first";
    EXPECT_EQ(first, old + "\t2026-11-30 23:59:59.000\t0:00:01.150\tCOM2\tBill Validator, Selector\t1/1/0/0\t-\t-\t0\t1\t"
                           "(no closing line: the file was cut or is being written)");
    EXPECT_TRUE(second.find("\t0:05:00.060\tCOM1\tBill Validator, Coin Mechanism, Hopper\t") != std::string::npos &&
                second.ends_with("\t1\t1\tthe window was closed")) << second;
    EXPECT_EQ(third + '|' + fourth, files[2] + "\trefused: No such file or directory|" + bad + "\trefused: line 3: not an event (HH:MM:SS.mmm TAG ...)");
    // TIME as its first occurrence after the opening, and with its date.
    EXPECT_EQ(SessionIndex::open(old, error)->info().openedMs, 1796086799000) << "2026-12-01 00:59:59.000 UTC";
    for (const char* time : {"00:00:00.120", "2026-12-01 00:00:00.120", "2026-11-30 23:59:59.500", "2026-12-31 10:00:00.000", "2027-01-01 00:00:00.000"}) {
        out.str({});
        EXPECT_TRUE(printBoxesAt(time, old, out, err) == 0 && out.str().starts_with("txtamount 0\nTxtCh 0\nTxt08 \n")) << out.str();
        EXPECT_NE(out.str().find("\ntxt1b 01 00 \n"), std::string::npos) << time;
    }
    for (const char* bad : {"24:00:00.000", "2026-11-30 23:00:00.000", "2026-11-30 23:60:00.000", "2026-11-30 23:59:60.000", "2027-00-01 00:00:00.120", "2026-12-00 23:59:59.500", "2026-11-30 24:00:00.000", "2026-12-32 00:00:00.120", "00:60:00.000", "00:00:60.000", "noon"}) // before it, a minute or second 60 that would be in it
        EXPECT_EQ(printBoxesAt(bad, old, out, err), 2) << bad;
    EXPECT_NE(err.str().find("\"noon\" is no time of the session, which opened 2026-11-30 23:59:59.000"), std::string::npos);
}

// The window: the boxes at the moment chosen by the time line, a row, a time
// typed in, and the next or previous mark of a kind.
TEST(SessionViewer, TheWindowMovesByTimeLineRowTimeAndMark)
{
    const Recorded& r = recorded();
    ViewerWindow w;
    EXPECT_EQ(w.size(), QSize(900, 700)) << "its first size";
    w.resize(900, 100); // as small as it goes: the logs hold more rows than they show
    w.show();
    EXPECT_TRUE(looksAsKept(w, QStringLiteral("viewer-unopened"))) << "an empty time line, a hint of the times to type";
    // Regression: a file opened just as the reading of the one before ended
    // took that reading's end for its own, and the viewer ended on a join.
    ASSERT_TRUE(!w.indexed() && w.open(QString::fromStdString(r.file)) && w.open(QString::fromStdString(r.file))) << "nothing read before; opened again while it is read: read anew";
    auto* goTo = w.findChild<QLineEdit*>(QStringLiteral("goTo"));
    EXPECT_EQ(goTo->text() + w.boxText(Box::txt1b), QStringLiteral("2026-12-07 23:58:59.992")) << "the first screen, at the opening";
    EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("health0"))->text().contains(QStringLiteral("the whole session: (being read);")) && w.findChild<QWidget*>(QStringLiteral("progress"))->property("format").toString() == QStringLiteral("reading the file: %p %") && w.findChild<QLineEdit*>(QStringLiteral("txt1b"))->isReadOnly() && w.findChild<QRadioButton*>(QStringLiteral("view0"))->isChecked() && w.findChild<QRadioButton*>(QStringLiteral("view1"))->text() + w.findChild<QRadioButton*>(QStringLiteral("view3"))->text() == QStringLiteral("HexDec"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.indexed(); }) && w.findChild<QWidget*>(QStringLiteral("progress"))->property("text").toString() == QStringLiteral("reading the file: 100 %") && !w.findChild<QLabel*>(QStringLiteral("health0"))->text().contains(QStringLiteral("being read"))) << "read to the end: the progress and the whole session's health told";
    auto* line = w.findChild<TimeLine*>(QStringLiteral("timeLine"));
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(line->width() - 1, 5));
    EXPECT_EQ(w.boxText(Box::txt14) + w.boxText(Box::txt1b), QStringLiteral("01 00 00 00 02 00 ")) << "the end";
    goTo->setText(QStringLiteral("00:00:30.009")); // the third reply's moment, as typed: the day after the opening's
    QTest::keyClick(goTo, Qt::Key_Return);
    EXPECT_EQ(w.boxText(Box::Txt08) + w.boxText(Box::txt1b) + QString::number(w.moment() - r.shown[2].first), QStringLiteral("12 05 00 99 01 00 0"));
    w.findChild<QComboBox*>(QStringLiteral("markKind"))->setCurrentIndex(1 + static_cast<int>(SessionIndex::Mark::Drop));
    w.nextMark(1);
    EXPECT_EQ(w.moment(), r.shown.back().first - 5) << "the drop";
    w.nextMark(-1);
    EXPECT_TRUE(w.moment() == r.shown.back().first - 5 && w.findChild<LogView*>(QStringLiteral("Text1"))->toPlainText().endsWith(QStringLiteral("COM1 is not taking bytes; frames are dropped until it does.\r\n"))) << "none before it; the drop's notice in the transmit log";
    w.findChild<QComboBox*>(QStringLiteral("markKind"))->setCurrentIndex(0), w.nextMark(-1);
    EXPECT_LT(w.moment(), r.shown.back().first - 5) << "a mark of any kind is";
    auto* rx = w.findChild<LogView*>(QStringLiteral("txt수신"));
    QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(0, 5)); // the logs from their first row
    const int spacing = rx->fontMetrics().lineSpacing();
    QTest::mouseClick(rx->viewport(), Qt::LeftButton, {}, QPoint(10, 4 + spacing + spacing / 2));
    EXPECT_EQ(w.moment(), rx->logText().stampOfRow(1)->msSinceEpoch) << "a row pressed";
    QList<QRect> taken; // each box, log and control by its name, none over another
    for (const QString& name : Console::names("txtamount TxtCh Txt08 Txt09 txt0a Txt0b txt18 txt19 txt1a txt1b txt14 txt15 txt16 txt17 health0 Text1 txt수신 goTo markKind view0 title status")) {
        const auto* box = w.findChild<QWidget*>(name);
        ASSERT_TRUE(box) << name.toStdString();
        EXPECT_FALSE(box->pos().isNull() || std::any_of(taken.begin(), taken.end(), [&](const QRect& r) { return r.intersects(box->geometry()); }))
            << name.toStdString() << " is laid out apart";
        taken << box->geometry();
    }
    // Regression: the title read "COM1 ()" for a port the console could not
    // describe, the session's last marks lay under the time line's frame, and
    // the line health widened the window to about 1,100 pixels.
    EXPECT_TRUE(looksAsKept(w, QStringLiteral("viewer"))) << "the time line's marks, stretch and moment; the logs, their rows and the one chosen";
    const std::vector<SessionIndex::MarkAt> marks = {{0, SessionIndex::Mark::Bad}, {40, SessionIndex::Mark::Drop}, {41, SessionIndex::Mark::Note}, {80, SessionIndex::Mark::Silent}, {160, SessionIndex::Mark::Note}, {512, SessionIndex::Mark::Op}};
    TimeLine alone; // each kind's colour, the first mark of a column only, a stretch shaded
    alone.resize(259, 28), alone.setSpan(0, 512), alone.setMarks(&marks), alone.setMoment(400, 300, 340);
    EXPECT_TRUE(looksAsKept(alone, QStringLiteral("timeline")));
    std::int64_t picked = -1;
    alone.onPicked = [&](std::int64_t ms) { picked = ms; }, QTest::mouseClick(&alone, Qt::LeftButton, {}, QPoint(129, 5));
    EXPECT_EQ(picked, 256) << "the middle column inside the frame picks the middle moment";
    alone.resize(4, 28), QTest::mouseClick(&alone, Qt::LeftButton, {}, QPoint(3, 5));
    EXPECT_EQ(picked, 512) << "a line four pixels wide, the narrowest that picks";

    QTemporaryDir dir;
    std::string many = "# cm_bv_hp 1.2 session of COM1, opened 2026-12-08 10:00:00.000 local time (UTC+00:00)\n# port COM1: link to /dev/ttyUSB0\n";
    for (int i = 1; i <= 40; ++i)
        many += QStringLiteral("10:00:%1.000 TX %1 5A\n10:00:%1.001 RX 11 +1 ms\n").arg(i, 2, 10, QLatin1Char('0')).toStdString();
    many += "10:00:40.500 OP Clear Text\n10:00:41.000 TX 41 5A\n";
    ASSERT_TRUE(w.open(QString::fromStdString(writeFile(dir, "many.log", many))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.indexed(); }));
    ASSERT_GT(rx->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(rx->verticalScrollBar()->value() + rx->selectedText().size() == 0 && w.findChild<QLabel*>(QStringLiteral("title"))->text().contains(QStringLiteral(" — COM1 (link to /dev/ttyUSB0), ")) && w.findChild<QLabel*>(QStringLiteral("title"))->textInteractionFlags() == Qt::TextSelectableByMouse && w.windowTitle() == QStringLiteral("many.log — CM_BV_HP Session Viewer")) << "at the opening: the logs from their first row, none chosen; the reach in the title, which can be copied";
    goTo->setText(QStringLiteral("10:00:05.000"));
    QTest::keyClick(goTo, Qt::Key_Return);
    auto* tx = w.findChild<LogView*>(QStringLiteral("Text1"));
    EXPECT_EQ(tx->selectedText() + (tx->verticalScrollBar()->value() < tx->verticalScrollBar()->maximum() ? "" : " at the end"), QStringLiteral("5 5A ")) << "the row of the frame sent then, in view, with the rows a later Clear Text took";
    goTo->setText(QStringLiteral("10:00:41.000"));
    QTest::keyClick(goTo, Qt::Key_Return);
    EXPECT_EQ(tx->selectedText() + tx->logText().rowText(0) + rx->logText().rowText(0), QStringLiteral("41 5A 41 5A ")) << "after the Clear Text, which emptied both logs";
    // A view that never ends a line stamps each row: chosen here, or recorded.
    const QString bytes = QStringLiteral(" 11").repeated(100);
    const QString decView = QString::fromStdString(many.substr(0, many.find('\n') + 1)) +
                            QStringLiteral("10:00:01.800 TX 5A A5\n10:00:01.850 RX 11\n10:00:01.900 TX 5A A5\n10:00:02.000 RX%1\n10:00:02.500 RX%1\n10:00:04.000 OP View Dec\n10:00:04.500 TX 5A A5\n10:00:05.000 RX%1\n10:00:05.500 RX%1\n").arg(bytes);
    ASSERT_TRUE(w.open(QString::fromStdString(writeFile(dir, "dec.log", decView.toStdString()))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.indexed(); }));
    // The view (and its tip), the moment, and the first row's time before the last's; the transmit log goes on past the view change (three frames, then the row
    // after them). The stretch's health is the file's, whatever the view shown.
    for (const auto& [view, time, apart, tip, first] : {std::tuple{"view3", "10:00:03.000", 650, "The receive log in this view", "17 17 "}, {"view0", "10:00:06.000", 500, "The receive log in the views the console showed", "17 17 "}, {"view1", "10:00:06.000", 0, "The receive log in this view", "11 "}}) {
        goTo->setText(QString::fromLatin1(time));
        QTest::keyClick(goTo, Qt::Key_Return);
        w.findChild<QRadioButton*>(QString::fromLatin1(view))->click(); // shown anew at once, at the moment
        const LogText& rows = rx->logText();
        ASSERT_TRUE(rows.rowCount() > 1 && rows.rowText(0).startsWith(QString::fromLatin1(first)) && tx->logText().rowText(0) == QStringLiteral("5A A5 ") && tx->logText().rowCount() == 4 && rows.stampOfRow(0)->lateMs == 0) << view;
        EXPECT_EQ(rows.stampOfRow(rows.rowCount() - 1)->msSinceEpoch - rows.stampOfRow(0)->msSinceEpoch, apart) << view;
        EXPECT_TRUE(w.findChild<QLabel*>(QStringLiteral("health0"))->text().endsWith(QStringLiteral("this stretch: 2 frames, 2 answered, 0 bad, 0 silent; reply after median 50 ms, p99 100 ms, max 100 ms")) && w.findChild<QRadioButton*>(QString::fromLatin1(view))->toolTip() == QString::fromLatin1(tip)) << view;
    }
    ViewerWindow refused;
    EXPECT_TRUE(!refused.open(dir.filePath(QStringLiteral("none"))) && refused.findChild<QLabel*>(QStringLiteral("title"))->text() == dir.filePath(QStringLiteral("none is refused: No such file or directory")) && !refused.findChild<QWidget*>(QStringLiteral("progress"))->isVisibleTo(&refused)) << "told in the title; nothing is read";
}
