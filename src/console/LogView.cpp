#include "LogView.h"

#include <QEvent>
#include <QMetaObject>
#include <QPainter>
#include <QScrollBar>

namespace cmbvhp {

namespace {
constexpr int kMargin = 3;
}

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        followTail_ = value >= verticalScrollBar()->maximum();
        viewport()->update();
    });
    relayout();
}

void LogView::append(QStringView text)
{
    text_.append(text);
    scheduleSync();
}

void LogView::clear()
{
    text_.clear();
    followTail_ = true;
    scheduleSync();
}

void LogView::setPlainText(QStringView text)
{
    text_.setText(text);
    followTail_ = true;
    scheduleSync();
}

// Appends come a byte at a time; the scroll bar and the paint are brought up to
// date once per turn of the event loop, not once per byte.
void LogView::scheduleSync()
{
    if (syncQueued_)
        return;
    syncQueued_ = true;
    QMetaObject::invokeMethod(this, &LogView::sync, Qt::QueuedConnection);
}

int LogView::visibleRows() const { return std::max(1, (viewport()->height() - 2 * kMargin) / lineHeight_); }

void LogView::sync()
{
    syncQueued_ = false;
    QScrollBar* bar = verticalScrollBar();
    const bool follow = followTail_;
    const auto rows = static_cast<qint64>(text_.rowCount());
    const int maximum = static_cast<int>(std::clamp<qint64>(rows - visibleRows(), 0, INT_MAX));
    bar->setPageStep(visibleRows());
    bar->setSingleStep(1);
    bar->setRange(0, maximum);
    if (follow)
        bar->setValue(maximum);
    followTail_ = follow || bar->value() >= maximum;
    viewport()->update();
}

void LogView::relayout()
{
    const QFontMetrics fm(font());
    lineHeight_ = std::max(1, fm.lineSpacing());
    std::array<std::uint16_t, 256> widths{};
    for (int b = 0; b < 256; ++b)
        widths[static_cast<std::size_t>(b)] =
            static_cast<std::uint16_t>(fm.horizontalAdvance(QChar(LogText::decode(static_cast<std::uint8_t>(b)))));
    text_.setMetrics(widths, viewport()->width() - 2 * kMargin);
    sync();
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void LogView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

void LogView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetrics fm(font());
    const auto first = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t last = std::min(text_.rowCount(), first + static_cast<std::size_t>(visibleRows()) + 1);
    int y = kMargin + fm.ascent();
    for (std::size_t row = first; row < last; ++row, y += lineHeight_)
        painter.drawText(kMargin, y, text_.rowText(row));
}

} // namespace cmbvhp
