// The traffic logs in the real window: what they hold, the views, "Clear
// Text", the rows' times, scrolling, selection, and the display's pace.
#include "window/DisplayPace.h"
#include "record/LogText.h"
#include "support/Console.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

using namespace cmbvhp::test;

// Every character of a log one unit wide.
constexpr auto kOneEach = [] { std::array<std::uint16_t, 256> w{}; w.fill(1); return w; }();

// Takes the URLs the console asks the desktop to open.
class UrlOpener : public QObject {
    Q_OBJECT
public:
    QUrl opened;
    Q_INVOKABLE void open(const QUrl& url) { opened = url; }
};

TEST(TrafficLog, ViewsClearTextAndTheChangeMessage)
{
    std::int64_t now = 0;
    OnScreen c;
    c.openWithFirstReply(now);
    c.get<QRadioButton>("ViewMode(2)")->click();
    EXPECT_EQ(c.rxLog() + c.txLog() + QString::number(c.gblFlag().viewMode), QStringLiteral("5A A5 \r\n62 9D \r\n2"))
        << "a view change empties only the receive log";
    c.get<QLineEdit>("hpCount(2)")->setText(QStringLiteral("7"));
    c.get<QLineEdit>("TxtCh")->setText(QStringLiteral("25"));
    c.button("Command2")->click();
    EXPECT_EQ(c.rxLog() + c.txLog() + u'/' + c.boxText("txtamount") + u'/' + c.boxText("TxtCh") + u'/' + c.boxText("hpCount(2)") +
                  u'/' + c.boxText("txt1b"),
              QStringLiteral("//0/7/01 00 ")) << "the logs and the amounts cleared, other boxes kept";
    // "type the change!" is shown without a nested loop, so that ticks and replies go on.
    c.button("cmCmd(4)")->click();
    c.button("cmCmd(4)")->click();
    const auto boxes = c.window.findChildren<QMessageBox*>(QStringLiteral("message"));
    ASSERT_EQ(boxes.size(), 1) << "one box, not a pile";
    const QMessageBox* box = boxes[0];
    EXPECT_EQ(box->text() + box->windowTitle(), QStringLiteral("type the change!cm_bv_hp")) << "titled with the program's name";
    EXPECT_TRUE(box->isVisible() && box->windowModality() == Qt::NonModal && box->standardButtons() == QMessageBox::Ok);
}

TEST(TrafficLog, RowsTellWhenTheyCameAndHowLongAfterWhichFrame)
{
    // In local time, here not UTC, whatever the machine's zone.
    const LocalZone zone("XST-5:30");
    std::int64_t now = ((7 * 60 + 12) * 60 + 3) * 1000 + 408; // outlives the console, which reads it to the end
    OnScreen c;
    c.openWithFirstReply(now);
    now += 5;
    c.port->feed(Bytes(60, 0x55)); // no reply: one line wrapped over several rows
    LogView& tx = c.window.transmitLog();
    LogView& rx = c.window.receiveLog();
    EXPECT_EQ(tx.rowToolTip(0) + u'/' + tx.rowToolTip(1), QStringLiteral("12:42:03.408/12:42:03.508"));
    EXPECT_EQ(rx.rowToolTip(0), QStringLiteral("12:42:03.431, 23 ms after 5A A5 was sent"));
    ASSERT_GE(rx.logText().rowCount(), 4u);
    for (std::size_t row = 1; row < rx.logText().rowCount(); ++row)
        EXPECT_EQ(rx.rowToolTip(row), QStringLiteral("12:42:03.513, 5 ms after 62 9D was sent")) << row;
    // Taken in after the port rested 45 ms: it came at some time in that span,
    // but not before the frame it answers, sent 40 ms before.
    c.window.Timer1_Timer();
    now += 40;
    c.port->feed(hex("11"));
    c.port->waitedFor = std::chrono::milliseconds(45);
    c.port->feed(hex("22"));
    EXPECT_EQ(rx.rowToolTip(rx.logText().rowCount() - 1), QStringLiteral("between 12:42:03.508 and 12:42:03.553, 0 to 40 ms after 5A A5 was sent"));
    QHelpEvent hover(QEvent::ToolTip, QPoint(10, 5), rx.viewport()->mapToGlobal(QPoint(10, 5)));
    QCoreApplication::sendEvent(rx.viewport(), &hover);
    EXPECT_EQ(QToolTip::text() + (hover.isAccepted() ? "" : " (and the event left to Qt)"), rx.rowToolTip(0));
    EXPECT_FALSE(rx.toPlainText().contains(u':')) << "the times are not part of the text";
    c.get<QRadioButton>("ViewMode(2)")->click();
    EXPECT_TRUE(rx.rowToolTip(0).isEmpty() && !tx.rowToolTip(0).isEmpty()) << "dropped with their rows";
    c.port->feed(hex("11")); // and the next row names the last frame, not the one the emptied log began with
    EXPECT_EQ(rx.rowToolTip(0), QStringLiteral("between 12:42:03.508 and 12:42:03.553, 0 to 40 ms after 5A A5 was sent"));
    rx.setPlainText(u"a message of the console's own\r\n"), c.port->feed(hex("11")); // a reply after it answers a frame again
    rx.appendLine(u"a line of its own"), c.port->feed(hex("11"));
    const QString reply = QStringLiteral("between 12:42:03.508 and 12:42:03.553, 0 to 40 ms after 5A A5 was sent");
    EXPECT_EQ(rx.rowToolTip(0) + u'|' + rx.rowToolTip(1) + u'|' + rx.rowToolTip(3), QStringLiteral("12:42:03.553|") + reply + u'|' + reply) << "the console's own lines answer no frame";
    c.button("Command2")->click();
    EXPECT_TRUE(tx.rowToolTip(0).isEmpty());
}

