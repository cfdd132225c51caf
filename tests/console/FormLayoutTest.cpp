// The window's layout, checked by what makes it usable rather than by a copy
// of its table: names, captions that fit, controls inside their frames and
// clear of each other, fonts, colours and tab order; and a few spot positions.
#include "support/Console.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <gtest/gtest.h>

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {

constexpr const char* kControls = "cmdPortOpen Command1 Command2 checkBv checkHp optionCm optionSlt OptionCoin txtamount TxtCh "
                                  "Text4 Txt08 Txt09 txt0a Txt0b txt18 txt19 txt1a txt1b txt14 txt15 txt16 txt17 Text1 txt수신 "
                                  "Label#20 Frame#7 Setting*6 bvCmd*7 cmCmd*7 cmdHp1*6 hpCount*4 ViewMode*3";

// The room the style leaves a caption inside its control.
int captionRoom(QWidget* w)
{
    QStyleOptionButton opt;
    opt.initFrom(w);
    const auto room = qobject_cast<QPushButton*>(w) ? QStyle::SE_PushButtonContents
                      : qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                      : qobject_cast<QRadioButton*>(w) ? QStyle::SE_RadioButtonContents
                                                       : QStyle::SE_CustomBase;
    return room == QStyle::SE_CustomBase ? w->width() : w->style()->subElementRect(room, &opt, w).width();
}

} // namespace

TEST(FormLayout, EveryControlIsThereOnceAndNothingElseIsNamed)
{
    Console c;
    const QStringList names = Console::names(kControls);
    ASSERT_EQ(names.size(), 85);
    for (const QString& name : names)
        EXPECT_EQ(c.window.findChildren<QWidget*>(name).size(), 1) << name.toStdString();
    for (QWidget* w : c.window.findChildren<QWidget*>()) {
        const bool control = w->parentWidget() == &c.window || qobject_cast<QGroupBox*>(w->parentWidget());
        if (control && !w->isWindow()) {
            EXPECT_TRUE(names.contains(w->objectName())) << "unnamed or unknown: " << w->objectName().toStdString();
        }
    }
}

TEST(FormLayout, CaptionsFitControlsSitInsideTheirFramesAndClearOfEachOther)
{
    Console c;
    for (QWidget* w : c.window.findChildren<QWidget*>()) {
        const QString caption = w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString();
        EXPECT_LE(w->fontMetrics().horizontalAdvance(caption), captionRoom(w)) << w->objectName().toStdString() << " is clipped";
    }
    QList<QWidget*> groups{&c.window};
    for (QGroupBox* frame : c.window.findChildren<QGroupBox*>())
        groups << frame;
    for (QWidget* group : groups) {
        QList<QWidget*> kids = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        kids.removeIf([](QWidget* w) { return w->isWindow(); });
        for (QWidget* a : kids) {
            EXPECT_TRUE(group->rect().contains(a->geometry())) << a->objectName().toStdString() << " leaves its frame";
            for (QWidget* b : kids) {
                const QRect both = a->geometry() & b->geometry();
                EXPECT_TRUE(a == b || both.isEmpty() || std::min(both.width(), both.height()) <= 3)
                    << a->objectName().toStdString() << " covers " << b->objectName().toStdString();
            }
        }
    }
}

TEST(FormLayout, WindowFontsAndSpotPositions)
{
    Console c;
    EXPECT_EQ(c.window.windowTitle(), QStringLiteral("CM_BV_HP Test"));
    EXPECT_EQ(c.window.size(), QSize(627, 642));
    EXPECT_EQ(c.window.minimumSize(), c.window.maximumSize()) << "fixed size";
    EXPECT_EQ(c.window.palette().color(QPalette::Window), QColor(192, 192, 192));
    // Window twips / 15, as placed in the window.
    const std::pair<const char*, QRect> spots[] = {{"Setting(0)", {80, 16, 89, 20}},   {"cmdHp1(5)", {544, 224, 65, 25}},
                                                   {"txt수신", {176, 392, 449, 241}},  {"Label20", {520, 352, 16, 25}},
                                                   {"bvCmd(6)", {376, 136, 65, 33}},   {"OptionCoin", {24, 360, 105, 17}}};
    for (const auto& [name, rect] : spots) {
        QWidget* w = c.get(QString::fromUtf8(name));
        EXPECT_EQ(QRect(w->mapTo(&c.window, QPoint()), w->size()), rect) << name;
    }
    // Frame captions in the window's 13 px, what is inside a frame in 12 px,
    // the two amounts in 19 px, the logs in the window's.
    for (QGroupBox* frame : c.window.findChildren<QGroupBox*>()) {
        EXPECT_EQ(frame->font().pixelSize(), 13) << frame->objectName().toStdString();
        for (QWidget* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const bool amount = w->objectName() == QStringLiteral("txtamount") || w->objectName() == QStringLiteral("TxtCh");
            EXPECT_EQ(w->font().pixelSize(), amount ? 19 : 12) << w->objectName().toStdString();
        }
    }
    EXPECT_EQ(c.get("Text1")->font().pixelSize(), 13);
}

TEST(FormLayout, TabGoesFrameByFrameThenRowByRowLeftToRight)
{
    Console c;
    // The focus chain's stops inside frames, from the first.
    QWidget* first = c.setting(0);
    std::vector<QWidget*> stops;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && qobject_cast<QGroupBox*>(w->parentWidget()))
            stops.push_back(w);
        w = w->nextInFocusChain();
    } while (w != first);
    ASSERT_EQ(stops.size(), 56u);
    auto place = [](QWidget* x) { return std::tuple(x->parentWidget()->y(), x->parentWidget()->x(), x->y(), x->x()); };
    for (std::size_t i = 1; i < stops.size(); ++i)
        EXPECT_LT(place(stops[i - 1]), place(stops[i]))
            << stops[i - 1]->objectName().toStdString() << " before " << stops[i]->objectName().toStdString();
}
