#include "support/Console.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>
#include <gtest/gtest.h>

#include "console/LogView.h"

using namespace cmbvhp;
using namespace cmbvhp::test;

namespace {

enum class Kind { Button, Check, Option, Combo, Box, Label, Frame, Log };

struct Expected {
    const char* name;
    Kind kind;
    const char* caption; // caption, or initial text
    int left, top, width, height; // window twips
};

// Every control of the window, as the table of the layout gives it.
const Expected kControls[] = {
    {"Frame1", Kind::Frame, "Set up", 120, 0, 6735, 1575},
    {"Label2", Kind::Label, "Com Port", 240, 240, 855, 255},
    {"Setting(0)", Kind::Combo, "Combo1", 1200, 240, 1335, 300},
    {"Label1", Kind::Label, "Baud", 240, 720, 735, 255},
    {"Setting(1)", Kind::Combo, "Combo1", 1200, 720, 1335, 300},
    {"Label3", Kind::Label, "Parity", 240, 1200, 615, 255},
    {"Setting(2)", Kind::Combo, "Combo1", 1200, 1200, 1335, 300},
    {"Label4", Kind::Label, "Data Bit", 2640, 240, 975, 255},
    {"Setting(3)", Kind::Combo, "Combo1", 3600, 240, 1335, 300},
    {"Label5", Kind::Label, "Stop Bit", 2640, 720, 735, 255},
    {"Setting(4)", Kind::Combo, "Combo1", 3600, 720, 1335, 300},
    {"Label6", Kind::Label, "EOF Char", 2640, 1200, 855, 255},
    {"Setting(5)", Kind::Combo, "Combo1", 3600, 1200, 1335, 300},
    {"cmdPortOpen", Kind::Button, "", 5160, 240, 1455, 375},
    {"Command1", Kind::Button, "Finish", 5160, 720, 1455, 375},
    {"Frame2", Kind::Frame, "View", 6840, 0, 2535, 1575},
    {"ViewMode(0)", Kind::Option, "Hex", 6960, 360, 855, 375},
    {"ViewMode(1)", Kind::Option, "ASCII", 7800, 360, 735, 375},
    {"ViewMode(2)", Kind::Option, "Dec", 8520, 360, 735, 375},
    {"Command2", Kind::Button, "Clear Text", 6960, 1080, 2295, 375},
    {"Frame5", Kind::Frame, "Bill Validator", 120, 1680, 6615, 1095},
    {"bvCmd(0)", Kind::Button, "Stand By", 240, 2040, 855, 495},
    {"bvCmd(1)", Kind::Button, "Crem On", 1080, 2040, 855, 495},
    {"bvCmd(2)", Kind::Button, "Crem Off", 1920, 2040, 855, 495},
    {"bvCmd(3)", Kind::Button, "Stack", 2760, 2040, 855, 495},
    {"bvCmd(4)", Kind::Button, "Return", 3600, 2040, 855, 495},
    {"bvCmd(5)", Kind::Button, "BV All", 4680, 2040, 975, 495},
    {"bvCmd(6)", Kind::Button, "BV Data", 5640, 2040, 975, 495},
    {"Frame4", Kind::Frame, "Coin mechanism or Selector", 120, 2880, 6615, 975},
    {"cmCmd(0)", Kind::Button, "Stand By", 240, 3240, 855, 495},
    {"cmCmd(1)", Kind::Button, "Crem On", 1080, 3240, 855, 495},
    {"cmCmd(2)", Kind::Button, "Crem Off", 1920, 3240, 855, 495},
    {"cmCmd(3)", Kind::Button, "Data Clear", 2760, 3240, 855, 495},
    {"cmCmd(4)", Kind::Button, "Change", 3600, 3240, 855, 495},
    {"cmCmd(5)", Kind::Button, "CM All", 4680, 3240, 975, 495},
    {"cmCmd(6)", Kind::Button, "CM Data", 5640, 3240, 975, 495},
    {"Frame3", Kind::Frame, "Hopper", 6840, 1680, 2535, 2175},
    {"cmdHp1(0)", Kind::Button, "HP #1", 7080, 1920, 975, 375},
    {"cmdHp1(1)", Kind::Button, "HP #2", 7080, 2280, 975, 375},
    {"cmdHp1(2)", Kind::Button, "HP #3", 7080, 2640, 975, 375},
    {"cmdHp1(3)", Kind::Button, "HP #4", 7080, 3000, 975, 375},
    {"cmdHp1(4)", Kind::Button, "status", 7080, 3360, 975, 375},
    {"cmdHp1(5)", Kind::Button, "HP All", 8160, 3360, 975, 375},
    {"hpCount(0)", Kind::Box, "0", 8400, 1920, 735, 375},
    {"hpCount(1)", Kind::Box, "0", 8400, 2280, 735, 375},
    {"hpCount(2)", Kind::Box, "0", 8400, 2640, 735, 375},
    {"hpCount(3)", Kind::Box, "0", 8400, 3000, 735, 375},
    {"Frame6", Kind::Frame, "Device", 120, 3960, 1935, 1815},
    {"checkBv", Kind::Check, "Bill Validator", 360, 4200, 1575, 255},
    {"checkHp", Kind::Check, "Hopper", 360, 4440, 1575, 255},
    {"optionCm", Kind::Option, "Coin Mechanism", 360, 4680, 1575, 375},
    {"optionSlt", Kind::Option, "Selector", 360, 5040, 1575, 375},
    {"OptionCoin", Kind::Option, "No Selector", 360, 5400, 1575, 255},
    {"Frame7", Kind::Frame, "Data", 2160, 3960, 7215, 1815},
    {"Label12", Kind::Label, "Coin Total", 2280, 4200, 1080, 405},
    {"txtamount", Kind::Box, "", 3360, 4200, 1095, 405},
    {"Label13", Kind::Label, "Coin Dispence", 2280, 4680, 1080, 375},
    {"TxtCh", Kind::Box, "0", 3360, 4680, 1095, 375},
    {"Label7", Kind::Label, "08", 4680, 4200, 240, 405},
    {"Txt08", Kind::Box, "", 4920, 4200, 1215, 405},
    {"Label8", Kind::Label, "09", 4680, 4560, 240, 405},
    {"Txt09", Kind::Box, "", 4920, 4560, 1215, 405},
    {"Label10", Kind::Label, "0A", 4680, 4920, 240, 375},
    {"txt0a", Kind::Box, "", 4920, 4920, 1215, 375},
    {"Label11", Kind::Label, "0B", 4680, 5280, 240, 375},
    {"Txt0b", Kind::Box, "", 4920, 5280, 1215, 375},
    {"Label14", Kind::Label, "18", 6240, 4200, 240, 375},
    {"txt18", Kind::Box, "", 6480, 4200, 1215, 375},
    {"Label15", Kind::Label, "19", 6240, 4560, 240, 375},
    {"txt19", Kind::Box, "", 6480, 4560, 1215, 375},
    {"Label16", Kind::Label, "1A", 6240, 4920, 240, 375},
    {"txt1a", Kind::Box, "", 6480, 4920, 1215, 375},
    {"Label17", Kind::Label, "1B", 6240, 5280, 240, 375},
    {"txt1b", Kind::Box, "", 6480, 5280, 1215, 375},
    {"Label9", Kind::Label, "15", 7800, 4200, 240, 375},
    {"txt14", Kind::Box, "", 8040, 4200, 1215, 375},
    {"Label18", Kind::Label, "16", 7800, 4560, 240, 375},
    {"txt15", Kind::Box, "", 8040, 4560, 1215, 375},
    {"Label19", Kind::Label, "17", 7800, 4920, 240, 375},
    {"txt16", Kind::Box, "", 8040, 4920, 1215, 375},
    {"Label20", Kind::Label, "18", 7800, 5280, 240, 375},
    {"txt17", Kind::Box, "", 8040, 5280, 1215, 375},
    {"Text4", Kind::Box, "", 2280, 5280, 2175, 375},
    {"Text1", Kind::Log, "", 120, 5880, 2535, 3615},
    {"txt수신", Kind::Log, "", 2640, 5880, 6735, 3615},
};

QString captionOf(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w))
        return c->currentText();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

