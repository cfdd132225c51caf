#include "support/Rig.h"

#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

TEST(CommandSender, EachFrameIsOneWriteAndOneLogLine)
{
    Rig r;
    r.engine.sender().sendShort(0x5A);
    r.engine.sender().sendBvSet(0x00);
    r.engine.sender().sendBvReturn(0x50);
    ASSERT_EQ(r.port->writes.size(), 3u);
    EXPECT_EQ(toHex(r.port->writes[0]), "5A A5");
    EXPECT_EQ(toHex(r.port->writes[1]), "5B A4 03 10 00 00 13");
    EXPECT_EQ(toHex(r.port->writes[2]), "5B A4 05 11 00 50 01 00 45");
    EXPECT_EQ(r.ui.tx, QStringLiteral("5A A5 \r\n5B A4 3 10 0 0 13 \r\n5B A4 5 11 0 50 1 0 45 \r\n"));
}

TEST(CommandSender, ChangeTakesTxtChAndStoresTheAmountAsTyped)
{
    Rig r;
    const struct {
        const char* text;
        const char* wire;
        double stored;
    } cases[] = {
        {"1500", "63 9C 04 01 00 15 00 10", 1500},
        {" 25 ", "63 9C 04 01 25 00 00 20", 25},
        {"10000", "63 9C 04 01 00 00 00 05", 10000},
        {"0.5", "63 9C 04 01 00 00 00 05", 0.5},
        {"-40", "63 9C 04 01 00 00 00 05", -40},
        {"2147483647", "63 9C 04 01 00 00 00 05", 2147483647},
        {"-2147483648", "63 9C 04 01 00 00 00 05", -2147483648.0},
    };
    for (const auto& c : cases) {
        r.ui.setText(Box::TxtCh, QString::fromLatin1(c.text));
        r.timer.restarts = 0;
        r.engine.sender().sendCmChange();
        EXPECT_EQ(toHex(r.port->takeWire()), c.wire) << c.text;
        EXPECT_EQ(r.state().changeAmount, c.stored) << c.text;
        EXPECT_TRUE(r.timer.isEnabled());
        EXPECT_EQ(r.timer.restarts, 1) << "the countdown restarts after the write";
    }
    EXPECT_TRUE(r.ui.messages.isEmpty());
}

TEST(CommandSender, ChangeRefusesTextThatIsNoAmount)
{
    for (const char* text : {"abc", "", "1e3", "2147483648", "-2147483649", "12,5"}) {
        Rig r;
        r.state().changeAmount = 30;
        r.ui.setText(Box::TxtCh, QString::fromLatin1(text));
        r.engine.sender().sendCmChange();
        EXPECT_TRUE(r.port->writes.empty()) << text;
        EXPECT_TRUE(r.ui.tx.isEmpty()) << text;
        EXPECT_EQ(r.state().changeAmount, 30) << "the payout being followed is kept";
        ASSERT_EQ(r.ui.messages.size(), 1) << text;
        EXPECT_TRUE(r.ui.messages[0].contains(QStringLiteral("Coin Dispence holds \"%1\"").arg(QString::fromLatin1(text))))
            << r.ui.messages[0].toStdString();
        EXPECT_TRUE(r.timer.isEnabled()) << "polling goes on";
    }
}

TEST(CommandSender, HopperCountTakesItsBoxAndClaimsTheLine)
{
    const struct {
        int index;
        const char* text;
        const char* wire;
    } cases[] = {
        {1, "10", "73 8C 05 00 00 0A 00 00 0F"}, {3, "255", "73 8C 05 00 00 00 00 FF FA"},
        {0, "0", "73 8C 05 00 00 00 00 00 05"},  {2, "254.5", "73 8C 05 00 00 00 FE 00 FB"},
        {0, "2.5", "73 8C 05 00 02 00 00 00 07"}, {0, " 07 ", "73 8C 05 00 07 00 00 00 02"},
        {0, "-0.4", "73 8C 05 00 00 00 00 00 05"},
    };
    for (const auto& c : cases) {
        Rig r;
        r.ui.setText(hpCountBox(c.index), QString::fromLatin1(c.text));
        r.engine.sender().sendHpCount(c.index);
        EXPECT_EQ(toHex(r.port->takeWire()), c.wire) << c.text;
        EXPECT_EQ(r.state().curDevice, device::kHopper);
        EXPECT_TRUE(r.timer.isEnabled());
    }
}

TEST(CommandSender, HopperCountRefusesTextOutside0To255)
{
    for (const char* text : {"255.5", "256", "-1", "abc", "", "1e2"}) {
        Rig r;
        r.ui.setText(hpCountBox(2), QString::fromLatin1(text));
        r.engine.sender().sendHpCount(2);
        EXPECT_TRUE(r.port->writes.empty()) << text;
        EXPECT_TRUE(r.ui.tx.isEmpty()) << text;
        ASSERT_EQ(r.ui.messages.size(), 1) << text;
        EXPECT_TRUE(r.ui.messages[0].startsWith(QStringLiteral("The count box of HP #3 holds \"%1\"").arg(QString::fromLatin1(text))));
        EXPECT_TRUE(r.timer.isEnabled());
    }
}

// Regression: a frame refused for a full output buffer was logged as sent.
TEST(CommandSender, FrameThePortDoesNotTakeIsNotLoggedAndTheOperatorIsToldOncePerOpening)
{
    Rig r;
    r.ui.rx = QStringLiteral("22 03 ");
    r.port->pending = 1020;
    r.engine.sender().sendShort(0x5A);
    r.engine.sender().sendBvSet(0x00);
    EXPECT_TRUE(r.port->writes.empty());
    EXPECT_TRUE(r.ui.tx.isEmpty());
    EXPECT_EQ(r.ui.rx, QStringLiteral("22 03 \r\nCOM1 is not taking bytes; frames are dropped until it does.\r\n"));
    r.comeOne.setPortOpen(false);
    r.comeOne.setPortOpen(true);
    r.engine.sender().sendShort(0x5A);
    EXPECT_EQ(r.ui.rx.count(QStringLiteral("is not taking bytes")), 2) << "told again after a new opening";
    r.port->pending = 0;
    r.engine.sender().sendShort(0x5A);
    EXPECT_EQ(r.ui.tx, QStringLiteral("5A A5 \r\n"));
}
