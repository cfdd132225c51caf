// Start-up, the settings and the open/close switch of the real window, on a
// scripted port.
#include "support/Console.h"
#include "support/Rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {
const char* const kSelectors[] = {"checkBv", "checkHp", "optionCm", "optionSlt", "OptionCoin"};

void expectClosed(Console& c)
{
    EXPECT_EQ(c.gblFlag().portOpen, kFalse);
    EXPECT_FALSE(c.window.comeOne().PortOpen());
    EXPECT_FALSE(c.window.timer1().isEnabled());
    EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Open"));
    for (const char* name : kSelectors)
        EXPECT_TRUE(c.get(QString::fromLatin1(name))->isEnabled()) << name;
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(c.setting(i)->isEnabled()) << i;
}
// "1" for each enabled control of an array, "0" for each disabled one.
QString enabled(Console& c, const char* array, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += c.get(QStringLiteral("%1(%2)").arg(QLatin1String(array)).arg(i))->isEnabled() ? u'1' : u'0';
    return s;
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
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(c.setting(i)->currentText(), QStringLiteral("Combo1"));
    c.window.receiveLog().append(u"44 ");
    c.window.Form_Load();
    EXPECT_TRUE(c.rxLog().isEmpty()) << "Form_Load empties the receive log";
    const char* items[] = {"COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 COM10 COM11 COM12 COM13 COM14 COM15 COM16",
                           "19200 9600 4800 2400 1200 600", "None Even Odd Mark Space", "8 7 6 5 4", "1 1.5 2",
                           "None LF CR CR+LF"};
    const char* shown[] = {"COM1", "9600", "Even", "8", "1", "None"};
    for (int i = 0; i < 6; ++i) {
        QStringList got;
        for (int k = 0; k < c.setting(i)->count(); ++k)
            got << c.setting(i)->itemText(k).remove(u' ');
        EXPECT_EQ(got.join(u' '), QString::fromLatin1(items[i]));
        EXPECT_EQ(c.setting(i)->currentText(), QString::fromLatin1(shown[i]));
    }
    EXPECT_EQ(c.setting(5)->itemText(3), QStringLiteral("CR + LF"));
    EXPECT_TRUE(c.get<QCheckBox>("checkBv")->isChecked());
    EXPECT_TRUE(c.get<QRadioButton>("ViewMode(0)")->isChecked());
    EXPECT_EQ(c.gblFlag().viewMode, 0);
    EXPECT_EQ(c.state().rxPos, 1);
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
            LineSettings want{9600, Parity::Even, 8, StopBits::One}; // "EOF Char" has no effect
            switch (combo) {
            case 1: want.baud = bauds[i]; break;
            case 2: want.parity = parities[i]; break;
            case 3: want.dataBits = 8 - i; break;
            case 4: want.stopBits = stops[i]; break;
            default: break;
            }
            EXPECT_EQ(c.port->opens[0].settings, want) << "Setting(" << combo << ") index " << i;
            EXPECT_EQ(c.port->opens[0].device, "/dev/test" + std::to_string(combo == 0 ? i + 1 : 1));
        }
    }
    Console c;
    c.button("cmdPortOpen")->click();
    EXPECT_FALSE(c.port->opens[0].dtr || c.port->opens[0].rts);
    EXPECT_EQ(c.gblFlag().portOpen, kTrue);
    EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Close"));
    EXPECT_TRUE(c.window.timer1().isEnabled());
    EXPECT_TRUE(c.port->writes.empty()) << "the open itself sends nothing";
    for (const char* name : kSelectors)
        EXPECT_FALSE(c.get(QString::fromLatin1(name))->isEnabled()) << name;
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(c.setting(i)->isEnabled());
}

