#include "LogView.h"

#include "DisplayPace.h"

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
#include <QGlyphRun>
#include <QPaintEngine>
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

// Copies a cell of W pixels, line by line. A row is some thousand such small
// copies; one of a size known here is a few moves, not a call to memcpy.
template <std::size_t W>
void copyCell(quint32* to, qsizetype toStride, const quint32* from, qsizetype fromStride, int lines)
{
    for (int y = 0; y < lines; ++y)
        std::memcpy(to + y * toStride, from + y * fromStride, W * sizeof(quint32));
}
using CopyCell = void (*)(quint32*, qsizetype, const quint32*, qsizetype, int);
template <std::size_t... W>
constexpr std::array<CopyCell, sizeof...(W)> copyCells(std::index_sequence<W...>)
{
    return {&copyCell<W>...};
}
// Cells up to 24 pixels wide: the log's font up to about 40 pixels high.
constexpr auto kCopyCell = copyCells(std::make_index_sequence<25>());

// A scroll bar that, when its range or value changes, repaints where its thumb
// was and where it is, not the whole bar, and draws a tall area in bands: the
// paint engine splits a tall fill among helper threads, and the log's bar
// changes often.
class ThumbScrollBar : public QScrollBar {
public:
    ThumbScrollBar() : QScrollBar(Qt::Vertical) {}

protected:
    void sliderChange(SliderChange change) override
    {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        const QRect now = style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, this);
        if (change == SliderRangeChange || change == SliderValueChange)
            update(now.united(shown_));
        else
            QScrollBar::sliderChange(change);
        shown_ = now;
    }

    // The style fills the groove and the thumb with gradients, and the paint
    // engine hands every fill of 96 rows or more to helper threads, which
    // then wake at each repaint of a tall thumb. A tall area is drawn in
    // bands instead, each into an image of its own, so that no fill is that
    // tall. Only while the mouse is away: hovered or pressed, the bar's own
    // paint shows which part is under it.
    void paintEvent(QPaintEvent* event) override
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

private:
    static constexpr int kBand = 64;
    QRect shown_;
};
}

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
        return LineStamp{now.wallMs, 0, sentLog_ && !ownMessage_ ? sentLog_->trafficLines_ : 0,
                         static_cast<std::uint16_t>(std::clamp<std::int64_t>(now.lateMs, 0, UINT16_MAX))};
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
    trafficLines_ = text_.linesWithText();
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
    const LineStamp& line = text_.lineStamp(text_.lineOfRow(row));
    if (line.msSinceEpoch == LineStamp::kNoTime)
        return tip.trimmed();
    // A line that came to a resting port is timed when it was taken in: it
    // may have come up to lateMs before.
    auto time = [](std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss.zzz")); };
    const std::int64_t late = line.lateMs;
    tip += late == 0 ? time(line.msSinceEpoch)
                     : QStringLiteral("between %1 and %2").arg(time(line.msSinceEpoch - late), time(line.msSinceEpoch));
    if (const auto frame = sentLog_ ? sentLog_->text_.heldLine(line.lastSent) : std::nullopt) {
        const std::int64_t after = line.msSinceEpoch - sentLog_->text_.lineStamp(*frame).msSinceEpoch;
        tip += (late == 0 ? QStringLiteral(", %1 ms after %2 was sent").arg(after)
                          : QStringLiteral(", %1 to %2 ms after %3 was sent").arg(std::max<std::int64_t>(0, after - late)).arg(after))
                   .arg(sentLog_->text_.lineText(*frame).trimmed());
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
    QAction* copy = menu.addAction(QStringLiteral("Copy"), this, [this] { QApplication::clipboard()->setText(selectedText()); });
    copy->setEnabled(anchor_ != npos);
    menu.addAction(QStringLiteral("Select All"), this, &LogView::selectAll);
    menu.addSeparator();
    QAction* open = menu.addAction(QStringLiteral("Open Session Folder"), this, [this] {
        QDir().mkpath(recordFolder_);
        QDesktopServices::openUrl(QUrl::fromLocalFile(recordFolder_));
    });
    open->setEnabled(!recordFolder_.isEmpty());
    menu.exec(event->globalPos());
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
    if (bar->singleStep() != 1)
        bar->setSingleStep(1);
    bar->setRange(0, maximum);
    bar->setValue(value);
    syncing_ = false;
}

void LogView::relayout()
{
    clearSelection(); // rows are laid out anew
    const QFontMetrics fm(font());
    const QRawFont rawFont = QRawFont::fromFont(font());
    const int lineHeight = std::max(1, fm.lineSpacing());
    // A resize keeps the font: the cells stay as they are.
    cellsStale_ = cellsStale_ || rawFont != rawFont_ || lineHeight != lineHeight_ || fm.ascent() != ascent_;
    lineHeight_ = lineHeight;
    ascent_ = fm.ascent();
    std::array<std::uint16_t, 256> widths{};
    rawFont_ = rawFont;
    hasGlyph_.reset();
    blank_.reset();
    for (std::size_t b = 0; b < 256; ++b) {
        const QChar c(LogText::decode(static_cast<std::uint8_t>(b)));
        blank_[b] = c.isSpace();
        widths[b] = static_cast<std::uint16_t>(fm.horizontalAdvance(c));
        const QList<quint32> g = rawFont_.glyphIndexesForString(QString(c));
        if (g.size() == 1 && g[0] != 0) {
            glyph_[b] = g[0];
            hasGlyph_.set(b);
        }
    }
    cellsStale_ = cellsStale_ || widths != width_;
    width_ = widths;
    text_.setMetrics(width_, viewport()->width() - 2 * kMargin);
    seenDropped_ = text_.rowsDropped();
    dirtyRow_ = 0;
    sync();
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
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
    painter.setPen(palette().color(QPalette::Text));
    const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
    const auto [selFirst, selLast] = std::minmax(anchor_, cursor_);
    const QImage* target = cellsTarget(painter, background);
    const QPoint origin = painter.deviceTransform().map(QPoint());
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
        // Every row owns its band and covers it; what lies above and below
        // the rows is filled first, so that ink a glyph leaves below them stays.
        if (target) {
            const int foot = y + static_cast<int>(last - first) * lineHeight_;
            painter.fillRect(QRect(area.left(), area.top(), area.width(), std::max(0, y - area.top())), background);
            painter.fillRect(QRect(area.left(), foot, area.width(), std::max(0, area.bottom() + 1 - foot)), background);
        } else {
            painter.fillRect(area, background);
        }
        for (std::size_t row = first; row < last; ++row, y += lineHeight_) {
            const bool selected = anchor_ != npos && row >= selFirst && row <= selLast;
            if (selected) {
                painter.fillRect(QRect(0, y, width, lineHeight_), palette().color(QPalette::Highlight));
                painter.setPen(palette().color(QPalette::HighlightedText));
            } else if (target && copyRowFromCells(painter, *target, origin, area, y, row)) {
                continue;
            } else if (target) {
                painter.fillRect(QRect(0, y, width, lineHeight_), background);
            }
            drawRow(painter, y + ascent_, row);
            if (selected)
                painter.setPen(palette().color(QPalette::Text));
        }
    }
}

