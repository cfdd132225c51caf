#include "LogView.h"

#include "DisplayPace.h"
#include "ThumbScrollBar.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace cmbvhp {

namespace {
constexpr int kMargin = 3;

} // namespace

LogView::LogView(QWidget* parent, LogLimits limits) : QAbstractScrollArea(parent), text_(limits)
{
    setVerticalScrollBar(new ThumbScrollBar);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    setFocusPolicy(Qt::ClickFocus);
    text_.setStamper([this] {
        const Moment now = clock_ ? clock_() : Moment{QDateTime::currentMSecsSinceEpoch(), 0, 0};
        return LineStamp{.msSinceEpoch = now.wallMs,
                         .lastSent = sentLog_ && !ownMessage_ ? sentLog_->lastFrame_ : 0,
                         .lateMs = static_cast<std::uint16_t>(std::clamp<std::int64_t>(now.lateMs, 0, UINT16_MAX))};
    });
    viewport()->setBackgroundRole(QPalette::Base);
    // The rows' paint fills the background itself, with the painter it draws
    // them with, rather than Qt with one of its own first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Opaque, so that the scroll bar's frequent repaints stop at it instead of
    // repainting the log's frame and the window behind it.
    verticalScrollBar()->setAutoFillBackground(true);
    verticalScrollBar()->parentWidget()->setAutoFillBackground(true);
    verticalScrollBar()->installEventFilter(this);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (syncing_)
            return;
        // The operator scrolled.
        top_ = static_cast<std::size_t>(value);
        followTail_ = value >= verticalScrollBar()->maximum();
        viewport()->update();
    });
    barPace_.setSingleShot(true);
    barPace_.setInterval(kScrollBarPace);
    connect(&barPace_, &QTimer::timeout, this, [this] {
        if (barStale_)
            syncScrollBar();
    });
    relayout();
}

void LogView::append(QStringView text)
{
    const std::size_t row = text_.rowCount() - 1;
    text_.append(text);
    lastFrame_ = text_.lastStampKey();
    adoptDropped();
    scheduleSync(row);
}

void LogView::appendLine(QStringView text)
{
    const std::size_t row = text_.rowCount() - 1;
    if (!text_.atLineStart())
        text_.append(u"\r\n");
    ownMessage_ = true;
    text_.append(text);
    ownMessage_ = false;
    text_.append(u"\r\n");
    adoptDropped();
    scheduleSync(row);
}

// Rows left the text: the view's rows move up with what remains.
void LogView::adoptDropped()
{
    const std::uint64_t dropped = text_.rowsDropped() - seenDropped_;
    if (dropped == 0)
        return;
    seenDropped_ = text_.rowsDropped();
    auto shift = [dropped](std::size_t& row) { row = row > dropped ? static_cast<std::size_t>(row - dropped) : 0; };
    if (anchor_ != npos && std::max(anchor_, cursor_) < dropped)
        clearSelection();
    else if (anchor_ != npos) {
        shift(anchor_);
        shift(cursor_);
    }
    shift(top_);
    dirtyRow_ = 0;
}

QString LogView::rowToolTip(std::size_t row) const
{
    if (row >= text_.rowCount())
        return {};
    QString tip;
    if (row == 0 && text_.trimmed())
        tip = (recordFolder_.isEmpty() ? QStringLiteral("Older lines have left this log.")
                                       : QStringLiteral("Older lines have left this log; every session is kept whole in %1.")
                                             .arg(recordFolder_)) +
              u'\n';
    const std::optional<LineStamp> stamp = text_.stampOfRow(row);
    if (!stamp)
        return tip.trimmed();
    const LineStamp& line = *stamp;
    // A line that came to a resting port is timed when it was taken in: it
    // may have come up to lateMs before.
    auto time = [](std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz")); };
    const std::int64_t late = line.lateMs;
    tip += late == 0 ? time(line.msSinceEpoch)
                     : QStringLiteral("between %1 and %2").arg(time(line.msSinceEpoch - late), time(line.msSinceEpoch));
    if (const auto frame = sentLog_ ? sentLog_->text_.stamp(line.lastSent) : std::nullopt) {
        const std::int64_t after = line.msSinceEpoch - frame->msSinceEpoch;
        tip += (late == 0 ? QStringLiteral(", %1 ms after %2 was sent").arg(after)
                          : QStringLiteral(", %1 to %2 ms after %3 was sent").arg(std::max<std::int64_t>(0, after - late)).arg(after))
                   .arg(sentLog_->text_.lineTextFrom(frame->from).trimmed());
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
    text_.clear();
    restart();
}

// Only the console's own message replaces a log's text.
void LogView::setPlainText(QStringView text)
{
    ownMessage_ = true;
    text_.setText(text);
    ownMessage_ = false;
    restart();
}

// New text from the top: shown at once, so that the view is never left on
// rows that are gone until the next beat.
void LogView::restart()
{
    clearSelection();
    seenDropped_ = text_.rowsDropped();
    top_ = 0;
    followTail_ = true;
    dirtyRow_ = 0;
    if (isVisible())
        sync();
    else
        scheduleSync(0);
}

// The wheel over the rows reaches the bar too, and comes here first.
bool LogView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == verticalScrollBar() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel))
        sync();
    return QAbstractScrollArea::eventFilter(watched, event);
}

