#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace cmbvhp {

// When a line of a log began, and for the receive log which line of the
// transmit log was the last frame sent by then. 16 bytes a line.
struct LineStamp {
    static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();
    std::int64_t msSinceEpoch = kNoTime; // when its first character came; kNoTime while it has none
    std::uint32_t firstRow = 0;
    std::uint32_t lastSent = 0; // transmit-log line + 1; 0 = no frame sent before it
};

// The text of a traffic log, held compactly and laid out in wrapped rows.
//
// Logs are never trimmed, so a day of traffic is tens of millions of characters.
// Every character a log can hold is one of 256 (Latin-1, the control pictures
// the "ASCII" view uses, the replacement character), so each is kept as one
// byte; line breaks are kept as row boundaries, not as bytes. Appending costs
// the same however long the log is; wrapping is done as text arrives, so the
// view only ever draws the rows it shows.
class LogText {
public:
    LogText();

    // Width in pixels of each stored character, and of a row.
    void setMetrics(const std::array<std::uint16_t, 256>& widths, int wrapWidth);

    // Called when a line gets its first character: the time and the
    // lastSent value to stamp it with.
    using Stamper = std::function<LineStamp()>;
    void setStamper(Stamper stamper) { stamper_ = std::move(stamper); }

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

    // The whole text, lines joined by "\r\n".
    QString text() const { return rowsText(0, rows_.size()); }
    // Rows first ... last - 1 as text: wrapped rows joined as they stand,
    // lines joined by "\r\n".
    QString rowsText(std::size_t first, std::size_t last) const;
    bool isEmpty() const { return size_ == 0 && rows_.size() == 1; }
    std::size_t rowCount() const { return rows_.size(); }
    QString rowText(std::size_t row) const;
    // Bytes held, for the memory figures.
    std::size_t storedBytes() const { return size_; }

    // Lines, as opposed to wrapped rows.
    std::size_t lineCount() const { return lines_.size(); }
    std::size_t lineOfRow(std::size_t row) const;
    const LineStamp& lineStamp(std::size_t line) const { return lines_[line]; }
    QString lineText(std::size_t line) const;
    // The last line that has text, + 1; 0 when none has.
    std::uint32_t linesWithText() const { return lastStamped_; }

    static std::uint8_t encode(char16_t c);
    static char16_t decode(std::uint8_t b);

private:
    static constexpr std::size_t kChunk = std::size_t{1} << 20;
    static constexpr std::uint64_t kLineStart = std::uint64_t{1} << 63;

    std::uint8_t at(std::size_t offset) const { return chunks_[offset / kChunk][offset % kChunk]; }
    std::uint64_t rowStart(std::size_t row) const { return rows_[row] & ~kLineStart; }
    void putByte(std::uint8_t b);
    void newLine();
    void wrapBefore();
    void startRows();

    std::vector<std::unique_ptr<std::uint8_t[]>> chunks_;
    std::size_t size_ = 0;
    std::vector<std::uint64_t> rows_; // start offset of each row, kLineStart on a line's first
    std::deque<LineStamp> lines_;     // a deque: no doubling of a day's stamps on growth
    std::size_t relaidLines_ = 0;     // while laying out again: lines whose first row is placed
    bool relaying_ = false;
    std::uint32_t lastStamped_ = 0;
    Stamper stamper_;
    std::array<std::uint16_t, 256> widths_{};
    int wrapWidth_ = 1 << 30;
    int rowWidth_ = 0;
    std::size_t afterBlank_ = 0; // offset just after the last blank in the current row; 0 = none
    bool pendingCR_ = false;
};

} // namespace cmbvhp
