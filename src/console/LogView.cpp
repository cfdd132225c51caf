#include "LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHelpEvent>
#include <QToolTip>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
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
    setFocusPolicy(Qt::ClickFocus);
    text_.setStamper([this] {
        const std::int64_t now = clock_ ? clock_() : QDateTime::currentMSecsSinceEpoch();
        return LineStamp{now, 0, sentLog_ ? sentLog_->text_.linesWithText() : 0};
    });
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

void LogView::appendLine(QStringView text)
{
    if (!text_.atLineStart())
        text_.append(u"\r\n");
    text_.append(text);
    text_.append(u"\r\n");
    scheduleSync();
}

QString LogView::rowToolTip(std::size_t row) const
{
    if (row >= text_.rowCount())
        return {};
    const LineStamp& line = text_.lineStamp(text_.lineOfRow(row));
    if (line.msSinceEpoch == LineStamp::kNoTime)
        return {};
    QString tip = QDateTime::fromMSecsSinceEpoch(line.msSinceEpoch).toString(QStringLiteral("HH:mm:ss.zzz"));
    if (sentLog_ && line.lastSent > 0 && line.lastSent <= sentLog_->text_.lineCount()) {
        const std::size_t frame = line.lastSent - 1;
        tip += QStringLiteral(", %1 ms after %2 was sent")
                   .arg(line.msSinceEpoch - sentLog_->text_.lineStamp(frame).msSinceEpoch)
                   .arg(sentLog_->text_.lineText(frame).trimmed());
    }
    return tip;
}

bool LogView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = rowToolTip(rowAt(help->pos().y()));
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
}

void LogView::clear()
{
    clearSelection();
    text_.clear();
    followTail_ = true;
    scheduleSync();
}

void LogView::setPlainText(QStringView text)
{
    clearSelection();
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
    clearSelection(); // rows are laid out anew
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
    const auto [selFirst, selLast] = std::minmax(anchor_, cursor_);
    int y = kMargin;
    for (std::size_t row = first; row < last; ++row, y += lineHeight_) {
        const bool selected = anchor_ != npos && row >= selFirst && row <= selLast;
        if (selected) {
            painter.fillRect(QRect(0, y, viewport()->width(), lineHeight_), palette().color(QPalette::Highlight));
            painter.setPen(palette().color(QPalette::HighlightedText));
        }
        painter.drawText(kMargin, y + fm.ascent(), text_.rowText(row));
        if (selected)
            painter.setPen(palette().color(QPalette::Text));
    }
}

std::size_t LogView::rowAt(int y) const
{
    const int offset = std::max(0, y - kMargin) / lineHeight_;
    const auto row = static_cast<std::size_t>(verticalScrollBar()->value() + offset);
    return std::min(row, text_.rowCount() - 1);
}

void LogView::clearSelection()
{
    anchor_ = cursor_ = npos;
}

void LogView::selectAll()
{
    anchor_ = 0;
    cursor_ = text_.rowCount() - 1;
    viewport()->update();
}

QString LogView::selectedText() const
{
    if (anchor_ == npos)
        return {};
    const auto [first, last] = std::minmax(anchor_, cursor_);
    return text_.rowsText(first, last + 1);
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        anchor_ = cursor_ = rowAt(event->position().toPoint().y());
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void LogView::mouseMoveEvent(QMouseEvent* event)
{
    if ((event->buttons() & Qt::LeftButton) && anchor_ != npos) {
        cursor_ = rowAt(event->position().toPoint().y());
        viewport()->update();
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        if (anchor_ != npos)
            QApplication::clipboard()->setText(selectedText());
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace cmbvhp
