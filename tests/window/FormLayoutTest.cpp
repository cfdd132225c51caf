// The window's layout, checked by what makes it usable rather than by a copy
// of its table: names, captions that fit, controls inside their frames and
// clear of each other, colours and tab order; and the window as drawn.
#include "support/Console.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <gtest/gtest.h>

using namespace cmbvhp::test;

namespace {

// Every control by name, with what it shows after start-up: a caption, an
// initial text, a combo's choice, a frame's title and colour.
constexpr const char* kControls =
    "cmdPortOpen=Port Open|Command1=Finish|Command2=Clear Text|checkBv=Bill Validator|checkHp=Hopper|optionCm=Coin Mechanism|"
    "optionSlt=Selector|OptionCoin=No Selector|txtamount=|TxtCh=0|Text4=|Txt08=|Txt09=|txt0a=|Txt0b=|txt18=|txt19=|txt1a=|"
    "txt1b=|txt14=|txt15=|txt16=|txt17=|Text1=|txt수신=|Label1=Baud|Label2=Com Port|Label3=Parity|Label4=Data Bit|"
    "Label5=Stop Bit|Label6=EOF Char|Label7=08|Label8=09|Label9=15|Label10=0A|Label11=0B|Label12=Coin Total|"
    "Label13=Coin Dispence|Label14=18|Label15=19|Label16=1A|Label17=1B|Label18=16|Label19=17|Label20=18|"
    "Frame1=Set up@c0c0c0|Frame2=View@c0c0c0|Frame3=Hopper@c0ffff|Frame4=Coin mechanism or Selector@c0ffc0|"
    "Frame5=Bill Validator@ffc080|Frame6=Device@ffffc0|Frame7=Data@c0c0ff|Setting(0)=COM1|Setting(1)=9600|Setting(2)=Even|"
    "Setting(3)=8|Setting(4)=1|Setting(5)=None|bvCmd(0)=Stand By|bvCmd(1)=Crem On|bvCmd(2)=Crem Off|bvCmd(3)=Stack|"
    "bvCmd(4)=Return|bvCmd(5)=BV All|bvCmd(6)=BV Data|cmCmd(0)=Stand By|cmCmd(1)=Crem On|cmCmd(2)=Crem Off|"
    "cmCmd(3)=Data Clear|cmCmd(4)=Change|cmCmd(5)=CM All|cmCmd(6)=CM Data|cmdHp1(0)=HP #1|cmdHp1(1)=HP #2|cmdHp1(2)=HP #3|"
    "cmdHp1(3)=HP #4|cmdHp1(4)=status|cmdHp1(5)=HP All|hpCount(0)=0|hpCount(1)=0|hpCount(2)=0|hpCount(3)=0|ViewMode(0)=Hex|"
    "ViewMode(1)=ASCII|ViewMode(2)=Dec";

QString shown(QWidget* w)
{
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title() + u'@' + g->palette().color(QPalette::Window).name().mid(1);
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    return w->property("text").toString();
}

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

TEST(FormLayout, EveryControlIsThereOnceShowingWhatItShouldAndNothingElseIsNamed)
{
    Console c;
    QStringList names, table;
    for (const QString& entry : QString::fromUtf8(kControls).split(u'|')) {
        names << entry.section(u'=', 0, 0);
        const auto found = c.window.findChildren<QWidget*>(names.back());
        table << names.back() + u'=' + (found.size() == 1 ? shown(found[0]) : QStringLiteral("(%1 found)").arg(found.size()));
    }
    EXPECT_EQ(c.window.objectName() + u'|' + table.join(u'|'), QStringLiteral("frmBody|") + QString::fromUtf8(kControls)) << "the form's name, then each control's";
    for (QWidget* w : c.window.findChildren<QWidget*>()) {
        const bool control = (w->parentWidget() == &c.window || qobject_cast<QGroupBox*>(w->parentWidget())) && !w->isWindow();
        EXPECT_TRUE(!control || names.contains(w->objectName())) << "unnamed or unknown: " << w->objectName().toStdString();
    }
}

TEST(FormLayout, CaptionsFitControlsSitInsideTheirFramesAndClearOfEachOther)
{
    Console c;
    for (QWidget* w : c.window.findChildren<QWidget*>()) // a frame's title, or a control's text
        EXPECT_LE(w->fontMetrics().horizontalAdvance(w->property(qobject_cast<QGroupBox*>(w) ? "title" : "text").toString()), captionRoom(w)) << w->objectName().toStdString() << " is clipped";
    QList<QWidget*> groups{&c.window};
    for (QGroupBox* frame : c.window.findChildren<QGroupBox*>())
        groups << frame;
    for (QWidget* group : groups) {
        QList<QWidget*> kids = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        kids.removeIf([](QWidget* w) { return w->isWindow(); });
        for (QWidget* a : kids) {
            EXPECT_TRUE(group->rect().contains(a->geometry()) && a->x() % 8 == 0 && a->y() % 8 == 0) << a->objectName().toStdString() << " leaves its frame or the form's grid of 120 twips";
            for (QWidget* b : kids) {
                const QRect both = a->geometry() & b->geometry();
                EXPECT_TRUE(a == b || both.isEmpty() || std::min(both.width(), both.height()) <= 3)
                    << a->objectName().toStdString() << " covers " << b->objectName().toStdString();
            }
        }
    }
}

TEST(FormLayout, TheWindowAsDrawn)
{
    std::int64_t now = 0; // outlives the console, which reads it to the end
    OnScreen c;
    EXPECT_TRUE(c.window.windowTitle() == QStringLiteral("CM_BV_HP Test") && c.window.minimumSize() == c.window.maximumSize()) << "titled, of a fixed size";
    // Qt's own event loop, and the environment as it was for what the console starts.
    EXPECT_TRUE(!QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib") && !qEnvironmentVariableIsSet("QT_NO_GLIB"));
    // The window's size and grey, each control's place, size, font and
    // colour, as drawn after a coin mechanism's reply and a long run of bytes:
    // the boxes, the logs' rows, one chosen, and their bars.
    c.openWithFirstReply(now);
    c.port->feed(hex("33 13 00 08 12 05 00 99 00 0A 00 00 00 00 00 0B 01 00 00 00 00 95")), c.port->feed(Bytes(900, 0xA5));
    c.window.showPending(), c.window.receiveLog().sync(), c.window.transmitLog().selectRow(1);
    EXPECT_TRUE(looksAsKept(c.window, QStringLiteral("console")));
    int hue = 0; // and each control's whole area, edges its drawing leaves unseen included, in a colour of its own
    for (QWidget* w : c.window.findChildren<QWidget*>())
        w->setAutoFillBackground(true), w->setPalette(QColor::fromHsv(hue++ * 47 % 360, 70, 250));
    EXPECT_TRUE(looksAsKept(c.window, QStringLiteral("console-areas")));
}

TEST(FormLayout, TabGoesFrameByFrameThenRowByRowLeftToRight)
{
    Console c;
    // The focus chain's stops, from the first: all inside frames (a log takes the focus by a click).
    QWidget* first = c.setting(0);
    std::vector<QWidget*> stops;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QComboBox*>(w->parentWidget())) // an editable box's own edit
            stops.push_back(w);
        w = w->nextInFocusChain();
    } while (w != first);
    ASSERT_EQ(stops.size(), 56u);
    auto place = [](QWidget* x) { return std::tuple(x->parentWidget()->y(), x->parentWidget()->x(), x->y(), x->x()); };
    for (std::size_t i = 1; i < stops.size(); ++i)
        EXPECT_LT(place(stops[i - 1]), place(stops[i]))
            << stops[i - 1]->objectName().toStdString() << " before " << stops[i]->objectName().toStdString();
}
