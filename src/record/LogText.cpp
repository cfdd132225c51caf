#include "LogText.h"

#include "common/TextForms.h"

#include <algorithm>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace cmbvhp {

LogText::LogText(Limits limits) : limits_(limits)
{
    widths_.fill(1);
    startRows();
}

void LogText::startRows()
{
    rows_.push_back(size_ | kLineStart);
    lines_.push_back({LineStamp::kNoTime, rowNumber(0), 0});
    lineStamped_ = false;
    rowWidth_ = 0;
    afterBlank_ = 0;
}

char16_t LogText::decode(std::uint8_t b) { return asciiViewChar(b); }

// Once per character: the rare cases (a new chunk, a wrap, a line's first
// character) are calls of their own.
inline void LogText::layByte(std::uint8_t b)
{
    const int w = widths_[b];
    // A blank may hang past the edge, so that groups of digits stay together.
    if (b != ' ' && rowWidth_ > 0 && rowWidth_ + w > wrapWidth_) [[unlikely]]
        wrapBefore();
    ++size_;
    rowWidth_ += w;
    if (b == ' ')
        afterBlank_ = size_;
}

inline void LogText::putByte(std::uint8_t b)
{
    if (writeAt_ == writeEnd_) [[unlikely]]
        nextChunk();
    *writeAt_++ = b;
    layByte(b);
    if (!lineStamped_) [[unlikely]]
        stampLine();
}

void LogText::setMetrics(const std::array<std::uint16_t, 256>& widths, int wrapWidth)
{
    widths_ = widths;
    wrapWidth_ = wrapWidth > 0 ? wrapWidth : 1;

    // Where each stamp begins, and whether it is a line's (row 0 counts as
    // one): lines keep their own stamps, rows laid out inside a line take the
    // stamp that covered their first character.
    struct Old {
        std::uint64_t offset;
        LineStamp stamp;
        bool line;
    };
    std::vector<Old> old;
    old.reserve(lines_.size());
    for (const LineStamp& l : lines_) {
        const std::size_t r = heldRow(l);
        old.push_back({rowStart(r), l, r == 0 || (rows_[r] & kLineStart) != 0});
    }
    std::vector<std::uint64_t> starts; // line starts after row 0, in order
    for (std::size_t r = 1; r < rows_.size(); ++r)
        if (rows_[r] & kLineStart)
            starts.push_back(rowStart(r));

    // The rows again from the bytes, which stay where they are.
    const std::uint64_t from = rowStart(0);
    const std::uint64_t total = size_;
    const bool firstIsLine = (rows_[0] & kLineStart) != 0;
    rows_.clear();
    relaying_ = true;
    size_ = from;
    rows_.push_back(from | (firstIsLine ? kLineStart : 0));
    rowWidth_ = 0;
    afterBlank_ = 0;
    std::size_t next = 0;
    for (std::uint64_t off = from; off < total; ++off) {
        for (; next < starts.size() && starts[next] == off; ++next)
            newLine();
        layByte(at(off));
    }
    for (; next < starts.size(); ++next)
        newLine();
    relaying_ = false;

    lines_.clear();
    auto line = std::find_if(old.begin(), old.end(), [](const Old& o) { return o.line; });
    auto covering = old.begin();
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const bool isLine = r == 0 || (rows_[r] & kLineStart) != 0;
        if (!isLine && !stampEachRow_)
            continue;
        LineStamp s;
        if (isLine && line != old.end()) {
            s = line->stamp;
            line = std::find_if(line + 1, old.end(), [](const Old& o) { return o.line; });
        } else if (!isLine) {
            while (covering + 1 != old.end() && (covering + 1)->offset <= rowStart(r))
                ++covering;
            s = covering->stamp;
        }
        s.firstRow = rowNumber(r);
        lines_.push_back(s);
    }
}

void LogText::pushRow(std::uint64_t startAndFlag)
{
    rows_.push_back(startAndFlag);
    if (!relaying_ && rows_.size() > limits_.maxRows)
        dropFront(limits_.trimRows);
}

void LogText::newLine()
{
    pushRow(size_ | kLineStart);
    if (!relaying_) {
        lines_.push_back({LineStamp::kNoTime, rowNumber(rows_.size() - 1), 0});
        lineStamped_ = false;
    }
    rowWidth_ = 0;
    afterBlank_ = 0;
}

