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

    // The rows again from the bytes, which stay where they are, and so do the
    // stamps.
    std::vector<std::uint64_t> starts; // line starts after row 0, in order
    for (std::size_t r = 1; r < rows_.size(); ++r)
        if (rows_[r] & kLineStart)
            starts.push_back(rowStart(r));
    const std::uint64_t from = rowStart(0);
    const std::uint64_t total = size_;
    const bool firstIsLine = (rows_[0] & kLineStart) != 0;
    rows_.clear();
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
    // The line, or row, being written has its stamp once it has a character.
    std::size_t current = rows_.size() - 1;
    while (!stampEachRow_ && current > 0 && !(rows_[current] & kLineStart))
        --current;
    lineStamped_ = rowStart(current) < size_;
}

void LogText::pushRow(std::uint64_t startAndFlag)
{
    rows_.push_back(startAndFlag);
    if (rows_.size() > limits_.maxRows)
        dropFront(limits_.trimRows);
}

void LogText::newLine()
{
    pushRow(size_ | kLineStart);
    lineStamped_ = false;
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
    if (stampEachRow_)
        lineStamped_ = false;
}

// The character just stored begins a line, or a row that stamps each row.
void LogText::stampLine()
{
    const LineStamp stamp = stamper_ ? stamper_() : LineStamp{.msSinceEpoch = 0};
    stamps_.push_back({stamp.msSinceEpoch, size_ - 1, stamp.lateMs});
    if (keepLastSent_)
        lastSent_.push_back(stamp.lastSent);
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
    const std::uint64_t kept = rowStart(rows);
    for (; stamps_.size() > 1 && stamps_[1].from <= kept; stamps_.pop_front())
        if (keepLastSent_)
            lastSent_.pop_front();
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
    chunks_.clear();
    writeAt_ = writeEnd_ = nullptr;
    base_ = size_;
    rows_.clear();
    rows_.shrink_to_fit();
    stamps_.clear();
    stamps_.shrink_to_fit();
    lastSent_.clear();
    lastSent_.shrink_to_fit();
    pendingCR_ = false;
    trimmed_ = false;
    startRows();
}

std::size_t LogText::rowOf(std::uint64_t at) const
{
    const auto it = std::upper_bound(rows_.begin(), rows_.end(), at, [](std::uint64_t a, std::uint64_t row) { return a < (row & ~kLineStart); });
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, it - rows_.begin() - 1));
}

LineStamp LogText::handOut(std::size_t i) const
{
    const Held& h = stamps_[i];
    return {h.msSinceEpoch, keepLastSent_ ? lastSent_[i] : 0, h.from, static_cast<std::uint16_t>(h.lateMs)};
}

std::optional<LineStamp> LogText::stampOfRow(std::size_t row) const
{
    if (row >= rows_.size() || rowStart(row) == rowEnd(row))
        return std::nullopt;
    const std::uint64_t at = rowStart(row);
    const auto it = std::upper_bound(stamps_.begin(), stamps_.end(), at, [](std::uint64_t a, const Held& s) { return a < s.from; });
    if (it == stamps_.begin())
        return std::nullopt;
    return handOut(static_cast<std::size_t>(it - stamps_.begin() - 1));
}

std::optional<LineStamp> LogText::stamp(std::uint64_t key) const
{
    const auto it = std::lower_bound(stamps_.begin(), stamps_.end(), key, [](const Held& s, std::uint64_t k) { return s.from + 1 < k; });
    if (key == 0 || it == stamps_.end() || it->from + 1 != key || it->from < rowStart(0))
        return std::nullopt;
    return handOut(static_cast<std::size_t>(it - stamps_.begin()));
}

QString LogText::lineTextFrom(std::uint64_t from) const
{
    if (from < rowStart(0) || from >= size_)
        return {};
    const std::size_t first = rowOf(from);
    std::size_t last = first + 1;
    while (last < rows_.size() && !(rows_[last] & kLineStart))
        ++last;
    return rowsText(first, last).mid(static_cast<qsizetype>(from - rowStart(first)));
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