TEST(TrafficLog, DisplayKeepsItsPaceAndSkipsAWindowNotOnScreen)
{
    Console c;
    LogView& rx = c.window.receiveLog();
    QScrollBar* bar = rx.verticalScrollBar();
    const auto fill = [](LogView& log) { for (int i = 0; i < 300; ++i) log.append(u"22 03 1B 01 00 19 \r\n"); };
    fill(rx);
    EXPECT_FALSE(rx.syncPending()) << "hidden: nothing waits to be painted";
    c.window.show();
    const int maximum = bar->maximum();
    EXPECT_TRUE(maximum > 0 && bar->value() == maximum) << "shown: brought up to date at once";
    rx.append(u"44 \r\n");
    EXPECT_TRUE(rx.syncPending() && bar->maximum() == maximum) << "not before the display's pace";
    EXPECT_TRUE(rx.toPlainText().endsWith(QStringLiteral("44 \r\n"))) << "the text is held at once";
    c.window.setWindowState(Qt::WindowMinimized);
    rx.append(u"11 \r\n");
    c.window.setText(Box::txt1b, QStringLiteral("12 "));
    c.window.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(!rx.syncPending() && bar->maximum() == maximum + 2 && c.get<QLineEdit>(QStringLiteral("txt1b"))->text() == QStringLiteral("12 ")) << "restored: logs and boxes brought up to date";
    c.window.appendLogLine(Log::txt수신, u"a line of the console's own");
    EXPECT_TRUE(rx.syncPending()) << "shown at the display's pace too";
    // The operator scrolled up: the place is kept until the bottom is reached again.
    for (const bool atBottom : {false, true}) {
        bar->setValue(atBottom ? bar->maximum() : 10);
        // Scrolled up, the thumb moves, and the bar with it: the second hundred
        // rows come within the bar's slower pace, at whose end it follows.
        for (int hundred = 0; hundred < 2; ++hundred)
            rx.append(QStringLiteral("44 \r\n").repeated(100)), (void)QTest::qWaitFor([&] { return !rx.syncPending(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rx.syncPending() && (atBottom || bar->maximum() == static_cast<int>(rx.logText().rowCount()) - bar->pageStep()); }));
        EXPECT_EQ(bar->value(), atBottom ? bar->maximum() : 10);
    }
    // Regression: a port left resting at a beat was drained again only at the
    // end of its longest rest, 90 ms late, when the log had asked for that beat
    // already and asked for no next one.
    c.port->restsFor = c.port->drains.size() + 3;
    rx.append(u"44 ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.port->drains.size() > c.port->restsFor; }));
    QTest::qWait(3 * kDisplayPace.count());
    EXPECT_EQ(c.port->drains.size(), c.port->restsFor + 1) << "a beat for each rest, then none";
    c.window.Timer1_Timer();
    EXPECT_EQ(c.port->drains.back(), SerialBackend::AfterDrain::Listen);

    // Boxes: the logic reads back what it wrote at once.
    auto* txt08 = c.get<QLineEdit>("Txt08");
    c.window.setText(Box::Txt08, QStringLiteral("01 02 03 04 "));
    QCoreApplication::sendEvent(&c.window, std::make_unique<QEvent>(QEvent::ActivationChange).get()); // no restore: the pace is kept
    EXPECT_EQ(c.window.text(Box::Txt08) + u'/' + txt08->text(), QStringLiteral("01 02 03 04 /"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return txt08->text() == QStringLiteral("01 02 03 04 "); })) << "shown at the display's pace";
    // Regression: a key within a beat of a waiting text edited the old text and
    // threw the waiting one away (a payout's remainder, then a wrong "Change").
    auto* txtCh = c.get<QLineEdit>("TxtCh");
    txtCh->setText(QStringLiteral("100.7"));
    c.window.setText(Box::TxtCh, QStringLiteral("65.7"));
    QTest::keyClick(txtCh, Qt::Key_End);
    QTest::keyClicks(txtCh, QStringLiteral("1"));
    EXPECT_EQ(c.window.text(Box::TxtCh) + u'/' + txtCh->text(), QStringLiteral("65.71/65.71"));
    // Last: another window shown takes the focus the key above relies on.
    LogView fresh; // a log never cleared follows its last row too
    fill(fresh), fresh.show();
    EXPECT_TRUE(fresh.verticalScrollBar()->maximum() > 0 && fresh.verticalScrollBar()->value() == fresh.verticalScrollBar()->maximum());
}

