#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

namespace cmbvhp {

// When a line of a log began, and for the receive log which line of the
// transmit log was the last frame sent by then. Keyed by the position of the
// line's first character, counted from the first the log was ever given:
// laying the rows out anew never touches a stamp.
struct LineStamp {
    static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
    std::int64_t msSinceEpoch = kNoTime; // when its first character came
    std::uint64_t lastSent = 0;          // that frame's key in the transmit log (its position + 1); 0 = none
    std::uint64_t from = 0;              // the position of its first character
    std::uint16_t lateMs = 0;            // which may have come up to this much before (a resting port)
};

// How much a log holds, and how much leaves at once when it is full.
struct LogLimits {
    std::size_t maxRows = 1'572'864; // a day of polling's lines, and room to spare
    std::size_t trimRows = 262'144;  // rows that leave at once
    std::size_t maxChunks = 48;      // 48 MiB of text
    std::size_t trimChunks = 8;
};

// The text of a traffic log, held compactly and laid out in wrapped rows.
//
// Every character a log can hold is one of 256 (Latin-1, the control pictures
// the "ASCII" view uses, the replacement character), so each is kept as one
// byte; line breaks are kept as row boundaries, not as bytes. Appending costs
// the same however long the log is; wrapping is done as text arrives, so the
// view only ever draws the rows it shows.
//
// The log is bounded: past a number of rows or of bytes the oldest rows leave
// in one large block, so that the per-character cost stays flat. Rows, lines
// and offsets are numbered from the first ever appended, so that what refers
// to them (the stamps, the view) stays right when rows leave.
class LogText {
public:
    using Limits = LogLimits;
    explicit LogText(Limits limits = Limits());

    // Width in pixels of each stored character, and of a row.
    void setMetrics(const std::array<std::uint16_t, 256>& widths, int wrapWidth);

    // Called when a line, or with stampEachRow a row, gets its first
    // character: the time, lastSent and lateness to stamp it with.
    using Stamper = std::function<LineStamp()>;
    void setStamper(Stamper stamper) { stamper_ = std::move(stamper); }
    // Every row gets a stamp of its own, not only a line's first: for views
    // whose lines never end.
    void setStampEachRow(bool on) { stampEachRow_ = on; }
    // The stamps keep their lastSent: for the log whose lines answer frames.
    void keepLastSent() { keepLastSent_ = true; }

    // "\r\n" (or a lone "\r" or "\n") ends a line.
    void append(QStringView text);
    void clear();
    void setText(QStringView text)
    {
        clear();
        append(text);
    }
    // True when the next character would begin a line.
    bool atLineStart() const { return (rows_.back() & kLineStart) && rowStart(rows_.size() - 1) == size_; }

    // The whole text held, lines joined by "\r\n".
    QString text() const { return rowsText(0, rows_.size()); }
    // Rows first ... last - 1 as text: wrapped rows joined as they stand,
    // lines joined by "\r\n".
    QString rowsText(std::size_t first, std::size_t last) const;
    // Rows held, the first held being row 0.
    std::size_t rowCount() const { return rows_.size(); }
    QString rowText(std::size_t row) const;
    // Calls f with each stored byte of a row (see encode), in order.
    template <class F>
    void forEachInRow(std::size_t row, F&& f) const
    {
        if (row >= rows_.size())
            return;
        for (std::uint64_t off = rowStart(row), to = rowEnd(row); off < to; ++off)
            f(at(off));
    }
    // Bytes held, for the memory figures.
    std::size_t storedBytes() const { return size_ - rowStart(0); }
    // Rows that have left the log (by trimming or clearing) since it was made.
    std::uint64_t rowsDropped() const { return rowsDropped_; }
    // Rows that left by trimming alone: the log no longer holds all it was given.
    bool trimmed() const { return trimmed_; }

    // Stamps: one per line with text, and per row of it with stampEachRow.
    // The stamp covering a row's first character; none for an empty row.
    std::optional<LineStamp> stampOfRow(std::size_t row) const;
    // The stamp of that key, while its character is held.
    std::optional<LineStamp> stamp(std::uint64_t key) const;
    // The key of the last stamp, for lastSent; 0 when there is none.
    std::uint64_t lastStampKey() const { return stamps_.empty() ? 0 : stamps_.back().from + 1; }
    // The line holding position `from`, from there to its end.
    QString lineTextFrom(std::uint64_t from) const;

    static constexpr std::uint8_t encode(char16_t c)
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
    static char16_t decode(std::uint8_t b);

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;
    struct Unmap {
        void operator()(std::uint8_t* chunk) const;
    };
    using Chunk = std::unique_ptr<std::uint8_t[], Unmap>;
    static constexpr std::uint64_t kLineStart = std::uint64_t{1} << 63;

    std::uint8_t at(std::uint64_t offset) const
    {
        const std::uint64_t i = offset - base_;
        return chunks_[i / kChunk][i % kChunk];
    }
    std::uint64_t rowStart(std::size_t row) const { return rows_[row] & ~kLineStart; }
    std::uint64_t rowEnd(std::size_t row) const { return row + 1 < rows_.size() ? rowStart(row + 1) : size_; }
    void putByte(std::uint8_t b);
    // Places a byte that is stored already in the rows; putByte stores it too.
    void layByte(std::uint8_t b);
    void stampLine();
    void nextChunk();
    void newLine();
    void pushRow(std::uint64_t startAndFlag);
    void wrapBefore();
    // The row holding position `at` (the first held when it has left).
    std::size_t rowOf(std::uint64_t at) const;
    void startRows();
    void dropFront(std::size_t rows);
    void trimBytes();

    Limits limits_;
    std::deque<Chunk> chunks_;
    std::uint64_t base_ = 0; // offset of the first held byte's chunk
    std::uint64_t size_ = 0; // offset just past the last byte
    std::uint8_t* writeAt_ = nullptr; // where the next byte goes in the last chunk
    std::uint8_t* writeEnd_ = nullptr;
    bool lineStamped_ = false; // the line (or row) being written has its stamp
    std::deque<std::uint64_t> rows_; // start offset of each row, kLineStart on a line's first
    // A stamp as held, 16 bytes a line (a week of the busiest line holds
    // three million), and its lastSent beside it where that is kept.
    struct Held {
        std::int64_t msSinceEpoch;
        std::uint64_t from : 48;
        std::uint64_t lateMs : 16;
    };
    static_assert(sizeof(Held) == 16);
    LineStamp handOut(std::size_t i) const;
    std::deque<Held> stamps_; // in the order of their positions
    std::deque<std::uint64_t> lastSent_;
    bool keepLastSent_ = false;
    std::uint64_t rowsDropped_ = 0;
    bool trimmed_ = false;
    bool stampEachRow_ = false;
    Stamper stamper_;
    std::array<std::uint16_t, 256> widths_{};
    int wrapWidth_ = 1 << 30;
    int rowWidth_ = 0;
    std::uint64_t afterBlank_ = 0; // offset just after the last blank in the current row; 0 = none
    bool pendingCR_ = false;
};

} // namespace cmbvhp