bool isKind(QWidget* w, Kind k)
{
    switch (k) {
    case Kind::Button: return qobject_cast<QPushButton*>(w);
    case Kind::Check: return qobject_cast<QCheckBox*>(w);
    case Kind::Option: return qobject_cast<QRadioButton*>(w);
    case Kind::Combo: return qobject_cast<QComboBox*>(w) && static_cast<QComboBox*>(w)->isEditable();
    case Kind::Box: return qobject_cast<QLineEdit*>(w);
    case Kind::Label: return qobject_cast<QLabel*>(w);
    case Kind::Frame: return qobject_cast<QGroupBox*>(w);
    case Kind::Log: return qobject_cast<LogView*>(w);
    }
    return false;
}

// Whether the caption fits the room the style leaves it inside the control.
bool captionFits(QWidget* w, Kind k)
{
    const int text = w->fontMetrics().horizontalAdvance(captionOf(w));
    QStyle* s = w->style();
    switch (k) {
    case Kind::Button: {
        QStyleOptionButton opt;
        opt.initFrom(w);
        return text <= s->subElementRect(QStyle::SE_PushButtonContents, &opt, w).width();
    }
    case Kind::Check:
    case Kind::Option: {
        QStyleOptionButton opt;
        opt.initFrom(w);
        const auto element = k == Kind::Check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
        return text <= s->subElementRect(element, &opt, w).width();
    }
    case Kind::Frame:
    case Kind::Label: return text <= w->width();
    default: return true;
    }
}

} // namespace

