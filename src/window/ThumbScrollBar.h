#pragma once

#include <QRect>
#include <QScrollBar>

namespace cmbvhp {

// A vertical scroll bar that, when its range or value changes, repaints where
// its thumb was and where it is and its two arrows, not the whole bar, and
// draws a tall area in bands: the paint engine splits a tall fill among helper
// threads, and a log's bar changes often.
class ThumbScrollBar : public QScrollBar {
public:
    ThumbScrollBar() : QScrollBar(Qt::Vertical) {}

protected:
    void sliderChange(SliderChange change) override;
    // The style fills the groove and the thumb with gradients, and the paint
    // engine hands every fill of 96 rows or more to helper threads, which
    // then wake at each repaint of a tall thumb. A tall area is drawn in
    // bands instead, each into an image of its own, so that no fill is that
    // tall. Only while the mouse is away: hovered or pressed, the bar's own
    // paint shows which part is under it.
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kBand = 64;
    QRect shown_;
};

} // namespace cmbvhp
