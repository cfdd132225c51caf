#include "support/Console.h"
#include "support/Rig.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMessageBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QToolTip>
#include <gtest/gtest.h>

#include "console/LogView.h"

using namespace cmbvhp;
using namespace cmbvhp::test;

TEST(TrafficLog, EveryFrameSentIsALineOfTheTransmitLog)
{
    Console c;
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    c.window.Timer1_Timer();
    EXPECT_EQ(c.txLog(), QStringLiteral("5A A5 \r\n62 9D \r\n"));
}

TEST(TrafficLog, ViewModeEmptiesOnlyTheReceiveLogAndKeepsTheFramer)
{
    Console c;
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    c.port->feed(hex("22 03 1B"));
    EXPECT_EQ(c.rxLog(), QStringLiteral("22 03 1B "));
    c.get<QRadioButton>("ViewMode(1)")->click();
    EXPECT_EQ(c.gblFlag().viewMode, 1);
    EXPECT_TRUE(c.rxLog().isEmpty());
    EXPECT_EQ(c.txLog(), QStringLiteral("5A A5 \r\n"));
    c.port->feed(hex("41 0D 0A"));
    EXPECT_EQ(c.rxLog(), QStringLiteral("A \u240D \u240A "));
    c.get<QRadioButton>("ViewMode(2)")->click();
    c.port->feed(hex("05 FF"));
    EXPECT_EQ(c.rxLog(), QStringLiteral("5 255 "));
    c.get<QRadioButton>("ViewMode(0)")->click();
    c.port->feed(hex("01 00 19"));
    EXPECT_EQ(c.rxLog(), QStringLiteral("01 00 19 \r\n"));
    EXPECT_EQ(c.boxText("txt1b"), QStringLiteral("01 00 ")) << "the reply cut by the switch was completed";
}

TEST(TrafficLog, ClearTextEmptiesLogsAndAmountsOnly)
{
    Console c;
    c.button("cmdPortOpen")->click();
    c.state().bvAmount = 60;
    c.window.Timer1_Timer();
    c.port->feed(hex("22 03 1B 01 00 19"));
    c.get<QLineEdit>("hpCount(2)")->setText(QStringLiteral("7"));
    c.get<QLineEdit>("TxtCh")->setText(QStringLiteral("25"));
    EXPECT_EQ(c.boxText("txtamount"), QStringLiteral("60"));
    c.button("Command2")->click();
    EXPECT_TRUE(c.rxLog().isEmpty());
    EXPECT_TRUE(c.txLog().isEmpty());
    EXPECT_TRUE(c.boxText("txtamount").isEmpty());
    EXPECT_EQ(c.boxText("TxtCh"), QStringLiteral("0"));
    EXPECT_EQ(c.boxText("hpCount(2)"), QStringLiteral("7"));
    EXPECT_EQ(c.boxText("txt1b"), QStringLiteral("01 00 "));
    EXPECT_EQ(c.state().bvAmount, 60);
    c.window.Timer1_Timer();
    EXPECT_EQ(c.boxText("txtamount"), QStringLiteral("60")) << "the next tick shows the unchanged total";
}

TEST(TrafficLog, ChangeMessageDoesNotBlockThePollLoop)
{
    Console c;
    c.window.show();
    c.button("cmdPortOpen")->click();
    c.get<QLineEdit>("TxtCh")->setText(QStringLiteral("0"));
    c.button("cmCmd(4)")->click(); // returns: no nested event loop
    auto* box = c.window.findChild<QMessageBox*>(QStringLiteral("message"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("type the change!"));
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowTitle(), QCoreApplication::applicationName());
    EXPECT_EQ(box->windowModality(), Qt::NonModal);
    EXPECT_EQ(c.state().cmCmdNo, 0);
    c.window.Timer1_Timer();
    c.port->feed(hex("22 03 1B 01 00 19"));
    EXPECT_EQ(c.boxText("txt1b"), QStringLiteral("01 00 ")) << "replies are handled while the box is shown";
    c.button("cmCmd(4)")->click();
    EXPECT_EQ(c.window.findChildren<QMessageBox*>().size(), 1) << "one box, not a pile";
    box->button(QMessageBox::Ok)->click();
    EXPECT_FALSE(box->isVisible());
}

