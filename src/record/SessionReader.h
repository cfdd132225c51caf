#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cmbvhp {

// The longest line a session file holds: the recorder ends an RX line long
// before, and other lines are short.
inline constexpr std::size_t kLongestSessionLine = 2u << 20;
// The longest delay an RX line gives: a frame goes out every few hundred
// milliseconds while a session runs.
inline constexpr std::int64_t kLongestRxDelayMs = 24LL * 3600 * 1000;

// The first line of a session file:
// "# cm_bv_hp 1.2 session of COM1, opened 2026-12-07 16:15:01.829 local time (UTC+00:00)".
struct SessionHeader {
    std::string version;
    int port = 0;
    int year = 0, month = 0, day = 0;
    std::int32_t msOfDay = 0; // the opening, local time
    std::string zone;         // "+00:00"
};

// One event line: "16:15:01.930 RX 44 +1 ms".
struct SessionEvent {
    enum class Kind { Tx, Drop, Rx, Op, Note };
    Kind kind = Kind::Tx;
    std::int32_t msOfDay = 0;            // local time, without a date
    std::vector<std::uint8_t> bytes;     // TX, DROP, RX
    std::optional<std::int64_t> afterMs; // RX: after the frame before; none before the first
    std::string_view text;               // OP, NOTE; valid until the next line is read
};

// Reads a session file line by line, as the recorder writes it, and refuses
// at once, by line number, what the recorder never writes: a file that does
// not begin with the session header, a line that is no event, a line longer
// than any the recorder writes (without reading it whole), a delay over a
// day. A last line without its line end (a console killed while writing)
// is left out, even one that would read as an event.
class SessionReader {
public:
    // Bytes read into `into`: 0 at the end, less than 0 when reading failed.
    using Source = std::function<std::ptrdiff_t(std::span<char> into)>;
    explicit SessionReader(Source source);

    // A file by its path. Only a regular file is opened (a FIFO, a device or
    // a folder is refused without being opened); `error` says why not. From
    // `offset` on, where line `line` has ended, when given: the header was
    // read before.
    static std::optional<SessionReader> open(const std::string& path, std::string& error, std::uint64_t offset = 0, std::size_t line = 0);

    enum class Line { Event, Comment, End, Refused };
    // The next line: an event, or a "#" line, once the header is read.
    Line next();
    const SessionHeader& header() const { return header_; }
    const SessionEvent& event() const { return event_; }
    // A "#" line's text after "# ".
    std::string_view comment() const { return comment_; }
    // Why the file was refused: "line 7: an RX line holds hexadecimal bytes".
    const std::string& error() const { return error_; }
    // The line last read, counted from 1, and where it begins in the file.
    std::size_t lineNumber() const { return lineNumber_; }
    std::uint64_t lineOffset() const { return lineOffset_; }

private:
    bool nextLine(std::string_view& line);
    Line refuse(const std::string& why);
    bool readHeader(std::string_view line);
    Line readEvent(std::string_view line);

    Source source_;
    std::unique_ptr<char[]> buffer_; // grows for a long line only
    std::size_t room_ = 0;
    std::size_t begin_ = 0, end_ = 0, scanned_ = 0;
    std::uint64_t bufferOffset_ = 0; // where buffer_[0] stands in the file
    bool ended_ = false;
    bool refused_ = false;
    std::size_t lineNumber_ = 0;
    std::uint64_t lineOffset_ = 0;
    SessionHeader header_;
    SessionEvent event_;
    std::string_view comment_;
    std::string error_;
};

} // namespace cmbvhp