TEST(PortSwitch, ButtonsFollowTheDeviceChoiceAndStayAfterTheClose)
{
    const struct {
        bool bv, hp;
        const char* coin;
        std::uint8_t curDevice;
        const char* buttons; // bvCmd(0 ... 6), cmCmd(0 ... 6), TxtCh, cmdHp1(0 ... 5): 1 enabled
    } cases[] = {
        {true, true, "optionCm", 0, "1111111 11111111 111111"},    {true, false, "optionSlt", 0, "1111111 01110110 000001"},
        {false, true, "OptionCoin", 4, "0000000 00000000 111111"},  {true, false, "OptionCoin", 0, "1111111 00000000 000001"},
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
        EXPECT_EQ(c.rxLog(), QString::fromLatin1(k.message));
        EXPECT_EQ(c.button("cmdPortOpen")->toolTip(), QString::fromLatin1(k.reason));
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

TEST(PortSwitch, ReopenKeepsTheLinkState)
{
    Console c;
    c.button("cmdPortOpen")->click();
    c.window.Timer1_Timer();
    c.window.Timer1_Timer();
    c.state().bvCmdNo = 3;
    c.state().bvMiss = 4;
    c.button("cmdPortOpen")->click();
    expectClosed(c);
    c.button("cmdPortOpen")->click();
    EXPECT_EQ(c.state().bvMiss, 4);
    EXPECT_EQ(c.state().pollTurn, 0);
    c.window.Timer1_Timer();
    EXPECT_EQ(toHex(c.port->takeWire()), "5A A5 62 9D 5B A4 03 10 00 00 13");
}

TEST(PortSwitch, FinishClosesThePortAndEndsTheProgram)
{
    for (bool open : {true, false}) {
        Console c;
        int ended = 0;
        QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &c.window, [&] { ++ended; });
        c.window.show();
        if (open)
            c.button("cmdPortOpen")->click();
        // The program's own loop, which "Finish" ends; the bound only guards a failure.
        QTimer::singleShot(0, &c.window, [&] { c.button("Command1")->click(); });
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
        guard.start(5000);
        QApplication::exec();
        EXPECT_FALSE(c.window.comeOne().PortOpen());
        EXPECT_EQ(c.gblFlag().portOpen, kFalse);
        EXPECT_TRUE(c.setting(0)->isEnabled());
        EXPECT_FALSE(c.window.isVisible());
        EXPECT_EQ(ended, 1) << "the only window closed: the program ends";
        EXPECT_EQ(c.port->opens.size(), open ? 1u : 0u);
    }
}

TEST(PortSwitch, LostPortIsReportedOnItsOwnLineAndClosesCleanly)
{
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"22 03 ", "22 03 \r\nCOM1 was lost (device gone); the port is closed.\r\n"},
        {u"44 \r\n", "44 \r\nCOM1 was lost (device gone); the port is closed.\r\n"}, // no empty line
    };
    for (const auto& [before, after] : cases) {
        Console c;
        c.button("cmdPortOpen")->click();
        c.window.receiveLog().append(before);
        c.port->loseDevice("device gone");
        EXPECT_EQ(c.rxLog(), QString::fromLatin1(after));
        expectClosed(c);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.gblFlag().portOpen, kTrue) << "opens again once the device is back";
    }
    Console closed;
    closed.button("cmdPortOpen")->click();
    closed.button("cmdPortOpen")->click();
    closed.port->loseDevice("device gone");
    EXPECT_TRUE(closed.rxLog().isEmpty()) << "a report after the close is ignored";
}

TEST(PortSwitch, ComPortItemsTellWhatEachNumberReachesWhenTheListOpens)
{
    Console c;
    c.portTips = {QStringLiteral("on-board port /dev/ttyS0"), QStringLiteral("no device")};
    for (const char* second : {"no device", "link to /dev/ttyUSB0: FT232R USB UART, maker FTDI"}) {
        c.portTips[1] = QString::fromLatin1(second);
        c.setting(0)->showPopup();
        c.setting(0)->hidePopup();
        EXPECT_EQ(c.setting(0)->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("on-board port /dev/ttyS0"));
        EXPECT_EQ(c.setting(0)->itemData(1, Qt::ToolTipRole).toString(), c.portTips[1]) << "read again at each opening";
        EXPECT_EQ(c.setting(0)->itemText(1), QStringLiteral("COM2"));
    }
}