// What reaches the screen, read from the boxes themselves: each "Data" box
// shows its record by the display's beat after the reply came, the total by
// the beat after a tick.
TEST(TrafficLog, EveryDataBoxShowsItsRecordWhenItComes)
{
    OnScreen c;
    c.button("cmdPortOpen")->click();
    c.window.timer1().setEnabled(false);
    // The device addressed, the reply (none: a tick), and the boxes it fills.
    const struct { const char* name; std::uint8_t curDevice; const char* reply; const char* boxes; QString texts; } rows[] = {
        {"the bill validator's status", 1, "22 03 1B 01 00 19", "txt1b", QStringLiteral("01 00 ")},
        {"its records", 1, "33 19 00 18 00 01 00 00 00 19 00 01 00 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 13", "txt18 txt19 txt1a",
         QStringLiteral("00 01 00 00 |00 01 00 00 |01 00 0A 00 ")},
        {"the coin mechanism's records", 2, "33 13 00 08 12 05 00 99 00 0A 10 05 00 00 00 0B 01 00 00 00 00 80", "Txt08 txt0a Txt0b",
         QStringLiteral("12 05 00 99 |10 05 00 00 |01 ")},
        {"its short reply", 2, "22 07 09 01 02 03 04 00 00 0A", "Txt09", QStringLiteral("01 02 03 04 ")},
        {"the total at a tick", 0, "", "txtamount", QStringLiteral("72")},
        {"the hoppers' records", 4, "33 00 15 01 02 03 04 16 05 06 07 08 17 09 0A 0B 0C 18 0D 0E", "txt14 txt15 txt16 txt17",
         QStringLiteral("01 02 03 04 |05 06 07 08 |09 0A 0B 0C |0D 0E ")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        c.state().curDevice = row.curDevice;
        c.state().rxPos = 1;
        *row.reply ? c.port->feed(hex(row.reply)) : c.window.Timer1_Timer();
        const auto shown = [&] { QStringList texts; for (const QString& name : QString::fromLatin1(row.boxes).split(u' ')) texts << c.get<QLineEdit>(name)->text(); return texts.join(u'|'); };
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown() == row.texts; })) << shown().toStdString();
    }
}