TEST(FormLayout, WindowCaptionSizeAndBackground)
{
    Console c;
    EXPECT_EQ(c.window.windowTitle(), QStringLiteral("CM_BV_HP Test"));
    EXPECT_EQ(c.window.size(), QSize(627, 642));
    EXPECT_EQ(c.window.minimumSize(), c.window.maximumSize()) << "fixed size";
    EXPECT_EQ(c.window.palette().color(QPalette::Window), QColor(192, 192, 192));
}

TEST(FormLayout, EveryControlByNameKindCaptionAndPlace)
{
    Console c(false);
    for (const Expected& s : kControls) {
        SCOPED_TRACE(s.name);
        QWidget* w = c.get(QString::fromUtf8(s.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(isKind(w, s.kind));
        if (s.kind != Kind::Log) {
            EXPECT_EQ(captionOf(w), QString::fromLatin1(s.caption));
        }
        const QPoint at = w->mapTo(&c.window, QPoint(0, 0));
        EXPECT_EQ(QRect(at, w->size()), QRect(s.left / 15, s.top / 15, s.width / 15, s.height / 15));
    }
}

TEST(FormLayout, CaptionsFitTheirControls)
{
    Console c;
    for (const Expected& s : kControls) {
        QWidget* w = c.get(QString::fromUtf8(s.name));
        ASSERT_NE(w, nullptr) << s.name;
        EXPECT_TRUE(captionFits(w, s.kind)) << s.name << " \"" << s.caption << "\" is clipped";
    }
}

TEST(FormLayout, FontsAndFrameColours)
{
    Console c;
    EXPECT_EQ(c.window.font().pixelSize(), 13);
    EXPECT_EQ(c.get("Text1")->font().pixelSize(), 13);
    EXPECT_EQ(c.get("bvCmd(0)")->font().pixelSize(), 12);
    EXPECT_EQ(c.get("Label2")->font().pixelSize(), 12);
    EXPECT_EQ(c.get("txtamount")->font().pixelSize(), 19);
    EXPECT_EQ(c.get("TxtCh")->font().pixelSize(), 19);
    const std::pair<const char*, QColor> colours[] = {{"Frame5", QColor(255, 192, 128)}, {"Frame4", QColor(192, 255, 192)},
                                                      {"Frame3", QColor(192, 255, 255)}, {"Frame6", QColor(255, 255, 192)},
                                                      {"Frame7", QColor(192, 192, 255)}};
    for (const auto& [name, colour] : colours) {
        auto* frame = c.get(QString::fromLatin1(name));
        EXPECT_EQ(frame->palette().color(QPalette::Window), colour) << name;
        EXPECT_TRUE(frame->autoFillBackground()) << name;
    }
}

TEST(FormLayout, OptionGroupsAreExclusive)
{
    Console c;
    auto* cm = c.get<QRadioButton>("optionCm");
    auto* slt = c.get<QRadioButton>("optionSlt");
    auto* none = c.get<QRadioButton>("OptionCoin");
    EXPECT_TRUE(cm->isChecked());
    slt->click();
    EXPECT_FALSE(cm->isChecked());
    EXPECT_FALSE(none->isChecked());
    none->click();
    EXPECT_FALSE(slt->isChecked());
    EXPECT_TRUE(c.get<QRadioButton>("ViewMode(0)")->isChecked());
    c.get<QRadioButton>("ViewMode(2)")->click();
    EXPECT_FALSE(c.get<QRadioButton>("ViewMode(0)")->isChecked());
    EXPECT_TRUE(cm->isChecked() == false && none->isChecked()) << "the two groups are independent";
}

TEST(FormLayout, SecondTimerTicksEvery50Seconds)
{
    Console c;
    auto* t2 = c.window.findChild<QTimer*>(QStringLiteral("Timer2"));
    ASSERT_NE(t2, nullptr);
    EXPECT_TRUE(t2->isActive());
    EXPECT_EQ(t2->interval(), 50000);
}

TEST(FormLayout, FrameCaptionsUseTheWindowFontAndTheirControlsTheSmallerOne)
{
    Console c;
    const auto frames = c.window.findChildren<QGroupBox*>();
    ASSERT_EQ(frames.size(), 7);
    for (QGroupBox* frame : frames) {
        EXPECT_EQ(frame->font().pixelSize(), 13) << frame->objectName().toStdString();
        for (QWidget* w : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const bool amount = w->objectName() == QStringLiteral("txtamount") || w->objectName() == QStringLiteral("TxtCh");
            EXPECT_EQ(w->font().pixelSize(), amount ? 19 : 12) << w->objectName().toStdString();
        }
    }
}

TEST(FormLayout, TabGoesFrameByFrameThenRowByRowLeftToRight)
{
    Console c;
    // The stops of the focus chain that are controls of a frame, from the first.
    QWidget* first = c.setting(0);
    std::vector<QWidget*> stops;
    QWidget* w = first;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && qobject_cast<QGroupBox*>(w->parentWidget()))
            stops.push_back(w);
        w = w->nextInFocusChain();
    } while (w != first);
    ASSERT_EQ(stops.size(), 56u);
    auto place = [](QWidget* x) {
        const QWidget* frame = x->parentWidget();
        return std::tuple(frame->y(), frame->x(), x->y(), x->x());
    };
    for (std::size_t i = 1; i < stops.size(); ++i)
        EXPECT_LT(place(stops[i - 1]), place(stops[i]))
            << stops[i - 1]->objectName().toStdString() << " before " << stops[i]->objectName().toStdString();
    QStringList names;
    for (std::size_t i = 0; i < 10; ++i)
        names << stops[i]->objectName();
    EXPECT_EQ(names.join(u' '), QStringLiteral("Setting(0) Setting(3) cmdPortOpen Setting(1) Setting(4) Command1 Setting(2) "
                                               "Setting(5) ViewMode(0) ViewMode(1)"));
}