TEST(LogView, FollowsTheNewestLineUnlessScrolledUp)
{
    Console c;
    c.window.show();
    LogView& log = c.window.receiveLog();
    for (int i = 0; i < 300; ++i)
        log.append(u"22 03 1B 01 00 19 \r\n");
    log.sync();
    QScrollBar* bar = log.verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(10);
    log.append(u"44 \r\n");
    log.sync();
    EXPECT_EQ(bar->value(), 10) << "the operator's place is kept";
    bar->setValue(bar->maximum());
    log.append(u"44 \r\n");
    log.sync();
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(LogView, SelectedRowsAreCopiedAsTheirText)
{
    Console c;
    c.window.show();
    LogView& log = c.window.transmitLog();
    log.append(u"5A A5 \r\n62 9D \r\n58 A7 \r\n");
    log.sync();
    const int row = log.fontMetrics().lineSpacing();
    auto mouse = [&](QEvent::Type type, int y, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(10, 3 + y), QPointF(10, 3 + y), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(log.viewport(), &e);
    };
    mouse(QEvent::MouseButtonPress, row + 1, Qt::LeftButton);
    mouse(QEvent::MouseMove, 2 * row + 1, Qt::LeftButton);
    EXPECT_EQ(log.selectedText(), QStringLiteral("62 9D \r\n58 A7 "));

    QKeyEvent copy(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
    QCoreApplication::sendEvent(&log, &copy);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("62 9D \r\n58 A7 "));

    QKeyEvent all(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QCoreApplication::sendEvent(&log, &all);
    EXPECT_EQ(log.selectedText(), log.toPlainText());
    log.clear();
    EXPECT_TRUE(log.selectedText().isEmpty());
}

TEST(TrafficLog, RowsTellWhenTheyCameAndHowLongAfterWhichFrame)
{
    Console c;
    std::int64_t now = ((7 * 60 + 12) * 60 + 3) * 1000 + 408;
    c.window.setLogClock([&] { return now; });
    c.window.show();
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    now += 23;
    c.port->feed(hex("22 03 1B 01 00 19"));
    now += 77;
    c.window.Timer1_Timer();
    now += 5;
    Bytes longLine(60, 0x55); // no reply: wraps over several rows of one line
    c.port->feed(longLine);
    LogView& tx = c.window.transmitLog();
    LogView& rx = c.window.receiveLog();
    rx.sync();
    EXPECT_EQ(tx.rowToolTip(0), QStringLiteral("07:12:03.408"));
    EXPECT_EQ(tx.rowToolTip(1), QStringLiteral("07:12:03.508"));
    EXPECT_EQ(rx.rowToolTip(0), QStringLiteral("07:12:03.431, 23 ms after 5A A5 was sent"));
    ASSERT_GE(rx.logText().rowCount(), 4u);
    for (std::size_t row = 1; row < rx.logText().rowCount(); ++row)
        EXPECT_EQ(rx.rowToolTip(row), QStringLiteral("07:12:03.513, 5 ms after 62 9D was sent")) << row;

    QHelpEvent hover(QEvent::ToolTip, QPoint(10, 5), rx.viewport()->mapToGlobal(QPoint(10, 5)));
    QCoreApplication::sendEvent(rx.viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), rx.rowToolTip(0));
    EXPECT_FALSE(rx.toPlainText().contains(u':')) << "the times are not part of the text";

    c.get<QRadioButton>("ViewMode(2)")->click();
    EXPECT_TRUE(rx.rowToolTip(0).isEmpty()) << "dropped with their rows";
    EXPECT_FALSE(tx.rowToolTip(0).isEmpty());
    c.button("Command2")->click();
    EXPECT_TRUE(tx.rowToolTip(0).isEmpty());
}

TEST(TrafficLog, DisplayKeepsItsPaceAndSkipsAWindowNotOnScreen)
{
    Console c;
    LogView& rx = c.window.receiveLog();
    QScrollBar* bar = rx.verticalScrollBar();
    for (int i = 0; i < 300; ++i)
        rx.append(u"22 03 1B 01 00 19 \r\n");
    EXPECT_FALSE(rx.syncPending()) << "hidden: nothing waits to be painted";
    c.window.show();
    EXPECT_GT(bar->maximum(), 0) << "shown: brought up to date at once";
    EXPECT_EQ(bar->value(), bar->maximum());
    const int maximum = bar->maximum();
    rx.append(u"44 \r\n");
    EXPECT_TRUE(rx.syncPending());
    EXPECT_EQ(bar->maximum(), maximum) << "not before the display's pace";
    EXPECT_EQ(rx.toPlainText().right(5), QStringLiteral("44 \r\n")) << "the text is held at once";

    c.window.setWindowState(Qt::WindowMinimized);
    rx.append(u"11 \r\n");
    c.window.setWindowState(Qt::WindowNoState);
    EXPECT_FALSE(rx.syncPending());
    EXPECT_EQ(bar->maximum(), maximum + 2) << "restored: brought up to date";

    // Boxes: the logic reads back what it wrote at once; the operator's typing wins.
    auto* txt08 = c.get<QLineEdit>("Txt08");
    c.window.setText(Box::Txt08, QStringLiteral("01 02 03 04 "));
    EXPECT_EQ(c.window.text(Box::Txt08), QStringLiteral("01 02 03 04 "));
    EXPECT_TRUE(txt08->text().isEmpty());
    c.window.showPending();
    EXPECT_EQ(txt08->text(), QStringLiteral("01 02 03 04 "));
    c.window.setText(Box::Txt08, QStringLiteral("AA "));
    QKeyEvent key(QEvent::KeyPress, Qt::Key_9, Qt::NoModifier, QStringLiteral("9"));
    QCoreApplication::sendEvent(txt08, &key);
    c.window.showPending();
    EXPECT_EQ(c.window.text(Box::Txt08), txt08->text());
    EXPECT_TRUE(txt08->text().contains(u'9'));
}
