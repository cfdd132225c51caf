#pragma once

#include <QComboBox>
#include <QFont>
#include <QRect>

#include <functional>

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

} // namespace cmbvhp
