// Start-up, the settings and the open/close switch of the real window, on a
// scripted port.
#include "support/Console.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cmbvhp::test;

namespace {
// The switch as the operator sees it: its caption; the flag, the port and the
// timer ("T P t" when on); then 1 for each enabled setting and device choice.
QString switchLook(Console& c)
{
    const bool flag = c.gblFlag().portOpen == kTrue;
    return c.button("cmdPortOpen")->text() + u' ' + (flag ? u'T' : u'-') + (c.window.comeOne().PortOpen() ? u'P' : u'-') +
           (c.window.timer1().isEnabled() ? u't' : u'-') + u' ' + c.enabled("Setting*6 checkBv checkHp optionCm optionSlt OptionCoin");
}
const QString kClosed = QStringLiteral("Port Open --- 11111111111");
const QString kOpen = QStringLiteral("Port Close TPt 00000000000");
constexpr const char* kButtons = "bvCmd*7 cmCmd*7 TxtCh cmdHp1*6";

void choose(Console& c, bool bv, bool hp, const char* coin)
{
    c.get<QCheckBox>("checkBv")->setChecked(bv);
    c.get<QCheckBox>("checkHp")->setChecked(hp);
    c.get<QRadioButton>(QString::fromLatin1(coin))->setChecked(true);
}
} // namespace

TEST(StartUp, CombosAreFilledAndEverythingIsReady)
{
    Console c(false);
    c.window.receiveLog().append(u"44 ");
    c.window.Form_Load();
    EXPECT_TRUE(c.rxLog().isEmpty()) << "Form_Load empties the receive log";
    QStringList combos;
    for (int i = 0; i < 6; ++i) {
        QString items;
        for (int k = 0; k < c.setting(i)->count(); ++k)
            items += c.setting(i)->itemText(k) + u' ';
        combos << items + u'[' + c.setting(i)->currentText() + u']';
    }
    EXPECT_EQ(combos.join(u'|'), QStringLiteral("COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 COM13 COM14 COM15 "
                                                "COM16 [COM1]|19200 9600 4800 2400 1200 600 [9600]|None Even Odd Mark Space "
                                                "[Even]|8 7 6 5 4 [8]|1 1.5 2 [1]|None LF CR CR + LF [None]"));
    EXPECT_TRUE(c.get<QCheckBox>("checkBv")->isChecked() && c.get<QRadioButton>("ViewMode(0)")->isChecked());
    EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(c.gblFlag().viewMode).arg(c.state().rxPos).arg(c.state().bvSeq), QStringLiteral("0 1 0")) << "the view, the receive position, no start-up step";
    EXPECT_TRUE(c.window.timer1().interval() == kPollInterval && c.get<QTimer>(QStringLiteral("Timer2"))->interval() == 50000) << "Timer2 idles at its 50 s, never at every pass of the loop";
    EXPECT_EQ(switchLook(c) + u' ' + c.enabled(kButtons), kClosed + u' ' + QString(21, u'1'));
}

// What the operator sees chosen is what the port gets: "Even" is E, and so on.
TEST(PortSwitch, EverySettingsIndexReachesThePort)
{
    for (int combo = 0; combo < 6; ++combo) {
        for (int i = 0; i < Console().setting(combo)->count(); ++i) {
            Console c;
            c.setting(combo)->setCurrentIndex(i);
            c.button("cmdPortOpen")->click();
            ASSERT_EQ(c.port->opens.size(), 1u);
            const ScriptedPort::OpenCall& open = c.port->opens[0];
            auto shown = [&](int k) { return c.setting(k)->currentText(); };
            const QString settings = QStringList{shown(1), shown(2).left(1), shown(3), shown(4)}.join(u','); // "EOF Char" has no effect
            EXPECT_EQ(open.settings, parseSettings(settings.toStdString())) << settings.toStdString();
            EXPECT_TRUE(open.device == "/dev/test" + std::to_string(combo == 0 ? i + 1 : 1) && !open.dtr && !open.rts) << open.device << ", DTR and RTS low";
            EXPECT_EQ(switchLook(c), kOpen);
            EXPECT_TRUE(c.port->writes.empty()) << "the open itself sends nothing";
        }
    }
}

