#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRawFont>

#include <array>
#include <bitset>
#include <cstdint>

class QBrush;
class QFont;
class QPainter;

namespace cmbvhp {

class LogText;

// Draws the rows of a traffic log in one font: each of the 256 characters a
// log holds is a glyph placed by its own advance, never text to be shaped.
//
// A row is drawn one of two ways, alike to the eye:
// - paintRow, from cells: each character is drawn once, in the log's
//   colours, into a cell of its own width in an image of Format_RGB32. A row
//   is copied together from its cells into a row image of that format and
//   handed to the painter, which converts it to whatever its device holds:
//   any device, any pixel format. Characters whose ink leaves their cell (an
//   overhanging "A") are blended over the row as glyphs afterwards.
// - drawRow, as glyphs blended one by one in the painter's pen, or as text
//   for a row with a character the font lacks.
//
// paintRow draws from cells only where they look the same as glyphs: on a
// solid background, through a painter that only moves (no scaling, so no
// device pixel ratio but 1, where cells would blur), for a row whose
// characters all have a glyph and which fits its width. Anything else it
// declines, drawing nothing, and the caller draws the row with drawRow.
// Both cover the row's whole band, so that either leaves the same pixels.
class RowPainter {
public:
    // The font's glyphs, advances and line height; the cells are drawn anew
    // at the next paint that uses them.
    void setFont(const QFont& font);
    const std::array<std::uint16_t, 256>& widths() const { return width_; }
    int lineHeight() const { return lineHeight_; }

    // Row `row` of `text` in the band from `top`, `width` wide, its first
    // character `margin` in, in `pen` on `background`. False when declined.
    bool paintRow(QPainter& painter, const QBrush& background, int top, int width, int margin, const LogText& text, std::size_t row);
    // The same band filled with `background` and the row drawn on it in the
    // painter's pen.
    void drawRow(QPainter& painter, const QBrush& background, int top, int width, int margin, const LogText& text, std::size_t row);

private:
    void makeCells(QRgb pen, QRgb base);
    void placeGlyph(std::uint8_t b, int x, int baseline);
    void blendGlyphs(QPainter& painter);

    QRawFont rawFont_;
    int lineHeight_ = 1;
    int ascent_ = 0;
    std::array<quint32, 256> glyph_{};
    std::bitset<256> hasGlyph_;
    std::bitset<256> blank_; // spaces: nothing to draw
    std::array<std::uint16_t, 256> width_{};
    // The cells, side by side, and where each begins; a character whose ink
    // leaves its cell has a blank cell and is blended over the row.
    QImage cells_;
    std::array<int, 256> cellX_{};
    std::bitset<256> inkOutside_;
    bool cellsStale_ = true;
    QRgb cellsPen_ = 0;
    QRgb cellsBase_ = 0;
    QImage rowImage_;
    // A row's glyphs and their places, kept between rows and paints.
    QList<quint32> glyphs_;
    QList<QPointF> positions_;
};

} // namespace cmbvhp
