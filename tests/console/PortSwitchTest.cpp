// Start-up, the settings and the open/close switch of the real window, on a
// scripted port.
#include "support/Console.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
// "1" for each enabled control of an array, "0" for each disabled one.
QString enabled(Console& c, const char* array, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += c.get(QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(i))->isEnabled() ? u'1' : u'0';
    return s;
}
// The closed state: the port, the timer, the caption, and the choices unlocked.
void expectClosed(Console& c)
{
    EXPECT_EQ(c.gblFlag().portOpen, kFalse);
    EXPECT_FALSE(c.window.comeOne().PortOpen() || c.window.timer1().isEnabled());
    EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Open"));
    QString unlocked = enabled(c, "Setting", 6);
    for (const char* name : {"checkBv", "checkHp", "optionCm", "optionSlt", "OptionCoin"})
        unlocked += c.get(QString::fromLatin1(name))->isEnabled() ? u'1' : u'0';
    EXPECT_EQ(unlocked, QStringLiteral("11111111111"));
}
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
    EXPECT_EQ(c.setting(3)->currentText(), QStringLiteral("Combo1")) << "until filled";
    c.window.receiveLog().append(u"44 ");
    c.window.Form_Load();
    EXPECT_TRUE(c.rxLog().isEmpty()) << "Form_Load empties the receive log";
    const char* items[] = {"COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 COM13 COM14 COM15 COM16",
                           "19200 9600 4800 2400 1200 600", "None Even Odd Mark Space", "8 7 6 5 4", "1 1.5 2", "None LF CR CR+LF"};
    for (int i = 0; i < 6; ++i) {
        QStringList got;
        for (int k = 0; k < c.setting(i)->count(); ++k)
            got << c.setting(i)->itemText(k).remove(u' ');
        EXPECT_EQ(got.join(u' '), QString::fromLatin1(items[i]));
    }
    QStringList shown;
    for (int i = 0; i < 6; ++i)
        shown << c.setting(i)->currentText();
    EXPECT_EQ(shown.join(u' ') + c.setting(5)->itemText(3), QStringLiteral("COM1 9600 Even 8 1 NoneCR + LF"));
    EXPECT_TRUE(c.get<QCheckBox>("checkBv")->isChecked() && c.get<QRadioButton>("ViewMode(0)")->isChecked());
    EXPECT_EQ(c.gblFlag().viewMode + c.state().rxPos, 1);
    EXPECT_EQ(c.window.timer1().interval(), kPollInterval);
    expectClosed(c);
    EXPECT_EQ(enabled(c, "bvCmd", 7) + enabled(c, "cmCmd", 7) + enabled(c, "cmdHp1", 6), QString(20, u'1'));
    EXPECT_TRUE(c.get("TxtCh")->isEnabled());
}

TEST(PortSwitch, EverySettingsIndexReachesThePort)
{
    const int counts[] = {16, 6, 5, 5, 3, 4};
    const int bauds[] = {19200, 9600, 4800, 2400, 1200, 600};
    const Parity parities[] = {Parity::None, Parity::Even, Parity::Odd, Parity::Mark, Parity::Space};
    const StopBits stops[] = {StopBits::One, StopBits::OneAndHalf, StopBits::Two};
    for (int combo = 0; combo < 6; ++combo) {
        for (int i = 0; i < counts[combo]; ++i) {
            Console c;
            c.setting(combo)->setCurrentIndex(i);
            c.button("cmdPortOpen")->click();
            ASSERT_EQ(c.port->opens.size(), 1u);
            LineSettings want{combo == 1 ? bauds[i] : 9600, combo == 2 ? parities[i] : Parity::Even, combo == 3 ? 8 - i : 8,
                              combo == 4 ? stops[i] : StopBits::One}; // "EOF Char" has no effect
            EXPECT_EQ(c.port->opens[0].settings, want) << "Setting(" << combo << ") index " << i;
            EXPECT_EQ(c.port->opens[0].device, "/dev/test" + std::to_string(combo == 0 ? i + 1 : 1));
        }
    }
    Console c;
    c.button("cmdPortOpen")->click();
    EXPECT_FALSE(c.port->opens[0].dtr || c.port->opens[0].rts);
    EXPECT_EQ(c.gblFlag().portOpen, kTrue);
    EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Close"));
    EXPECT_TRUE(c.window.timer1().isEnabled() && c.port->writes.empty()) << "the open itself sends nothing";
    EXPECT_EQ(enabled(c, "Setting", 6), QStringLiteral("000000"));
    EXPECT_FALSE(c.get("checkBv")->isEnabled() || c.get("OptionCoin")->isEnabled());
}

