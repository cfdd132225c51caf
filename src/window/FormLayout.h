#pragma once

#include "common/FormControls.h"

#include <QComboBox>
#include <QFont>
#include <QRect>

#include <array>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace cmbvhp {

// The window is laid out in twips; 15 twips are one pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;
constexpr QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

// Client area 9405 x 9630 twips.
constexpr QSize kClientSize{9405 / kTwipsPerPixel, 9630 / kTwipsPerPixel};

// A Debian-packaged sans-serif in pixel sizes, so the captions fit their fixed
// controls at any screen resolution: 9.75 pt, 9 pt and 14.25 pt at 96 dpi.
inline constexpr const char* kFontFamily = "Liberation Sans Narrow";
constexpr int kWindowFontPx = 13;
constexpr int kFrameFontPx = 12;
constexpr int kAmountFontPx = 19;

// A combo box that lets its owner bring the items up to date as the list opens.
class OpeningCombo : public QComboBox {
public:
    std::function<void()> aboutToOpen;
    void showPopup() override
    {
        if (aboutToOpen)
            aboutToOpen();
        QComboBox::showPopup();
    }
};

inline QFont consoleFont(int pixelSize)
{
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPixelSize(pixelSize);
    return f;
}

// The captions of the view options and the command button arrays, by index:
// the session file names a click by them.
inline constexpr std::array<const char*, 3> kViewCaptions{"Hex", "ASCII", "Dec"};
inline constexpr std::array<const char*, 7> kBvCaptions{"Stand By", "Crem On", "Crem Off", "Stack", "Return", "BV All", "BV Data"};
inline constexpr std::array<const char*, 7> kCmCaptions{"Stand By", "Crem On", "Crem Off", "Data Clear", "Change", "CM All", "CM Data"};
inline constexpr std::array<const char*, 6> kHpCaptions{"HP #1", "HP #2", "HP #3", "HP #4", "status", "HP All"};

class LogView;

// The controls of the console's window by their names, made with their
// kinds, captions, initial texts, frames and places by setupUi, as a
// generated form's are; the window holds them and gives them their logic.
struct frmBodyUi {
    static constexpr const char* kCaption = "CM_BV_HP Test";

    // Makes every control as a child of `form`, which gets the caption, the
    // fixed client size, the font and the grey background.
    void setupUi(QWidget* form);

    std::array<QGroupBox*, 7> Frame{};
    std::array<QComboBox*, 6> Setting{}; // Setting(0) is an OpeningCombo
    QPushButton* cmdPortOpen = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    std::array<QRadioButton*, 3> ViewMode{};
    QButtonGroup* viewModeGroup = nullptr; // ids are the ViewMode indexes
    std::array<QPushButton*, 7> bvCmd{};
    std::array<QPushButton*, 7> cmCmd{};
    std::array<QPushButton*, 6> cmdHp1{};
    std::array<QLineEdit*, 4> hpCount{};
    QCheckBox* checkBv = nullptr;
    QCheckBox* checkHp = nullptr;
    QRadioButton* optionCm = nullptr;
    QRadioButton* optionSlt = nullptr;
    QRadioButton* OptionCoin = nullptr;
    QLineEdit* txtamount = nullptr;
    QLineEdit* TxtCh = nullptr;
    QLineEdit* Text4 = nullptr;
    LogView* Text1 = nullptr;
    LogView* txt수신 = nullptr;
    // The text boxes the logic reads and writes, by their Box.
    std::array<QLineEdit*, kBoxCount> boxes{};
};

} // namespace cmbvhp