void LogView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    fillMenu(menu);
    menu.exec(event->globalPos());
}

void LogView::fillMenu(QMenu& menu)
{
    QAction* copy = menu.addAction(QStringLiteral("Copy"), this, [this] { QApplication::clipboard()->setText(selectedText()); });
    copy->setEnabled(anchor_ != npos);
    menu.addAction(QStringLiteral("Select All"), this, &LogView::selectAll);
    menu.addSeparator();
    QAction* open = menu.addAction(QStringLiteral("Open Session Folder"), this, [this] {
        QDir().mkpath(recordFolder_);
        QDesktopServices::openUrl(QUrl::fromLocalFile(recordFolder_));
    });
    open->setEnabled(!recordFolder_.isEmpty());
    if (openInViewer)
        menu.addAction(QStringLiteral("Open in Session Viewer"), this, [this] { openInViewer(); });
}

// Appends come a few bytes at a time; the scroll bar and the paint are brought
// up to date at the display's pace. Nothing is done for a window that is not
// on screen: showing it again syncs.
void LogView::scheduleSync(std::size_t changedRow)
{
    dirtyRow_ = std::min(dirtyRow_, changedRow);
    // Checked first: this runs for every received byte.
    if (beatRequested_ || !isVisible() || window()->isMinimized())
        return;
    beatRequested_ = true;
    DisplayPace::instance().request(this, [this] { showChanges(); });
}

int LogView::visibleRows() const { return std::max(1, (viewport()->height() - 2 * kMargin) / lineHeight_); }

void LogView::sync()
{
    showChanges();
    syncScrollBar(true);
}

// The rows are shown at every beat. Rows that scrolled are moved on screen and
// only the rows from the first changed one are drawn.
void LogView::showChanges()
{
    DisplayPace::instance().cancel(this);
    beatRequested_ = false;
    const std::size_t rows = text_.rowCount();
    const auto visible = static_cast<std::size_t>(visibleRows());
    const std::size_t lastTop = rows > visible ? rows - visible : 0;
    const std::size_t before = top_;
    top_ = followTail_ ? lastTop : std::min(top_, lastTop);
    if (top_ < before || top_ - before >= visible || dirtyRow_ < before) {
        viewport()->update();
    } else {
        if (top_ > before) {
            viewport()->scroll(0, -static_cast<int>(top_ - before) * lineHeight_);
            // The blit also moved the foot of the row that left into the top
            // margin, where no row is drawn.
            viewport()->update(0, 0, viewport()->width(), kMargin);
        }
        const std::size_t from = std::min(std::max(dirtyRow_, top_) - top_, visible);
        const int y = kMargin + static_cast<int>(from) * lineHeight_;
        viewport()->update(0, y, viewport()->width(), viewport()->height() - y);
    }
    dirtyRow_ = rows - 1;
    // The scroll bar follows at its own, slower pace: its thumb barely moves
    // from one beat to the next, and painting it costs more than the rows.
    if (barPace_.isActive())
        barStale_ = true;
    else
        syncScrollBar();
}

namespace {
// Where the bar's thumb stands for a range and a value, in pixels.
QRect thumb(const QScrollBar* bar, int maximum, int value, int page)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = Qt::Vertical;
    opt.minimum = 0;
    opt.maximum = maximum;
    opt.sliderPosition = opt.sliderValue = value;
    opt.pageStep = page;
    opt.singleStep = 1;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
}
} // namespace

