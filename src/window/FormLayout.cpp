// The controls of frmBody: names, kinds, captions, initial texts, frames and
// placement.
#include "FormLayout.h"

#include "LogView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <vector>

namespace cmbvhp {

namespace {

QString indexed(const char* name, std::size_t index) { return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index); }

// Places a control given in window twips inside its frame. Controls inside a
// frame use the smaller face; the frame's own caption keeps the window's.
template <typename W>
W* place(W* w, QWidget* parent, const QString& name, QRect windowTwips)
{
    w->setObjectName(name);
    w->setParent(parent);
    QRect r = windowTwips;
    if (parent && parent->parentWidget()) {
        r.translate(-parent->pos());
        w->setFont(consoleFont(kFrameFontPx));
    }
    w->setGeometry(r);
    return w;
}

// Tab goes frame by frame in reading order, and inside a frame row by row,
// left to right.
void setReadingTabOrder(QWidget* window)
{
    auto byPlace = [](const QWidget* a, const QWidget* b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    };
    std::vector<QGroupBox*> frames;
    for (QObject* child : window->children())
        if (auto* frame = qobject_cast<QGroupBox*>(child))
            frames.push_back(frame);
    std::sort(frames.begin(), frames.end(), byPlace);
    std::vector<QWidget*> chain;
    for (QGroupBox* frame : frames) {
        std::vector<QWidget*> row;
        for (QObject* child : frame->children())
            if (auto* w = qobject_cast<QWidget*>(child); w && (w->focusPolicy() & Qt::TabFocus))
                row.push_back(w);
        std::sort(row.begin(), row.end(), byPlace);
        chain.insert(chain.end(), row.begin(), row.end());
    }
    for (std::size_t i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

struct FramePlace {
    const char* name;
    const char* caption;
    QRect rect;
    QColor colour;
};

struct ButtonPlace {
    int left;
    int width;
};

QGroupBox* makeFrame(QWidget* window, const FramePlace& f)
{
    auto* frame = new QGroupBox(QString::fromLatin1(f.caption), window);
    frame->setObjectName(QString::fromLatin1(f.name));
    frame->setGeometry(f.rect);
    QPalette pal = frame->palette();
    pal.setColor(QPalette::Window, f.colour);
    frame->setPalette(pal);
    frame->setAutoFillBackground(true);
    return frame;
}

QLineEdit* makeBox(QWidget* parent, const char* name, QRect r, const char* initial = "")
{
    auto* box = place(new QLineEdit(QString::fromLatin1(initial)), parent, QString::fromLatin1(name), r);
    return box;
}

void makeLabel(QWidget* parent, const char* name, const char* caption, QRect r)
{
    place(new QLabel(QString::fromLatin1(caption)), parent, QString::fromLatin1(name), r);
}

} // namespace

void frmBodyUi::setupUi(QWidget* form)
{
    form->setWindowTitle(QString::fromLatin1(kCaption));
    form->setFixedSize(kClientSize);
    form->setFont(consoleFont(kWindowFontPx));
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    form->setPalette(pal);
    form->setAutoFillBackground(true);

    const QColor grey(192, 192, 192);
    const FramePlace frames[7] = {
        {"Frame1", "Set up", twips(120, 0, 6735, 1575), grey},
        {"Frame2", "View", twips(6840, 0, 2535, 1575), grey},
        {"Frame3", "Hopper", twips(6840, 1680, 2535, 2175), QColor(192, 255, 255)},
        {"Frame4", "Coin mechanism or Selector", twips(120, 2880, 6615, 975), QColor(192, 255, 192)},
        {"Frame5", "Bill Validator", twips(120, 1680, 6615, 1095), QColor(255, 192, 128)},
        {"Frame6", "Device", twips(120, 3960, 1935, 1815), QColor(255, 255, 192)},
        {"Frame7", "Data", twips(2160, 3960, 7215, 1815), QColor(192, 192, 255)},
    };
    for (std::size_t i = 0; i < Frame.size(); ++i)
        Frame[i] = makeFrame(form, frames[i]);

    // Set up
    QGroupBox* f1 = Frame[0];
    const struct {
        const char* label;
        const char* caption;
        QRect labelRect;
        QRect comboRect;
    } settings[6] = {
        {"Label2", "Com Port", twips(240, 240, 855, 255), twips(1200, 240, 1335, 300)},
        {"Label1", "Baud", twips(240, 720, 735, 255), twips(1200, 720, 1335, 300)},
        {"Label3", "Parity", twips(240, 1200, 615, 255), twips(1200, 1200, 1335, 300)},
        {"Label4", "Data Bit", twips(2640, 240, 975, 255), twips(3600, 240, 1335, 300)},
        {"Label5", "Stop Bit", twips(2640, 720, 735, 255), twips(3600, 720, 1335, 300)},
        {"Label6", "EOF Char", twips(2640, 1200, 855, 255), twips(3600, 1200, 1335, 300)},
    };
    for (std::size_t i = 0; i < Setting.size(); ++i) {
        makeLabel(f1, settings[i].label, settings[i].caption, settings[i].labelRect);
        auto* combo = place(i == 0 ? new OpeningCombo : new QComboBox, f1, indexed("Setting", i), settings[i].comboRect);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setEditText(QStringLiteral("Combo1"));
        Setting[i] = combo;
    }
    cmdPortOpen = place(new QPushButton, f1, QStringLiteral("cmdPortOpen"), twips(5160, 240, 1455, 375));
    Command1 = place(new QPushButton(QStringLiteral("Finish")), f1, QStringLiteral("Command1"), twips(5160, 720, 1455, 375));

    // View
    QGroupBox* f2 = Frame[1];
    viewModeGroup = new QButtonGroup(form);
    const ButtonPlace views[3] = {{6960, 855}, {7800, 735}, {8520, 735}};
    for (std::size_t i = 0; i < ViewMode.size(); ++i) {
        ViewMode[i] = place(new QRadioButton(QString::fromLatin1(kViewCaptions[i])), f2, indexed("ViewMode", i),
                            twips(views[i].left, 360, views[i].width, 375));
        viewModeGroup->addButton(ViewMode[i], static_cast<int>(i));
    }
    Command2 = place(new QPushButton(QStringLiteral("Clear Text")), f2, QStringLiteral("Command2"), twips(6960, 1080, 2295, 375));

    // Bill validator and coin buttons
    // Both rows of device buttons stand alike.
    const ButtonPlace buttons[7] = {{240, 855}, {1080, 855}, {1920, 855}, {2760, 855}, {3600, 855}, {4680, 975}, {5640, 975}};
    for (std::size_t i = 0; i < 7; ++i) {
        bvCmd[i] = place(new QPushButton(QString::fromLatin1(kBvCaptions[i])), Frame[4], indexed("bvCmd", i),
                         twips(buttons[i].left, 2040, buttons[i].width, 495));
        cmCmd[i] = place(new QPushButton(QString::fromLatin1(kCmCaptions[i])), Frame[3], indexed("cmCmd", i),
                         twips(buttons[i].left, 3240, buttons[i].width, 495));
    }

    // Hopper
    QGroupBox* f3 = Frame[2];
    for (std::size_t i = 0; i < cmdHp1.size(); ++i) {
        const QRect r = i < 5 ? twips(7080, 1920 + 360 * static_cast<int>(i), 975, 375) : twips(8160, 3360, 975, 375);
        cmdHp1[i] = place(new QPushButton(QString::fromLatin1(kHpCaptions[i])), f3, indexed("cmdHp1", i), r);
    }
    for (std::size_t i = 0; i < hpCount.size(); ++i)
        hpCount[i] = place(new QLineEdit(QStringLiteral("0")), f3, indexed("hpCount", i),
                           twips(8400, 1920 + 360 * static_cast<int>(i), 735, 375));

    // Device
    QGroupBox* f6 = Frame[5];
    checkBv = place(new QCheckBox(QStringLiteral("Bill Validator")), f6, QStringLiteral("checkBv"), twips(360, 4200, 1575, 255));
    checkHp = place(new QCheckBox(QStringLiteral("Hopper")), f6, QStringLiteral("checkHp"), twips(360, 4440, 1575, 255));
    optionCm = place(new QRadioButton(QStringLiteral("Coin Mechanism")), f6, QStringLiteral("optionCm"), twips(360, 4680, 1575, 375));
    optionSlt = place(new QRadioButton(QStringLiteral("Selector")), f6, QStringLiteral("optionSlt"), twips(360, 5040, 1575, 375));
    OptionCoin = place(new QRadioButton(QStringLiteral("No Selector")), f6, QStringLiteral("OptionCoin"), twips(360, 5400, 1575, 255));
    auto* coinGroup = new QButtonGroup(form);
    coinGroup->addButton(optionCm);
    coinGroup->addButton(optionSlt);
    coinGroup->addButton(OptionCoin);
    optionCm->setChecked(true);

    // Data
    QGroupBox* f7 = Frame[6];
    makeLabel(f7, "Label12", "Coin Total", twips(2280, 4200, 1080, 405));
    makeLabel(f7, "Label13", "Coin Dispence", twips(2280, 4680, 1080, 375));
    txtamount = makeBox(f7, "txtamount", twips(3360, 4200, 1095, 405));
    TxtCh = makeBox(f7, "TxtCh", twips(3360, 4680, 1095, 375), "0");
    txtamount->setFont(consoleFont(kAmountFontPx));
    TxtCh->setFont(consoleFont(kAmountFontPx));
    Text4 = makeBox(f7, "Text4", twips(2280, 5280, 2175, 375));

    const struct {
        const char* label;
        const char* caption;
        const char* name;
        Box box;
        QRect rect;
    } data[12] = {
        {"Label7", "08", "Txt08", Box::Txt08, twips(4920, 4200, 1215, 405)},
        {"Label8", "09", "Txt09", Box::Txt09, twips(4920, 4560, 1215, 405)},
        {"Label10", "0A", "txt0a", Box::txt0a, twips(4920, 4920, 1215, 375)},
        {"Label11", "0B", "Txt0b", Box::Txt0b, twips(4920, 5280, 1215, 375)},
        {"Label14", "18", "txt18", Box::txt18, twips(6480, 4200, 1215, 375)},
        {"Label15", "19", "txt19", Box::txt19, twips(6480, 4560, 1215, 375)},
        {"Label16", "1A", "txt1a", Box::txt1a, twips(6480, 4920, 1215, 375)},
        {"Label17", "1B", "txt1b", Box::txt1b, twips(6480, 5280, 1215, 375)},
        {"Label9", "15", "txt14", Box::txt14, twips(8040, 4200, 1215, 375)},
        {"Label18", "16", "txt15", Box::txt15, twips(8040, 4560, 1215, 375)},
        {"Label19", "17", "txt16", Box::txt16, twips(8040, 4920, 1215, 375)},
        {"Label20", "18", "txt17", Box::txt17, twips(8040, 5280, 1215, 375)},
    };
    for (const auto& d : data) {
        const QRect r = d.rect;
        // Two-digit captions stand 240 twips left of their box.
        makeLabel(f7, d.label, d.caption, QRect(r.left() - 240 / kTwipsPerPixel, r.top(), 240 / kTwipsPerPixel, r.height()));
        boxes[static_cast<std::size_t>(d.box)] = makeBox(f7, d.name, r);
    }
    boxes[static_cast<std::size_t>(Box::txtamount)] = txtamount;
    boxes[static_cast<std::size_t>(Box::TxtCh)] = TxtCh;
    for (std::size_t i = 0; i < hpCount.size(); ++i)
        boxes[static_cast<std::size_t>(hpCountBox(static_cast<int>(i)))] = hpCount[i];

    // Traffic logs
    Text1 = place(new LogView, form, QStringLiteral("Text1"), twips(120, 5880, 2535, 3615));
    txt수신 = place(new LogView, form, QStringLiteral("txt수신"), twips(2640, 5880, 6735, 3615));
    setReadingTabOrder(form);
}

} // namespace cmbvhp