TEST(PortSwitch, ButtonsFollowTheDeviceChoiceAndStayAfterTheClose)
{
    const struct {
        bool bv, hp;
        const char* coin;
        std::uint8_t curDevice;
        const char* buttons; // bvCmd(0 ... 6), cmCmd(0 ... 6) and TxtCh, cmdHp1(0 ... 5): 1 enabled
    } cases[] = {
        {true, true, "optionCm", 0, "1111111 11111111 111111"},   {true, false, "optionSlt", 0, "1111111 01110110 000001"},
        {false, true, "OptionCoin", 4, "0000000 00000000 111111"}, {true, false, "OptionCoin", 0, "1111111 00000000 000001"},
        {false, false, "optionCm", 0, "0000000 11111111 000001"},
    };
    for (const auto& k : cases) {
        Console c;
        choose(c, k.bv, k.hp, k.coin);
        for (int round = 0; round < 2; ++round) { // open, then closed again
            c.button("cmdPortOpen")->click();
            EXPECT_EQ(c.state().curDevice, k.curDevice) << k.coin;
            const QString got = enabled(c, "bvCmd", 7) + u' ' + enabled(c, "cmCmd", 7) +
                                (c.get("TxtCh")->isEnabled() ? u'1' : u'0') + u' ' + enabled(c, "cmdHp1", 6);
            EXPECT_EQ(got, QString::fromLatin1(k.buttons)) << k.coin << " round " << round;
        }
        expectClosed(c);
    }
}

// Regression: a failed open left Timer1 running on a closed port and the
// device choice locked. The steps before the failing one keep their effect.
TEST(PortSwitch, RefusedOpenReportsThePortAndReturnsToClosed)
{
    const struct {
        std::function<void(Console&)> prepare;
        const char* message;
        const char* reason;
    } cases[] = {
        {[](Console& c) { c.setting(1)->setEditText(QStringLiteral("38400")); }, "1is not opend", "invalid line settings"},
        {[](Console& c) { c.setting(0)->setEditText(QStringLiteral("ttyUSB0")); }, "0is not opend", "no port selected"},
        {[](Console& c) { c.setting(0)->setCurrentIndex(2); }, "3is not opend", "no device for this port number"},
        {[](Console& c) { c.port->refuseOpen = "Permission denied"; c.setting(0)->setCurrentIndex(11); }, "12is not opend",
         "Permission denied"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.message);
        Console c(true, {3});
        choose(c, false, true, "OptionCoin");
        c.window.receiveLog().append(u"22 03 ");
        k.prepare(c);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.rxLog() + u'/' + c.button("cmdPortOpen")->toolTip(), QString::fromLatin1(k.message) + u'/' + QString::fromLatin1(k.reason));
        expectClosed(c);
        EXPECT_EQ(c.state().curDevice, device::kHopper);
        EXPECT_EQ(enabled(c, "bvCmd", 7) + enabled(c, "cmdHp1", 6), QStringLiteral("0000000111111"));
        c.port->refuseOpen.reset();
        c.setting(0)->setCurrentIndex(0);
        c.setting(1)->setCurrentIndex(1);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.gblFlag().portOpen, kTrue) << "opens once the choice is corrected";
        EXPECT_TRUE(c.button("cmdPortOpen")->toolTip().isEmpty());
    }
}

TEST(PortSwitch, ReopenKeepsTheLinkStateAndFinishEndsTheProgram)
{
    Console c;
    c.window.show();
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    c.window.Timer1_Timer();
    c.state().bvCmdNo = 3;
    c.button("cmdPortOpen")->click();
    expectClosed(c);
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    EXPECT_EQ(toHex(c.port->takeWire()), "5A A5 62 9D 5B A4 03 10 00 00 13");
    // "Finish" in the program's own loop, which it ends; the bound only guards a failure.
    int ended = 0;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &c.window, [&] { ++ended; });
    QTimer::singleShot(0, &c.window, [&] { c.button("Command1")->click(); });
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(5000);
    QApplication::exec();
    EXPECT_EQ(ended, 1) << "the only window closed: the program ends";
    EXPECT_FALSE(c.window.isVisible() || c.window.comeOne().PortOpen());
    EXPECT_EQ(c.gblFlag().portOpen, kFalse);
    EXPECT_TRUE(c.setting(0)->isEnabled());
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
        expectClosed(c);
        c.button("cmdPortOpen")->click();
        c.button("cmdPortOpen")->click();
        c.port->loseDevice("device gone");
        EXPECT_EQ(c.rxLog().count(QStringLiteral("was lost")), 1) << "a report after the close is ignored";
    }
}

TEST(PortSwitch, ComPortItemsTellWhatEachNumberReachesWhenTheListOpens)
{
    Console c;
    c.portTips = {QStringLiteral("on-board port /dev/ttyS0"), QStringLiteral("no device")};
    for (const char* second : {"no device", "link to /dev/ttyUSB0: FT232R USB UART, maker FTDI"}) {
        c.portTips[1] = QString::fromLatin1(second);
        c.setting(0)->showPopup();
        c.setting(0)->hidePopup();
        EXPECT_EQ(c.setting(0)->itemData(1, Qt::ToolTipRole).toString(), c.portTips[1]) << "read again at each opening";
        EXPECT_EQ(c.setting(0)->itemData(0, Qt::ToolTipRole).toString() + c.setting(0)->itemText(1),
                  QStringLiteral("on-board port /dev/ttyS0COM2"));
    }
}
