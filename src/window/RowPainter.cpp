#include "RowPainter.h"

#include "record/LogText.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <utility>

namespace cmbvhp {

namespace {
// Copies a cell W pixels wide, line by line. A row is a thousand or so such
// small copies; one of a size known here is a few moves, not a call.
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
} // namespace

void RowPainter::setFont(const QFont& font)
{
    const QFontMetrics fm(font);
    const QRawFont rawFont = QRawFont::fromFont(font);
    const int lineHeight = std::max(1, fm.lineSpacing());
    std::array<std::uint16_t, 256> widths{};
    hasGlyph_.reset();
    blank_.reset();
    for (std::size_t b = 0; b < 256; ++b) {
        const QChar c(LogText::decode(static_cast<std::uint8_t>(b)));
        blank_.set(b, c.isSpace());
        widths[b] = static_cast<std::uint16_t>(fm.horizontalAdvance(c));
        const QList<quint32> g = rawFont.glyphIndexesForString(QString(c));
        if (g.size() == 1 && g[0] != 0) {
            glyph_[b] = g[0];
            hasGlyph_.set(b);
        }
    }
    cellsStale_ = cellsStale_ || rawFont != rawFont_ || lineHeight != lineHeight_ || fm.ascent() != ascent_ || widths != width_;
    rawFont_ = rawFont;
    lineHeight_ = lineHeight;
    ascent_ = fm.ascent();
    width_ = widths;
}

void RowPainter::placeGlyph(std::uint8_t b, int x, int baseline)
{
    glyphs_.push_back(glyph_[b]);
    positions_.push_back(QPointF(x, baseline));
}

void RowPainter::blendGlyphs(QPainter& painter)
{
    if (glyphs_.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(rawFont_);
    run.setGlyphIndexes(glyphs_);
    run.setPositions(positions_);
    painter.drawGlyphRun(QPointF(), run);
}

bool RowPainter::paintRow(QPainter& painter, const QBrush& background, int top, int width, int margin, const LogText& text, std::size_t row)
{
    if (background.style() != Qt::SolidPattern || background.color().alpha() != 255 ||
        painter.deviceTransform().type() > QTransform::TxTranslate)
        return false;
    const QRgb pen = painter.pen().color().rgba();
    const QRgb base = background.color().rgba();
    if (cellsStale_ || pen != cellsPen_ || base != cellsBase_)
        makeCells(pen, base);
    width = std::max(width, 2 * margin);
    if (rowImage_.size() != QSize(width, lineHeight_))
        rowImage_ = QImage(width, lineHeight_, QImage::Format_RGB32);
    glyphs_.clear();
    positions_.clear();
    const qsizetype from = cells_.bytesPerLine() / 4;
    const qsizetype to = rowImage_.bytesPerLine() / 4;
    const auto* cells = reinterpret_cast<const quint32*>(cells_.constBits());
    auto* out = reinterpret_cast<quint32*>(rowImage_.bits());
    bool fits = true;
    int x = margin;
    text.forEachInRow(row, [&](std::uint8_t b) {
        const int w = width_[b];
        fits = fits && hasGlyph_.test(b) && x + w <= width;
        if (!fits)
            return;
        if (inkOutside_.test(b))
            placeGlyph(b, x, top + ascent_);
        if (static_cast<std::size_t>(w) < kCopyCell.size())
            kCopyCell[static_cast<std::size_t>(w)](out + x, to, cells + cellX_[b], from, lineHeight_);
        else
            for (int y = 0; y < lineHeight_; ++y)
                std::memcpy(out + y * to + x, cells + y * from + cellX_[b], static_cast<std::size_t>(w) * 4);
        x += w;
    });
    if (!fits)
        return false;
    const quint32 blank = QColor::fromRgba(base).rgb();
    for (int y = 0; y < lineHeight_; ++y) {
        std::fill_n(out + y * to, margin, blank);
        std::fill(out + y * to + x, out + y * to + width, blank);
    }
    painter.drawImage(QPoint(0, top), rowImage_);
    blendGlyphs(painter);
    return true;
}

void RowPainter::drawRow(QPainter& painter, const QBrush& background, int top, int width, int margin, const LogText& text, std::size_t row)
{
    painter.fillRect(QRect(0, top, width, lineHeight_), background);
    glyphs_.clear();
    positions_.clear();
    bool drawable = true;
    int x = margin;
    text.forEachInRow(row, [&](std::uint8_t b) {
        drawable = drawable && hasGlyph_.test(b);
        // A blank has no ink to blend: its advance is all it adds.
        if (!blank_.test(b))
            placeGlyph(b, x, top + ascent_);
        x += width_[b];
    });
    if (drawable)
        blendGlyphs(painter);
    else
        painter.drawText(margin, top + ascent_, text.rowText(row));
}

void RowPainter::makeCells(QRgb pen, QRgb base)
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
    cells_ = QImage(std::max(total, 1), lineHeight_, QImage::Format_RGB32);
    cells_.fill(QColor::fromRgba(base));
    // Each glyph is drawn alone with a cell's room all round it, to see
    // whether its ink stays inside its cell.
    QImage alone(3 * widest, 3 * lineHeight_, QImage::Format_RGB32);
    const auto pixel = [&alone](int x, int y) { return reinterpret_cast<const quint32*>(alone.constScanLine(y))[x]; };
    for (std::size_t b = 0; b < 256; ++b) {
        inkOutside_.set(b, false);
        if (!hasGlyph_.test(b) || blank_.test(b))
            continue;
        alone.fill(QColor::fromRgba(base));
        const quint32 blank = pixel(0, 0);
        glyphs_ = {glyph_[b]};
        positions_ = {QPointF(widest, lineHeight_ + ascent_)};
        QPainter p(&alone);
        p.setPen(QColor::fromRgba(pen));
        blendGlyphs(p);
        p.end();
        const QRect cell(widest, lineHeight_, width_[b], lineHeight_);
        for (int y = 0; y < alone.height() && !inkOutside_.test(b); ++y)
            for (int x = 0; x < alone.width(); ++x)
                if (!cell.contains(x, y) && pixel(x, y) != blank) {
                    inkOutside_.set(b, true);
                    break;
                }
        if (!inkOutside_.test(b))
            for (int y = 0; y < lineHeight_; ++y)
                std::memcpy(cells_.scanLine(y) + cellX_[b] * 4, alone.constScanLine(lineHeight_ + y) + widest * 4,
                            static_cast<std::size_t>(width_[b]) * 4);
    }
}

} // namespace cmbvhp