TEST(LogText, HoldsTheExactTextAndWrapsAfterTheLastBlankThatFits)
{
    LogText t;
    t.append(u"\n22 03 1B\r"); // a first LF follows no CR
    t.append(u"\nA \u2400 \u00E9 \uFFFD \u2421 \u20AC \u2420 \u00A0\u009F\u007F\u001F\n\nb\r");
    EXPECT_EQ(t.text(), QStringLiteral("\r\n22 03 1B\r\nA \u2400 \u00E9 \uFFFD \u2421 ? ? \u00A0???\r\n\r\nb\r\n")) << "a character the log has no byte for is a ?";
    QString all;
    for (int b = 0; b < 256; ++b)
        all.append(QChar(LogText::decode(static_cast<std::uint8_t>(b)))).append(u' ');
    t.setText(QStringLiteral("\n") + all); // the CR before the clear is not this LF's
    EXPECT_EQ(t.text(), QStringLiteral("\r\n") + all) << "every byte of the ASCII view is one character, none breaks a line";
    EXPECT_EQ(t.rowCount(), 2u);
    LogText w; // a log that never held anything, laid out anew
    w.append(u"0123456789AB\r\nab cdefg h\r\n22 03 1B 01 00 19 ");
    w.setMetrics(kOneEach, 7); // seven characters a row
    QStringList rows;
    for (std::size_t r = 0; r < w.rowCount(); ++r)
        rows << w.rowText(r);
    rows << w.rowText(w.rowCount()); // no such row
    w.forEachInRow(w.rowCount(), [&](std::uint8_t) { rows << QStringLiteral("a byte of no row"); });
    EXPECT_EQ(rows.join(u'|'), QStringLiteral("0123456|789AB|ab |cdefg h|22 03 |1B 01 |00 19 |")) << "groups stay together";
    EXPECT_EQ(w.text(), QStringLiteral("0123456789AB\r\nab cdefg h\r\n22 03 1B 01 00 19 ")) << "wrapping is not part of the text";
    w.setMetrics(kOneEach, 100);
    EXPECT_EQ(w.rowCount(), 3u);
    auto wide = kOneEach; // characters wider than a row: one a row, none empty
    wide.fill(3), w.setMetrics(wide, 2);
    EXPECT_EQ(w.rowText(0) + w.rowText(13) + QString::number(w.rowCount()), QStringLiteral("0b 32"));
    w.setMetrics(kOneEach, 7), w.setText(u"0123456"); // after a last row of six
    EXPECT_EQ(w.rowCount(), 1u) << "a cleared log's first row begins empty";
    // A line laid out anew while it is written keeps its one stamp, from its
    // first character.
    LogText line;
    std::int64_t now = 1;
    line.setStamper([&] { return LineStamp{.msSinceEpoch = now}; });
    line.append(u"5A A5 \r\n62 ");
    line.setMetrics(kOneEach, 4);
    now = 2;
    line.append(u"9D ");
    EXPECT_TRUE(line.lastStampKey() == 7 && line.stampOfRow(line.rowCount() - 1)->msSinceEpoch == 1) << "the line begins at 6, its stamp from 1 ms";
}

// The oldest rows leave in blocks, with their stamps; the rest keeps its
// times, and a receive line still names its frame while that frame is held.
TEST(LogText, OldestRowsLeaveInBlocksAndTheRestKeepsItsStamps)
{
    LogText tx({8, 4, 48, 8}), rx({10, 2, 48, 8});
    rx.keepLastSent();
    std::int64_t now = 0;
    tx.setStamper([&] { return LineStamp{.msSinceEpoch = now}; });
    rx.setStamper([&] { return LineStamp{.msSinceEpoch = now, .lastSent = tx.lastStampKey()}; });
    for (now = 0; now < 10; ++now)
        tx.append(QStringLiteral("%1 \r\n").arg(now)), rx.append(u"11 \r\n");
    EXPECT_EQ(tx.text(), QStringLiteral("4 \r\n5 \r\n6 \r\n7 \r\n8 \r\n9 \r\n")) << "rows 0 ... 3 left at once";
    EXPECT_EQ(tx.stampOfRow(0)->msSinceEpoch, 4);
    EXPECT_EQ(tx.lineTextFrom(tx.stamp(rx.stampOfRow(7)->lastSent)->from), QStringLiteral("9 ")) << "rows 0 and 1 left the receive log";
    EXPECT_FALSE(tx.stamp(rx.stampOfRow(0)->lastSent)) << "its frame has left";
    LogText row({1u << 30, 1, 2, 1}), one({1u << 30, 1, 2, 1}); // a line that never ends, as the ASCII view's
    row.append(QString(3 << 20, u'x'));
    EXPECT_FALSE(row.trimmed()) << "the row being written stays, however long it is";
    one.setMetrics(kOneEach, 1024); // rows of 1 KiB: one begins where each chunk does, and stays with its chunk
    one.append(QStringLiteral("0123456789").repeated(3 << 17));
    one.setMetrics(kOneEach, 1024); // laid out anew from a first row that continues its line: the same rows
    EXPECT_TRUE(one.trimmed() && one.storedBytes() == (3 << 20) + (3 << 18) - (2 << 20) && one.rowText(1) == QStringLiteral("0123456789").repeated(103).mid(6, 1024)) << one.storedBytes();
}