void LogView::drawRow(QPainter& painter, int baseline, std::size_t row)
{
    glyphs_.clear();
    positions_.clear();
    bool drawable = true;
    int x = kMargin;
    text_.forEachInRow(row, [&](std::uint8_t b) {
        drawable = drawable && hasGlyph_[b];
        // A blank has no ink to blend: its advance is all it adds.
        if (!blank_[b]) {
            glyphs_.push_back(glyph_[b]);
            positions_.push_back(QPointF(x, baseline));
        }
        x += width_[b];
    });
    if (drawable)
        drawGlyphs(painter);
    else
        painter.drawText(kMargin, baseline, text_.rowText(row));
}

void LogView::drawGlyphs(QPainter& painter) const
{
    if (glyphs_.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphs_);
    run.setPositions(positions_);
    painter.drawGlyphRun(QPointF(), run);
}

// Cells serve a paint into an image of 32-bit pixels, one to one, on a plain
// background: the image painted into, or none. They are drawn anew when the
// font, the colours or the pixels' format change.
const QImage* LogView::cellsTarget(QPainter& painter, const QBrush& background)
{
    const QPaintDevice* device = painter.paintEngine()->paintDevice();
    if (!device || device->devType() != QInternal::Image || painter.deviceTransform().type() > QTransform::TxTranslate ||
        background.style() != Qt::SolidPattern)
        return nullptr;
    const auto* image = static_cast<const QImage*>(device);
    if (QImage::toPixelFormat(image->format()).bitsPerPixel() != 32)
        return nullptr;
    const QRgb pen = painter.pen().color().rgba();
    const QRgb base = background.color().rgba();
    if (cellsStale_ || cells_.format() != image->format() || pen != cellsPen_ || base != cellsBase_)
        makeCells(image->format(), pen, base);
    return image;
}

