#include "LogText.h"

#include "common/TextForms.h"

#include <algorithm>

namespace cmbvhp {

LogText::LogText()
{
    widths_.fill(1);
    startRows();
}

void LogText::startRows()
{
    rows_.push_back(kLineStart);
    if (lines_.empty())
        lines_.emplace_back();
    rowWidth_ = 0;
    afterBlank_ = 0;
}

std::uint8_t LogText::encode(char16_t c)
{
    if ((c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF))
        return static_cast<std::uint8_t>(c);
    if (c >= 0x2400 && c < 0x2420)
        return static_cast<std::uint8_t>(c - 0x2400);
    if (c == 0x2421)
        return 0x7F;
    if (c == 0xFFFD)
        return 0x80;
    return '?';
}

char16_t LogText::decode(std::uint8_t b) { return asciiViewChar(b); }

void LogText::setMetrics(const std::array<std::uint16_t, 256>& widths, int wrapWidth)
{
    widths_ = widths;
    wrapWidth_ = wrapWidth > 0 ? wrapWidth : 1;
    // Lay the rows out again from the line starts; the lines and their stamps stay.
    std::vector<std::uint64_t> starts;
    starts.reserve(lines_.size());
    for (std::uint64_t r : rows_)
        if (r & kLineStart)
            starts.push_back(r & ~kLineStart);
    rows_.clear();
    relaying_ = true;
    relaidLines_ = 1;
    startRows();
    const std::size_t total = size_;
    size_ = 0;
    std::size_t next = 1;
    for (std::size_t off = 0; off < total; ++off) {
        while (next < starts.size() && starts[next] == off) {
            newLine();
            ++next;
        }
        // The bytes are already in place; putByte rewrites them unchanged.
        putByte(at(off));
    }
    for (; next < starts.size(); ++next)
        newLine();
    relaying_ = false;
}

void LogText::newLine()
{
    rows_.push_back(size_ | kLineStart);
    const auto row = static_cast<std::uint32_t>(rows_.size() - 1);
    if (relaying_)
        lines_[relaidLines_++].firstRow = row;
    else
        lines_.push_back({LineStamp::kNoTime, row, 0});
    rowWidth_ = 0;
    afterBlank_ = 0;
}

// The row is full: break after its last blank if it has one, else here.
void LogText::wrapBefore()
{
    const std::size_t start = rowStart(rows_.size() - 1);
    if (afterBlank_ > start && afterBlank_ < size_) {
        rows_.push_back(afterBlank_);
        rowWidth_ = 0;
        for (std::size_t off = afterBlank_; off < size_; ++off)
            rowWidth_ += widths_[at(off)];
    } else {
        rows_.push_back(size_);
        rowWidth_ = 0;
    }
    afterBlank_ = 0;
}

void LogText::putByte(std::uint8_t b)
{
    if (!relaying_ && lines_.back().msSinceEpoch == LineStamp::kNoTime) {
        const std::uint32_t firstRow = lines_.back().firstRow;
        lines_.back() = stamper_ ? stamper_() : LineStamp{0, 0, 0};
        lines_.back().firstRow = firstRow;
        lastStamped_ = static_cast<std::uint32_t>(lines_.size());
    }
    const int w = widths_[b];
    // A blank may hang past the edge, so that groups of digits stay together.
    if (b != ' ' && rowWidth_ > 0 && rowWidth_ + w > wrapWidth_)
        wrapBefore();
    if (size_ == chunks_.size() * kChunk)
        chunks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kChunk));
    chunks_[size_ / kChunk][size_ % kChunk] = b;
    ++size_;
    rowWidth_ += w;
    if (b == ' ')
        afterBlank_ = size_;
}

void LogText::append(QStringView text)
{
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\r') {
            newLine();
            pendingCR_ = true;
            continue;
        }
        if (c == u'\n') {
            if (!pendingCR_)
                newLine();
            pendingCR_ = false;
            continue;
        }
        pendingCR_ = false;
        putByte(encode(c));
    }
}

void LogText::clear()
{
    chunks_.clear();
    size_ = 0;
    rows_.clear();
    rows_.shrink_to_fit();
    lines_.clear();
    lines_.shrink_to_fit();
    lastStamped_ = 0;
    pendingCR_ = false;
    startRows();
}

std::size_t LogText::lineOfRow(std::size_t row) const
{
    const auto it = std::upper_bound(lines_.begin(), lines_.end(), row,
                                     [](std::size_t r, const LineStamp& l) { return r < l.firstRow; });
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, it - lines_.begin() - 1));
}

QString LogText::lineText(std::size_t line) const
{
    if (line >= lines_.size())
        return {};
    const std::size_t last = line + 1 < lines_.size() ? lines_[line + 1].firstRow : rows_.size();
    return rowsText(lines_[line].firstRow, last);
}

QString LogText::rowText(std::size_t row) const
{
    if (row >= rows_.size())
        return {};
    const std::size_t from = rowStart(row);
    const std::size_t to = row + 1 < rows_.size() ? rowStart(row + 1) : size_;
    QString out;
    out.resize(static_cast<qsizetype>(to - from));
    QChar* d = out.data();
    for (std::size_t off = from; off < to; ++off)
        *d++ = QChar(decode(at(off)));
    return out;
}

QString LogText::rowsText(std::size_t first, std::size_t last) const
{
    last = std::min(last, rows_.size());
    QString out;
    for (std::size_t r = first; r < last; ++r) {
        if (r > first && (rows_[r] & kLineStart))
            out.append(u"\r\n");
        out.append(rowText(r));
    }
    return out;
}

} // namespace cmbvhp
