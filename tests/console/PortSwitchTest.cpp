#include "support/Console.h"
#include "support/Rig.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
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
} // namespace

TEST(StartUp, DefaultsAfterFormLoad)
{
    Console c;
    const char* shown[] = {"COM1", "9600", "Even", "8", "1", "None"};
    const int counts[] = {16, 6, 5, 5, 3, 4};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(c.setting(i)->currentText(), QString::fromLatin1(shown[i]));
        EXPECT_EQ(c.setting(i)->count(), counts[i]);
    }
    EXPECT_EQ(c.setting(0)->itemText(15), QStringLiteral("COM16"));
    EXPECT_TRUE(c.get<QCheckBox>("checkBv")->isChecked());
    EXPECT_TRUE(c.get<QRadioButton>("ViewMode(0)")->isChecked());
    EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Open"));
    EXPECT_FALSE(c.window.timer1().isEnabled());
    EXPECT_EQ(c.window.timer1().interval(), kPollInterval);
    EXPECT_EQ(c.state().rxPos, 1);
    EXPECT_EQ(c.gblFlag().viewMode, 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(c.get(QStringLiteral("cmCmd(%1)").arg(i))->isEnabled());
}

TEST(StartUp, CombosShowCombo1UntilFilled)
{
    Console c(false);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(c.setting(i)->currentText(), QStringLiteral("Combo1"));
    c.window.Form_Load();
    for (int i = 0; i < 6; ++i)
        EXPECT_NE(c.setting(i)->currentText(), QStringLiteral("Combo1"));
}

TEST(PortSwitch, OpenWithTheChosenSettings)
{
    const struct {
        int port, baud, parity, data, stop;
        LineSettings expected;
    } cases[] = {
        {0, 1, 1, 0, 0, {9600, Parity::Even, 8, StopBits::One}},
        {2, 0, 0, 1, 2, {19200, Parity::None, 7, StopBits::Two}},
        {15, 5, 4, 4, 1, {600, Parity::Space, 4, StopBits::OneAndHalf}},
        {7, 3, 3, 3, 0, {2400, Parity::Mark, 5, StopBits::One}},
    };
    for (const auto& k : cases) {
        Console c;
        c.setting(0)->setCurrentIndex(k.port);
        c.setting(1)->setCurrentIndex(k.baud);
        c.setting(2)->setCurrentIndex(k.parity);
        c.setting(3)->setCurrentIndex(k.data);
        c.setting(4)->setCurrentIndex(k.stop);
        c.setting(5)->setCurrentIndex(3); // EOF Char has no effect
        c.button("cmdPortOpen")->click();
        ASSERT_EQ(c.port->opens.size(), 1u);
        EXPECT_EQ(c.port->opens[0].device, "/dev/test" + std::to_string(k.port + 1));
        EXPECT_EQ(c.port->opens[0].settings, k.expected);
        EXPECT_FALSE(c.port->opens[0].dtr);
        EXPECT_FALSE(c.port->opens[0].rts);
        EXPECT_EQ(c.gblFlag().portOpen, kTrue);
        EXPECT_EQ(c.button("cmdPortOpen")->text(), QStringLiteral("Port Close"));
        EXPECT_TRUE(c.window.timer1().isEnabled());
        EXPECT_TRUE(c.port->writes.empty()) << "the open itself sends nothing";
        for (const char* name : kSelectors)
            EXPECT_FALSE(c.get(QString::fromLatin1(name))->isEnabled()) << name;
        for (int i = 0; i < 6; ++i)
            EXPECT_FALSE(c.setting(i)->isEnabled());
    }
}

TEST(PortSwitch, ButtonsFollowTheDeviceChoice)
{
    struct Case {
        bool bv, hp;
        const char* coin;
        std::uint8_t curDevice;
        const char* coinButtons; // cmCmd(0 ... 6) and TxtCh: 1 enabled
    };
    const Case cases[] = {
        {true, true, "optionCm", device::kNone, "11111111"},
        {true, false, "optionSlt", device::kNone, "01110110"},
        {false, true, "OptionCoin", device::kHopper, "00000000"},
        {true, false, "OptionCoin", device::kNone, "00000000"},
        {false, false, "optionCm", device::kNone, "11111111"},
    };
    for (const Case& k : cases) {
        Console c;
        c.get<QCheckBox>("checkBv")->setChecked(k.bv);
        c.get<QCheckBox>("checkHp")->setChecked(k.hp);
        c.get<QRadioButton>(QString::fromLatin1(k.coin))->setChecked(true);
        c.button("cmdPortOpen")->click();
        SCOPED_TRACE(k.coin);
        EXPECT_EQ(c.state().curDevice, k.curDevice);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(c.get(QStringLiteral("bvCmd(%1)").arg(i))->isEnabled(), k.bv);
            EXPECT_EQ(c.get(QStringLiteral("cmCmd(%1)").arg(i))->isEnabled(), k.coinButtons[i] == '1') << i;
        }
        EXPECT_EQ(c.get("TxtCh")->isEnabled(), k.coinButtons[7] == '1');
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(c.get(QStringLiteral("cmdHp1(%1)").arg(i))->isEnabled(), k.hp);
        EXPECT_TRUE(c.get("cmdHp1(5)")->isEnabled()) << "\"HP All\" is left as it is";

        // After a close the buttons keep what the open gave them.
        c.button("cmdPortOpen")->click();
        expectClosed(c);
        EXPECT_EQ(c.get("cmCmd(0)")->isEnabled(), k.coinButtons[0] == '1');
        EXPECT_EQ(c.get("bvCmd(0)")->isEnabled(), k.bv);
    }
}