TEST(TrafficLog, ViewsThatNeverEndALineStampEachRowAndOwnLinesAnswerNoFrame)
{
    std::int64_t now = 1000;
    Console c;
    c.window.setLogClock([&] { return now; });
    c.window.show();
    c.get<QRadioButton>("ViewMode(1)")->click();
    c.button("cmdPortOpen")->click();
    c.port->feed(Bytes(40, 0x41)); // before any frame was sent
    c.window.Timer1_Timer();
    for (; now <= 3000; now += 1000)
        c.port->feed(Bytes(40, 0x41));
    LogView& rx = c.window.receiveLog();
    QStringList tips;
    for (std::size_t row = 0; row < rx.logText().rowCount(); ++row)
        tips << rx.rowToolTip(row).left(12);
    EXPECT_EQ(tips.join(u'|'), QStringLiteral("00:00:01.000|00:00:01.000|00:00:02.000|00:00:03.000")) << "each row its first byte's";
    EXPECT_EQ(rx.rowToolTip(0) + u'/' + rx.rowToolTip(1), QStringLiteral("00:00:01.000/00:00:01.000, 0 ms after 5A A5 was sent"));
    // Regression: the transmit log's notice of a dropped frame was taken for the last frame sent.
    c.port->pending = 1024;
    c.window.Timer1_Timer();
    c.port->feed(Bytes(40, 0x41));
    EXPECT_EQ(rx.rowToolTip(rx.logText().rowCount() - 1), QStringLiteral("00:00:04.000, 3000 ms after 5A A5 was sent"));
    c.port->loseDevice("gone");
    EXPECT_EQ(rx.rowToolTip(rx.logText().rowCount() - 2) + u'|' + rx.rowToolTip(rx.logText().rowCount() - 1), QStringLiteral("00:00:04.000|")) << "the console's own line, and the empty row after it";
}

// Regression: the scroll bar lagged, so that a wheel step jumped back and a
// cleared log stayed on rows that were gone.
TEST(TrafficLog, ScrollInputActsOnTheLogAsItStands)
{
    OnScreen c;
    LogView& rx = c.window.receiveLog();
    rx.append(QStringLiteral("gjpqy_([\r\n").repeated(42)), rx.sync();
    QScrollBar* bar = rx.verticalScrollBar();
    rx.append(QStringLiteral("44 \r\n").repeated(30));
    QWheelEvent up(QPointF(5, 5), rx.viewport()->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(rx.viewport(), &up);
    EXPECT_EQ(bar->value(), static_cast<int>(rx.logText().rowCount()) - bar->pageStep() - 3) << "one step up from the foot as it is";
    QTest::keyClick(&rx, Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), static_cast<int>(rx.logText().rowCount()) - 2 * bar->pageStep() - 3) << "and a page up by its key";
    c.button("Command2")->click();
    EXPECT_EQ(bar->maximum() + bar->value(), 0) << "cleared at once";
}