void LogView::makeCells(QImage::Format format, QRgb pen, QRgb base)
{
    cellsStale_ = false;
    cellsPen_ = pen;
    cellsBase_ = base;
    int total = 0;
    int widest = 1;
    for (std::size_t b = 0; b < 256; ++b) {
        cellX_[b] = total;
        total += width_[b];
        widest = std::max<int>(widest, width_[b]);
    }
    cells_ = QImage(std::max(total, 1), lineHeight_, format);
    cells_.fill(base);
    // Each glyph is drawn alone with a cell's room all round it, to see
    // whether its ink stays inside its cell.
    QImage alone(3 * widest, 3 * lineHeight_, format);
    alone.fill(base);
    const auto pixel = [&alone](int x, int y) { return reinterpret_cast<const quint32*>(alone.constScanLine(y))[x]; };
    cellsBlank_ = pixel(0, 0);
    for (std::size_t b = 0; b < 256; ++b) {
        inkOutside_[b] = false;
        if (!hasGlyph_[b] || blank_[b])
            continue;
        alone.fill(base);
        glyphs_ = {glyph_[b]};
        positions_ = {QPointF(widest, lineHeight_ + ascent_)};
        QPainter p(&alone);
        p.setPen(QColor::fromRgba(pen));
        drawGlyphs(p);
        p.end();
        const QRect cell(widest, lineHeight_, width_[b], lineHeight_);
        for (int y = 0; y < alone.height() && !inkOutside_[b]; ++y)
            for (int x = 0; x < alone.width(); ++x)
                if (!cell.contains(x, y) && pixel(x, y) != cellsBlank_) {
                    inkOutside_[b] = true;
                    break;
                }
        if (!inkOutside_[b])
            for (int y = 0; y < lineHeight_; ++y)
                std::memcpy(cells_.scanLine(y) + cellX_[b] * 4, alone.constScanLine(lineHeight_ + y) + widest * 4,
                            static_cast<std::size_t>(width_[b]) * 4);
    }
}

// The row is copied together from its characters' cells straight into the
// image painted into, `origin` being where the view lies in it, inside
// `clip`: the row's whole band is its own, as a selected row's is, so ink that
// a glyph of the row above left in it goes. Glyphs whose ink leaves their
// cells are blended over it. False when the font lacks a character, or the
// row is wider than the view; the band is then partly written.
bool LogView::copyRowFromCells(QPainter& painter, const QImage& target, QPoint origin, const QRect& clip, int top, std::size_t row)
{
    const int width = std::max(viewport()->width(), 2 * kMargin);
    const QRect band = QRect(0, top, width, lineHeight_) & clip & target.rect().translated(-origin);
    const qsizetype toStride = target.bytesPerLine() / 4;
    const qsizetype fromStride = cells_.bytesPerLine() / 4;
    // The painter's engine writes into these same pixels; they are not the
    // image's to copy on write.
    quint32* to = nullptr;
    const quint32* from = nullptr;
    if (!band.isEmpty()) {
        to = reinterpret_cast<quint32*>(const_cast<uchar*>(target.constBits())) + (band.top() + origin.y()) * toStride + origin.x();
        from = reinterpret_cast<const quint32*>(cells_.constBits()) + (band.top() - top) * fromStride;
    }
    // Pixels x ... x + w - 1 of the band, from the cell at cellX (or blank
    // when negative), as far as the band reaches.
    const auto put = [&](int x, int w, int cellX) {
        const int left = std::max(x, band.left());
        const int right = std::min(x + w, band.right() + 1);
        if (left >= right)
            return;
        const int n = right - left;
        if (cellX >= 0 && n < static_cast<int>(kCopyCell.size())) {
            kCopyCell[static_cast<std::size_t>(n)](to + left, toStride, from + cellX + (left - x), fromStride, band.height());
            return;
        }
        for (int y = 0; y < band.height(); ++y) {
            quint32* line = to + y * toStride + left;
            if (cellX >= 0)
                std::memcpy(line, from + y * fromStride + cellX + (left - x), static_cast<std::size_t>(n) * 4);
            else
                std::fill_n(line, n, cellsBlank_);
        }
    };
    glyphs_.clear();
    positions_.clear();
    bool fits = true;
    int x = kMargin;
    text_.forEachInRow(row, [&](std::uint8_t b) {
        const int w = width_[b];
        fits = fits && hasGlyph_[b] && x + w <= width;
        if (!fits)
            return;
        if (inkOutside_[b]) {
            glyphs_.push_back(glyph_[b]);
            positions_.push_back(QPointF(x, top + ascent_));
        }
        put(x, w, cellX_[b]);
        x += w;
    });
    if (!fits)
        return false;
    put(0, kMargin, -1);
    put(x, width - x, -1);
    drawGlyphs(painter);
    return true;
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
    sync();
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace cmbvhp