TEST(PortSwitch, RefusedOpenReportsThePortAndReturnsToClosed)
{
    struct Case {
        const char* why;
        std::function<void(Console&)> prepare;
        const char* message;
        const char* reason;
    };
    const Case cases[] = {
        {"typed baud", [](Console& c) { c.setting(1)->setEditText(QStringLiteral("38400")); }, "1is not opend",
         "invalid line settings"},
        {"typed port", [](Console& c) { c.setting(0)->setEditText(QStringLiteral("ttyUSB0")); }, "0is not opend",
         "no port selected"},
        {"no device", [](Console& c) { c.setting(0)->setCurrentIndex(2); }, "3is not opend", "no device for this port number"},
        {"driver refuses", [](Console& c) { c.port->refuseOpen = "Permission denied"; c.setting(0)->setCurrentIndex(11); },
         "12is not opend", "Permission denied"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.why);
        Console c(true, {3});
        c.window.receiveLog().append(u"22 03 ");
        k.prepare(c);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.rxLog(), QString::fromLatin1(k.message));
        EXPECT_EQ(c.button("cmdPortOpen")->toolTip(), QString::fromLatin1(k.reason));
        expectClosed(c);
        // The steps before the failing one keep their effect.
        EXPECT_EQ(c.state().curDevice, device::kNone);
        EXPECT_TRUE(c.get("bvCmd(0)")->isEnabled());
        // The operator corrects the choice and opens again.
        c.port->refuseOpen.reset();
        c.setting(0)->setCurrentIndex(0);
        c.setting(1)->setCurrentIndex(1);
        c.button("cmdPortOpen")->click();
        EXPECT_EQ(c.gblFlag().portOpen, kTrue);
        EXPECT_TRUE(c.window.comeOne().PortOpen());
        EXPECT_TRUE(c.button("cmdPortOpen")->toolTip().isEmpty());
    }
}

// Regression: a failed open left Timer1 running on a closed port, so every tick
// wrote to it, and the device choice locked.
TEST(PortSwitch, FailedOpenDoesNotLeaveThePollTimerRunning)
{
    Console c(true, {1});
    c.button("cmdPortOpen")->click();
    EXPECT_FALSE(c.window.timer1().isEnabled());
    EXPECT_TRUE(c.get("checkBv")->isEnabled());
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
    EXPECT_EQ(c.state().bvCmdNo, 3);
    EXPECT_EQ(c.state().bvMiss, 4);
    EXPECT_EQ(c.state().pollTurn, 0);
    EXPECT_EQ(toHex(c.port->takeWire()), "5A A5 62 9D");
    c.window.Timer1_Timer();
    EXPECT_EQ(toHex(c.port->takeWire()), "5B A4 03 10 00 00 13");
}

TEST(PortSwitch, FinishClosesThePortWhenOpen)
{
    Console c;
    c.window.show();
    c.button("cmdPortOpen")->click();
    c.button("Command1")->click();
    EXPECT_FALSE(c.window.comeOne().PortOpen());
    EXPECT_EQ(c.gblFlag().portOpen, kFalse);
    EXPECT_TRUE(c.setting(0)->isEnabled());
    EXPECT_FALSE(c.window.isVisible());

    Console closed;
    closed.window.show();
    closed.button("Command1")->click();
    EXPECT_FALSE(closed.window.isVisible());
    EXPECT_TRUE(closed.port->opens.empty());
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
    auto* combo = c.setting(0);
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("on-board port /dev/ttyS0"));
    EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("no device"));
    c.portTips[1] = QStringLiteral("link to /dev/ttyUSB0: FT232R USB UART, maker FTDI");
    combo->showPopup();
    combo->hidePopup();
    EXPECT_EQ(combo->itemData(1, Qt::ToolTipRole).toString(), c.portTips[1]) << "refreshed at each opening";
    EXPECT_EQ(combo->itemText(1), QStringLiteral("COM2"));
}