// A row is copied together from its characters' cells; a selected row is
// drawn glyph by glyph. In the same colours the two must look the same, for
// every character a log holds, a glyph whose ink leaves its cell, a row the
// font cannot draw and an empty row. Regression: an empty row showed the
// stale contents of the row image.
// Regression: in an image of another byte order than (A)RGB32 the rows' cells
// were filled in raw ARGB32 form, F0 20 10 reading back as 10 20 F0 in
// RGBX8888: rows got a wrong background beside rightly filled margins. Where
// glyphs overlap, blending them in another order may differ by a step.
TEST(TrafficLog, RowsCopiedFromCellsLookAsGlyphsDrawnOneByOne)
{
    OnScreen c;
    LogView& rx = c.window.receiveLog();
    QString all;
    for (int b = 0; b < 256; ++b)
        all += QChar(LogText::decode(static_cast<std::uint8_t>(b)));
    const QString text = all.mid(32, 95) + QStringLiteral("\r\n\r\n") + all.mid(160) + QStringLiteral("\r\n") + all.left(32) +
                         QStringLiteral("\r\nWWW@@@mmm\r\n");
    // The font (the cells follow it, and so do the rows), the colours, the
    // image's format, and how far apart the two ways may read: a step at most
    // where glyphs overlap, and two of RGB16's 5-bit steps where each way
    // rounds to them at its own time.
    const QPalette given = rx.palette();
    const struct { int pixels; QColor base, ink; QImage::Format format; int apart; bool plain = false; } rows[] = {
        {13, given.color(QPalette::Base), given.color(QPalette::Text), QImage::Format_ARGB32_Premultiplied, 0},
        {13, given.color(QPalette::Base), given.color(QPalette::Text), QImage::Format_ARGB32_Premultiplied, 0, true}, // other glyphs, unsmoothed, in the same widths and heights
        {13, QColor(0xF0, 0x20, 0x10), QColor(0x10, 0x30, 0xA0), QImage::Format_RGBX8888, 1},
        {13, QColor(0xF0, 0x20, 0x10), QColor(0x10, 0x80, 0x30), QImage::Format_RGB30, 1}, // another ink alone
        {13, QColor(0xF0, 0x20, 0x10), QColor(0x10, 0x30, 0xA0), QImage::Format_BGR888, 1},
        {13, QColor(0xF0, 0x20, 0x10), QColor(0x10, 0x30, 0xA0), QImage::Format_RGB16, 17},
        {21, given.color(QPalette::Base), given.color(QPalette::Text), QImage::Format_ARGB32_Premultiplied, 0},
        {48, given.color(QPalette::Base), given.color(QPalette::Text), QImage::Format_ARGB32_Premultiplied, 0}}; // cells wider than the copies made to measure
    for (const auto& row : rows) {
        QPalette same = given; // selected rows in the same colours as the others
        for (const auto role : {QPalette::Base, QPalette::Highlight})
            same.setColor(role, row.base);
        for (const auto role : {QPalette::Text, QPalette::HighlightedText})
            same.setColor(role, row.ink);
        rx.setPalette(same);
        rx.viewport()->setPalette(same);
        QFont font = rx.font();
        font.setPixelSize(row.pixels), font.setStyleStrategy(row.plain ? QFont::NoAntialias : QFont::PreferDefault);
        const int page = rx.verticalScrollBar()->pageStep();
        rx.setFont(font);
        EXPECT_EQ(rx.verticalScrollBar()->pageStep() < page, row.pixels > 13) << "rows in view";
        QImage cells(rx.viewport()->size(), row.format), glyphs = cells;
        rx.clear();
        rx.append(text);
        rx.sync();
        rx.viewport()->render(&cells);
        rx.selectAll();
        rx.viewport()->render(&glyphs);
        int most = 0;
        for (int y = 0; y < cells.height(); ++y)
            for (int x = 0; x < cells.width(); ++x) {
                const QColor a = cells.pixelColor(x, y), b = glyphs.pixelColor(x, y);
                most = std::max({most, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            }
        EXPECT_LE(most, row.apart) << row.pixels << " px, format " << row.format;
    }
}

// The log's bar draws a tall area in bands; it must look as the style draws
// it whole, thumb tall or small, at the top, the foot or in between.
TEST(TrafficLog, ScrollBarDrawnInBandsLooksAsDrawnWhole)
{
    OnScreen c;
    QScrollBar* bar = c.window.receiveLog().verticalScrollBar();
    ASSERT_GT(bar->height(), 2 * 64) << "tall enough for bands";
    const struct {
        int maximum, value, top; // and a top part drawn alone: one band, or a band and a row
    } states[] = {{0, 0, 64}, {13, 0, 65}, {13, 13, 64}, {40, 17, 65}, {5000, 2500, 65}};
    for (const auto& s : states) {
        bar->setRange(0, s.maximum);
        bar->setValue(s.value);
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.subControls = QStyle::SC_All;
        opt.orientation = Qt::Vertical;
        opt.maximum = s.maximum;
        opt.sliderPosition = opt.sliderValue = s.value;
        opt.pageStep = bar->pageStep();
        opt.singleStep = bar->singleStep();
        QImage whole(bar->size(), QImage::Format_RGB32);
        whole.fill(bar->palette().color(bar->backgroundRole()));
        QPainter painter(&whole);
        bar->style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &painter, bar);
        painter.end();
        EXPECT_TRUE(bar->grab().toImage().convertToFormat(QImage::Format_RGB32) == whole && bar->grab(QRect(0, 0, bar->width(), s.top)).toImage().convertToFormat(QImage::Format_RGB32) == whole.copy(0, 0, bar->width(), s.top)) << s.maximum << " " << s.value << ", and its top " << s.top << " rows alone";
    }
}

// Whatever changes the rows shown or chosen reaches the screen: no stale row,
// highlight or thumb waits there for another paint. Regressions: a thumb moved
// up left a row of pixels of its old look at its edge; after a blit the foot
// of the row that left stayed in the top margin, or (a paint of several areas
// clearing only the first) the rows blitted up showed through the new ones.
TEST(TrafficLog, EveryChangeOfTheRowsShownOrChosenReachesTheScreen)
{
    OnScreen c;
    LogView &rx = c.window.receiveLog(), &tx = c.window.transmitLog();
    QScrollBar* bar = rx.verticalScrollBar();
    const auto at = [&](int row) { return QPoint(10, 4 + row * rx.fontMetrics().lineSpacing()); };
    const struct { const char* name; std::function<void()> act; } steps[] = {
        {"a first row in the other log, this one brought up to date meanwhile as a scroll does", [&] { tx.append(u"5A A5 \r\n"), rx.sync(); }},
        {"rows, each its own, ink below their bands", [&] { for (int i = 0; i < 40; ++i) rx.append(QStringLiteral("%1 gjpqy_([\r\n").arg(i)); }},
        {"a row added", [&] { rx.append(u"40 gjpqy_([\r\n"); }},
        {"a part of rows painted, its edges inside glyphs", [&] { rx.viewport()->repaint(QRect(5, 4, 37, 23)); }},
        {"a hundred rows at once", [&] { rx.append(QStringLiteral("99 \r\n").repeated(100)); }},
        {"a press", [&] { QTest::mousePress(rx.viewport(), Qt::LeftButton, {}, at(2)); }},
        {"a drag", [&] { QTest::mouseMove(rx.viewport(), at(5)); }},
        {"Select All", [&] { QTest::keyClick(&rx, Qt::Key_A, Qt::ControlModifier); }},
        {"a row chosen", [&] { rx.selectRow(20); }},
        {"the first rows, none chosen", [&] { rx.showFirstRows(); EXPECT_TRUE(rx.selectedText().isEmpty()); }},
        {"the text replaced", [&] { rx.setPlainText(u"a message of the console's own\r\n"); }},
        {"rows after it, followed", [&] { rx.append(QStringLiteral("11 \r\n").repeated(40)), rx.sync(); EXPECT_EQ(bar->value(), bar->maximum()); }},
    };
    for (const auto& s : steps) {
        s.act();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !rx.syncPending() && !tx.syncPending() && bar->maximum() == std::max(0, static_cast<int>(rx.logText().rowCount()) - bar->pageStep()); })) << s.name << ": the bar follows at its pace";
        QCoreApplication::processEvents();
        const QImage shown = c.window.screen()->grabWindow(c.window.winId()).toImage();
        for (QWidget* w : {tx.viewport(), rx.viewport(), static_cast<QWidget*>(bar)})
            EXPECT_TRUE(shown.copy(QRect(w->mapTo(&c.window, QPoint()), w->size())) == w->grab().toImage().convertToFormat(shown.format())) << s.name << ", " << w->metaObject()->className();
    }
}

