#include "console/LogText.h"

#include <gtest/gtest.h>

using namespace cmbvhp;

TEST(LogText, KeepsTheExactText)
{
    LogText t;
    EXPECT_TRUE(t.isEmpty());
    t.append(u"22 03 ");
    t.append(u"1B \r\n");
    t.append(u"A \u2400 \u240D \u240A \u00E9 \uFFFD \u2421 ");
    t.append(u"\r\n");
    EXPECT_EQ(t.text(), QStringLiteral("22 03 1B \r\nA \u2400 \u240D \u240A \u00E9 \uFFFD \u2421 \r\n"));
    EXPECT_EQ(t.rowCount(), 3u);
    EXPECT_EQ(t.rowText(0), QStringLiteral("22 03 1B "));
    EXPECT_EQ(t.rowText(2), QString());
    t.setText(u"3is not opend");
    EXPECT_EQ(t.text(), QStringLiteral("3is not opend"));
    t.clear();
    EXPECT_TRUE(t.isEmpty());
    EXPECT_EQ(t.text(), QString());
}

TEST(LogText, LineBreaksSplitAcrossAppendsAndLoneOnes)
{
    LogText t;
    t.append(u"a\r");
    t.append(u"\nb\n\nc");
    EXPECT_EQ(t.text(), QStringLiteral("a\r\nb\r\n\r\nc"));
}

TEST(LogText, WrapsAfterTheLastBlankThatFits)
{
    LogText t;
    std::array<std::uint16_t, 256> widths{};
    widths.fill(1);
    t.setMetrics(widths, 9); // nine characters a row
    t.append(u"22 03 1B 01 00 19 \r\n");
    ASSERT_EQ(t.rowCount(), 3u);
    EXPECT_EQ(t.rowText(0), QStringLiteral("22 03 1B "));
    EXPECT_EQ(t.rowText(1), QStringLiteral("01 00 19 "));
    EXPECT_EQ(t.text(), QStringLiteral("22 03 1B 01 00 19 \r\n")) << "wrapping is not part of the text";

    t.append(u"0123456789AB");
    EXPECT_EQ(t.rowText(2), QStringLiteral("012345678")) << "no blank: broken at the edge";
    EXPECT_EQ(t.rowText(3), QStringLiteral("9AB"));

    t.setMetrics(widths, 100);
    EXPECT_EQ(t.rowCount(), 2u) << "laid out again for the new width";
    EXPECT_EQ(t.text(), QStringLiteral("22 03 1B 01 00 19 \r\n0123456789AB"));
}

TEST(LogText, EveryByteOfTheAsciiViewStaysOneCharacter)
{
    LogText t;
    QString all;
    for (int b = 0; b < 256; ++b) {
        all.append(QChar(LogText::decode(static_cast<std::uint8_t>(b))));
        all.append(u' ');
    }
    t.append(all);
    EXPECT_EQ(t.text(), all);
    EXPECT_EQ(t.rowCount(), 1u);
}
