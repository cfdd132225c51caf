#include "LogText.h"

#include "common/TextForms.h"

namespace cmbvhp {

LogText::LogText()
{
    widths_.fill(1);
    rows_.push_back(kLineStart);
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
    // Lay the rows out again from the line starts.
    std::vector<std::uint64_t> lines;
    lines.reserve(rows_.size());
    for (std::uint64_t r : rows_)
        if (r & kLineStart)
            lines.push_back(r & ~kLineStart);
    rows_.clear();
    rows_.push_back(kLineStart);
    rowWidth_ = 0;
    afterBlank_ = 0;
    const std::size_t total = size_;
    size_ = 0;
    std::size_t next = 1;
    for (std::size_t off = 0; off < total; ++off) {
        while (next < lines.size() && lines[next] == off) {
            newLine();
            ++next;
        }
        // The bytes are already in place; putByte rewrites them unchanged.
        putByte(at(off));
    }
    for (; next < lines.size(); ++next)
        newLine();
}

void LogText::newLine()
{
    rows_.push_back(size_ | kLineStart);
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
    rows_.push_back(kLineStart);
    rowWidth_ = 0;
    afterBlank_ = 0;
    pendingCR_ = false;
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