// The row is full: break after its last blank if it has one, else here.
void LogText::wrapBefore()
{
    const std::uint64_t start = rowStart(rows_.size() - 1);
    if (afterBlank_ > start && afterBlank_ < size_) {
        pushRow(afterBlank_);
        rowWidth_ = 0;
        for (std::uint64_t off = afterBlank_; off < size_; ++off)
            rowWidth_ += widths_[at(off)];
    } else {
        pushRow(size_);
        rowWidth_ = 0;
    }
    afterBlank_ = 0;
    // Stamped by the character that follows, which came with the ones the
    // break moved down.
    if (stampEachRow_ && !relaying_) {
        lines_.push_back({LineStamp::kNoTime, rowNumber(rows_.size() - 1), 0});
        lineStamped_ = false;
    }
}

void LogText::stampLine()
{
    const std::uint32_t firstRow = lines_.back().firstRow;
    lines_.back() = stamper_ ? stamper_() : LineStamp{0, 0, 0};
    lines_.back().firstRow = firstRow;
    lastStamped_ = linesDropped_ + lines_.size();
    lineStamped_ = true;
}

void LogText::Unmap::operator()(std::uint8_t* chunk) const { ::munmap(chunk, kChunk); }

// A chunk's pages are mapped in one call: touched one by one as the text comes,
// each would cost a page fault, and on a virtual machine a fault is dear.
void LogText::nextChunk()
{
    void* chunk = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (chunk == MAP_FAILED)
        throw std::bad_alloc();
    Chunk owned(static_cast<std::uint8_t*>(chunk));
    chunks_.push_back(std::move(owned));
    writeAt_ = chunks_.back().get();
    writeEnd_ = writeAt_ + kChunk;
    if (chunks_.size() > limits_.maxChunks)
        trimBytes();
}

// Past the bytes it may hold, the log lets go of its oldest chunks: the rows
// that begin in them leave.
void LogText::trimBytes()
{
    const std::uint64_t cut = base_ + limits_.trimChunks * kChunk;
    const auto first = std::lower_bound(rows_.begin(), rows_.end(), cut,
                                        [](std::uint64_t row, std::uint64_t at) { return (row & ~kLineStart) < at; });
    // The row being written stays, however long it is.
    const auto rows = std::min(static_cast<std::size_t>(first - rows_.begin()), rows_.size() - 1);
    if (rows > 0)
        dropFront(rows);
}

void LogText::dropFront(std::size_t rows)
{
    // Stamps of the rows that leave go; the last of them stays for the rows of
    // its line that remain.
    std::optional<LineStamp> covering;
    std::size_t popped = 0;
    for (; !lines_.empty() && heldRow(lines_.front()) < rows; ++popped) {
        covering = lines_.front();
        lines_.pop_front();
    }
    if (covering && (lines_.empty() || heldRow(lines_.front()) != rows)) {
        covering->firstRow = static_cast<std::uint32_t>(rowsDropped_ + rows);
        lines_.push_front(*covering);
        --popped;
    }
    linesDropped_ += popped;
    rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(rows));
    rowsDropped_ += rows;
    trimmed_ = true;
    while (chunks_.size() > 1 && base_ + kChunk <= rowStart(0)) {
        chunks_.pop_front();
        base_ += kChunk;
    }
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
    rowsDropped_ += rows_.size();
    linesDropped_ += lines_.size();
    chunks_.clear();
    writeAt_ = writeEnd_ = nullptr;
    base_ = size_;
    rows_.clear();
    rows_.shrink_to_fit();
    lines_.clear();
    lines_.shrink_to_fit();
    pendingCR_ = false;
    trimmed_ = false;
    startRows();
}

std::size_t LogText::lineOfRow(std::size_t row) const
{
    const auto it = std::upper_bound(lines_.begin(), lines_.end(), row,
                                     [this](std::size_t r, const LineStamp& l) { return r < heldRow(l); });
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, it - lines_.begin() - 1));
}

std::optional<std::size_t> LogText::heldLine(std::uint32_t lastSent) const
{
    const std::size_t line = static_cast<std::uint32_t>(lastSent - 1 - static_cast<std::uint32_t>(linesDropped_));
    if (lastSent == 0 || line >= lines_.size())
        return std::nullopt;
    return line;
}

QString LogText::lineText(std::size_t line) const
{
    if (line >= lines_.size())
        return {};
    const std::size_t last = line + 1 < lines_.size() ? heldRow(lines_[line + 1]) : rows_.size();
    return rowsText(heldRow(lines_[line]), last);
}

QString LogText::rowText(std::size_t row) const
{
    if (row >= rows_.size())
        return {};
    const std::uint64_t from = rowStart(row);
    const std::uint64_t to = rowEnd(row);
    QString out;
    out.resize(static_cast<qsizetype>(to - from));
    QChar* d = out.data();
    for (std::uint64_t off = from; off < to; ++off)
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