TEST(PortSwitch, ButtonsFollowTheDeviceChoiceAndStayAfterTheClose)
{
    // buttons: bvCmd(0 ... 6), cmCmd(0 ... 6) and TxtCh, cmdHp1(0 ... 5): 1 enabled
    const struct { const char* name; bool bv, hp; const char* coin; std::uint8_t curDevice; QString buttons; } cases[] = {
        {"all three", true, true, "optionCm", 0, "1111111 11111111 111111"},
        {"selector", true, false, "optionSlt", 0, "1111111 01110110 000001"},
        {"hoppers only", false, true, "OptionCoin", 4, "0000000 00000000 111111"},
        {"bill validator alone", true, false, "OptionCoin", 0, "1111111 00000000 000001"},
        {"coin mechanism alone", false, false, "optionCm", 0, "0000000 11111111 000001"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Console c;
        choose(c, k.bv, k.hp, k.coin);
        for (const QString& look : {kOpen, kClosed}) {
            c.button("cmdPortOpen")->click();
            EXPECT_EQ(c.state().curDevice, k.curDevice);
            EXPECT_EQ(switchLook(c) + u' ' + c.enabled(kButtons), look + u' ' + QString(k.buttons).remove(u' '));
        }
    }
}

// Regression: a failed open left Timer1 running on a closed port and the
// device choice locked. The steps before the failing one keep their effect.
TEST(PortSwitch, RefusedOpenReportsThePortAndReturnsToClosed)
{
    const struct { const char* name; std::function<void(Console&)> prepare; const char* message; const char* reason; } cases[] = {
        {"a baud not in the list", [](Console& c) { c.setting(1)->setEditText(QStringLiteral("38400")); }, "1is not opend", "invalid line settings"},
        {"a port typed over", [](Console& c) { c.setting(0)->setEditText(QStringLiteral("ttyUSB0")); }, "0is not opend", "no port selected"},
        {"a number without a device", [](Console& c) { c.setting(0)->setCurrentIndex(2); }, "3is not opend", "no device for this port number"},
        {"a device refused", [](Console& c) { c.port->refuseOpen = "Permission denied"; c.setting(0)->setCurrentIndex(11); }, "12is not opend",
         "Permission denied"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        Console c(true, {3});
        choose(c, false, true, "OptionCoin");
        c.window.receiveLog().append(u"22 03 ");
        k.prepare(c);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.rxLog() + u'/' + c.button("cmdPortOpen")->toolTip(), QString::fromLatin1(k.message) + u'/' + QString::fromLatin1(k.reason));
        EXPECT_EQ(switchLook(c) + u' ' + c.enabled("bvCmd*7 cmdHp1*6"), kClosed + QStringLiteral(" 0000000111111"));
        EXPECT_TRUE(c.state().curDevice == device::kHopper && !c.window.recorder().active()) << "and its session is ended";
        c.port->refuseOpen.reset();
        c.setting(0)->setCurrentIndex(0);
        c.setting(1)->setCurrentIndex(1);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(switchLook(c) + c.button("cmdPortOpen")->toolTip(), kOpen) << "opens once the choice is corrected";
    }
}

TEST(PortSwitch, ReopenKeepsTheLinkStateAndFinishEndsTheProgram)
{
    OnScreen c;
    c.button("cmdPortOpen")->click();
    // Whatever the operator does reaches no control before what came at the port is taken in.
    QObject control;
    const std::size_t drains = c.port->drains.size();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick, QEvent::KeyPress,
                                    QEvent::KeyRelease, QEvent::Shortcut, QEvent::InputMethod, QEvent::ContextMenu, QEvent::Drop, QEvent::Close})
        QCoreApplication::sendEvent(&control, std::make_unique<QEvent>(type).get());
    EXPECT_EQ(c.port->drains.size(), drains + 10) << "one drain each";
    c.window.Timer1_Timer();
    c.window.Timer1_Timer();
    c.state().bvCmdNo = 3;
    c.button("cmdPortOpen")->click();
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    ASSERT_EQ(c.port->writes.size(), 3u);
    EXPECT_EQ(toHex(c.port->writes[2]), "5B A4 03 10 00 00 13") << "the request made before the close goes out";
    // "Finish" in the program's own loop, which it ends; the bound only guards a failure.
    int ended = 0;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &c.window, [&] { ++ended; });
    QTimer::singleShot(0, &c.window, [&] { c.button("Command1")->click(); });
    QTimer::singleShot(5000, qApp, &QCoreApplication::quit);
    QApplication::exec();
    EXPECT_EQ(ended, 1) << "the only window closed: the program ends";
    EXPECT_TRUE(!c.window.isVisible() && !c.window.comeOne().PortOpen() && c.gblFlag().portOpen == kFalse && c.setting(0)->isEnabled());
}

TEST(PortSwitch, LostPortIsReportedOnItsOwnLineAndClosesCleanly)
{
    for (const char16_t* before : {u"22 03 ", u"44 \r\n"}) {
        Console c;
        c.button("cmdPortOpen")->click();
        c.window.receiveLog().append(before);
        c.port->loseDevice("device gone");
        EXPECT_EQ(c.rxLog(), QString::fromUtf16(before).remove(QStringLiteral("\r\n")) +
                                 QStringLiteral("\r\nCOM1 was lost (device gone); the port is closed.\r\n")) << "no empty line";
        EXPECT_EQ(switchLook(c), kClosed);
        c.button("cmdPortOpen")->click();
        c.button("cmdPortOpen")->click();
        c.port->loseDevice("device gone");
        EXPECT_EQ(c.rxLog().count(QStringLiteral("was lost")), 1) << "a report after the close is ignored";
    }
}

TEST(PortSwitch, ComPortItemsTellWhatEachNumberReachesWhenTheListOpens)
{
    Console c;
    for (const char* second : {"no device", "link to /dev/ttyUSB0: FT232R USB UART, maker FTDI"}) {
        c.portTips = {QStringLiteral("on-board port /dev/ttyS0"), QString::fromLatin1(second)};
        c.setting(0)->showPopup();
        EXPECT_EQ(c.setting(0)->itemData(0, Qt::ToolTipRole).toString() + u'|' + c.setting(0)->itemData(1, Qt::ToolTipRole).toString() + (QApplication::activePopupWidget() ? "" : " (the list did not open)"),
                  c.portTips.join(u'|')) << "read again at each opening";
        c.setting(0)->hidePopup();
    }
}