// The bar is set only when its thumb moves by a pixel at least: setting it
// repaints it whole, which costs more than the rows. Scroll input first
// brings it up to date (see sync).
void LogView::syncScrollBar(bool force)
{
    QScrollBar* bar = verticalScrollBar();
    const int visible = visibleRows();
    const std::size_t rows = text_.rowCount();
    const std::size_t lastTop = rows > static_cast<std::size_t>(visible) ? rows - static_cast<std::size_t>(visible) : 0;
    const int maximum = static_cast<int>(std::min<std::size_t>(lastTop, INT_MAX));
    const int value = static_cast<int>(std::min<std::size_t>(top_, INT_MAX));
    barStale_ = false;
    barPace_.start();
    if (!force && (maximum > 0) == (bar->maximum() > 0) && visible == bar->pageStep() &&
        thumb(bar, maximum, value, visible) == thumb(bar, bar->maximum(), bar->value(), bar->pageStep()))
        return;
    syncing_ = true;
    // Setting a step repaints the whole bar, even to the value it has.
    if (bar->pageStep() != visible)
        bar->setPageStep(visible);
    bar->setRange(0, maximum);
    bar->setValue(value);
    syncing_ = false;
}

void LogView::relayout()
{
    clearSelection(); // rows are laid out anew
    rows_.setFont(font());
    lineHeight_ = rows_.lineHeight();
    text_.setMetrics(rows_.widths(), viewport()->width() - 2 * kMargin);
    seenDropped_ = text_.rowsDropped();
    dirtyRow_ = 0;
    sync();
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // Only a new width lays the rows out anew: a new height shows more or
    // fewer of the same rows, the chosen ones still chosen.
    if (event->size().width() != event->oldSize().width())
        relayout();
    else
        sync();
}

void LogView::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    sync();
}

void LogView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
}

void LogView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
    const QBrush highlight = palette().brush(QPalette::Highlight);
    const auto [selFirst, selLast] = std::minmax(anchor_, cursor_);
    const int width = viewport()->width();
    // Only the rows inside the area to paint, rectangle by rectangle: most
    // paints add a row or two at the foot and clear the top margin.
    for (const QRect& area : event->region()) {
        painter.setClipRect(area);
        const int skip = std::max(0, area.top() - kMargin) / lineHeight_;
        const std::size_t first = top_ + static_cast<std::size_t>(skip);
        const std::size_t last =
            std::max(first, std::min(text_.rowCount(), top_ + static_cast<std::size_t>(std::max(0, area.bottom() - kMargin) / lineHeight_) + 1));
        int y = kMargin + skip * lineHeight_;
        // Every row covers its own band; what lies above and below the rows
        // is filled first, so that ink a glyph leaves below them stays.
        const int foot = y + static_cast<int>(last - first) * lineHeight_;
        painter.fillRect(QRect(area.left(), area.top(), area.width(), std::max(0, y - area.top())), background);
        painter.fillRect(QRect(area.left(), foot, area.width(), std::max(0, area.bottom() + 1 - foot)), background);
        for (std::size_t row = first; row < last; ++row, y += lineHeight_) {
            const bool selected = anchor_ != npos && row >= selFirst && row <= selLast;
            painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
            if (selected || !rows_.paintRow(painter, background, y, width, kMargin, text_, row))
                rows_.drawRow(painter, selected ? highlight : background, y, width, kMargin, text_, row);
        }
    }
}

std::size_t LogView::rowAt(int y) const
{
    const int offset = std::max(0, y - kMargin) / lineHeight_;
    const auto row = top_ + static_cast<std::size_t>(offset);
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
        if (onRowPressed)
            onRowPressed(anchor_);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void LogView::selectRow(std::size_t row)
{
    if (row >= text_.rowCount())
        return;
    anchor_ = cursor_ = row;
    const auto visible = static_cast<std::size_t>(visibleRows());
    top_ = row > visible / 2 ? row - visible / 2 : 0;
    followTail_ = false;
    sync();
    viewport()->update();
}

void LogView::showFirstRows()
{
    clearSelection();
    top_ = 0;
    followTail_ = false;
    sync();
    viewport()->update();
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
    sync();
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace cmbvhp