TEST(TrafficLog, SelectedRowsAreCopiedAsTheirTextAndTheMenuCopiesSelectsAllAndOpensTheSessionFolder)
{
    OnScreen c;
    LogView& log = c.window.transmitLog();
    log.append(u"5A A5 \r\n62 9D \r\n58 A7 \r\n");
    log.sync();
    const int row = log.fontMetrics().lineSpacing();
    QTest::mousePress(log.viewport(), Qt::LeftButton, {}, QPoint(10, 4 + row));
    QTest::mouseMove(log.viewport(), QPoint(10, 4 + 2 * row));
    QTest::keyClick(&log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("62 9D \r\n58 A7 "));
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    log.append(u"11 \r\n"); // after Select All, into the row being written, which is chosen, and no further
    EXPECT_EQ(log.selectedText() + QStringLiteral("\r\n"), log.toPlainText());
    log.selectRow(1);
    log.selectRow(log.logText().rowCount()); // no such row: the choice stays
    EXPECT_EQ(log.selectedText(), QStringLiteral("62 9D "));
    log.clear();
    EXPECT_TRUE(log.selectedText().isEmpty());
    log.append(u"5A A5 \r\n62 9D \r\n");
    UrlOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    QString enabled; // each item's, as the menu came: Copy only once something is selected
    for (const char* item : {"Copy", "Select All", "Copy", "Open Session Folder"}) {
        QTimer::singleShot(0, [item, &enabled] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* a : menu ? menu->actions() : QList<QAction*>())
                if (a->text() == QString::fromLatin1(item))
                    enabled += QChar(u'0' + a->isEnabled()), a->trigger();
            if (menu)
                menu->close();
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), log.viewport()->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(log.viewport(), &e);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(enabled + u'|' + QApplication::clipboard()->text(), QStringLiteral("0111|5A A5 \r\n62 9D \r\n"));
    // Regression: a log made taller or shorter lost its chosen row (the
    // viewer's chosen moment, once its window settled after reading a file).
    log.append(QStringLiteral("11 \r\n").repeated(40)), log.selectRow(30); // below the middle of the rows shown: put in the middle, at once
    EXPECT_EQ(log.verticalScrollBar()->value() + log.verticalScrollBar()->pageStep() / 2, 30);
    log.selectRow(6); // above the middle of the rows shown: the first rows stay
    EXPECT_EQ(log.verticalScrollBar()->value(), 0) << log.verticalScrollBar()->pageStep() << " rows shown";
    log.selectRow(0), log.resize(log.width(), log.height() - 9);
    const QString kept = log.selectedText();
    log.resize(log.width() - 7, log.height()); // laid out anew: the choice goes with the rows it named
    EXPECT_TRUE(kept == QStringLiteral("5A A5 ") && log.selectedText().isEmpty());
    EXPECT_EQ(opener.opened, QUrl::fromLocalFile(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/cm_bv_hp/sessions")));
    LogView small(nullptr, {8, 4, 48, 8});
    small.setRecordFolder(QStringLiteral("/state/sessions"));
    for (int i = 0; i < 9; ++i)
        small.append(u"11 \r\n");
    small.selectAll();
    EXPECT_EQ(small.selectedText(), small.toPlainText()) << "what is held";
    EXPECT_TRUE(small.rowToolTip(0).startsWith(QStringLiteral("Older lines have left this log; every session is kept whole in /state/sessions.\n")));
    small.clear(); // and once cleared, no older line has left it
    LogView one(nullptr, {3, 1, 48, 8}); // a row leaves at a time: the row chosen stays chosen, the rows shown move up
    one.show();
    one.append(u"1\r\n2\r\n3\r\n");
    one.selectRow(1), QCoreApplication::processEvents();
    one.appendLine(u"4"), one.sync(), QCoreApplication::processEvents(); // a line of the console's own moves them up too
    EXPECT_EQ(one.selectedText(), QStringLiteral("3"));
    one.append(u"5\r\n6\r\n"), one.sync(), QCoreApplication::processEvents(); // the row chosen leaves, and the choice with it
    const QImage shown = one.screen()->grabWindow(one.winId()).toImage().copy(QRect(one.viewport()->mapTo(&one, QPoint()), one.viewport()->size()));
    EXPECT_TRUE(one.selectedText().isEmpty() && shown.convertToFormat(QImage::Format_RGB32) == one.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32) && small.rowToolTip(0).isEmpty());
}

#include "TrafficLogTest.moc"
