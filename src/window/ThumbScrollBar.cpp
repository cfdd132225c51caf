#include "ThumbScrollBar.h"

#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

namespace cmbvhp {

void ThumbScrollBar::sliderChange(SliderChange change)
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const auto rect = [&](QStyle::SubControl part) { return style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, this); };
    const QRect now = rect(QStyle::SC_ScrollBarSlider);
    // The arrows too: each is drawn disabled at its end of the range. The
    // style draws the thumb's edge a pixel beyond the rectangle it gives.
    if (change == SliderRangeChange || change == SliderValueChange)
        update(QRegion(now.united(shown_).adjusted(0, -1, 0, 1)) + rect(QStyle::SC_ScrollBarSubLine) + rect(QStyle::SC_ScrollBarAddLine));
    else
        QScrollBar::sliderChange(change);
    shown_ = now;
}

void ThumbScrollBar::paintEvent(QPaintEvent* event)
{
    const QRect area = event->rect();
    if (area.height() <= kBand || underMouse() || QGuiApplication::mouseButtons() != Qt::NoButton) {
        QScrollBar::paintEvent(event);
        return;
    }
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls = QStyle::SC_All;
    opt.activeSubControls = QStyle::SC_None;
    const qreal ratio = devicePixelRatio();
    QPainter painter(this);
    for (int top = area.top(); top <= area.bottom(); top += kBand) {
        const QRect band(area.left(), top, area.width(), std::min(kBand, area.bottom() + 1 - top));
        QImage image(band.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        QPainter p(&image);
        p.translate(-band.topLeft());
        p.fillRect(band, palette().brush(backgroundRole()));
        style()->drawComplexControl(QStyle::CC_ScrollBar, &opt, &p, this);
        p.end();
        painter.drawImage(band.topLeft(), image);
    }
}

} // namespace cmbvhp
