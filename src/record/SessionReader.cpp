#include "SessionReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace cmbvhp {

namespace {

constexpr const char* kNoHeader = "no session header (\"# cm_bv_hp VERSION session of COMn, opened DATE TIME local time (UTC+hh:mm)\")";

constexpr std::size_t kReadSize = 1u << 20;
constexpr std::size_t kFirstRoom = 256u << 10;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "5A A5": pairs of hexadecimal digits, one blank between them.
bool hexBytes(std::string_view text, std::vector<std::uint8_t>& out)
{
    out.clear();
    for (std::size_t i = 0;; i += 3) {
        if (i + 2 > text.size())
            return false;
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        if (i + 2 == text.size())
            return true;
        if (text[i + 2] != ' ')
            return false;
    }
}

// Takes a number of exactly `n` digits from the front of `text`; `value` is
// set only when it is taken.
bool digits(std::string_view& text, std::size_t n, int& value)
{
    if (text.size() < n)
        return false;
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    value = v;
    text.remove_prefix(n);
    return true;
}

bool take(std::string_view& text, std::string_view piece)
{
    if (!text.starts_with(piece))
        return false;
    text.remove_prefix(piece.size());
    return true;
}

// "HH:MM:SS.mmm", local time.
bool timeOfDay(std::string_view& text, std::int32_t& ms)
{
    int h = 0, m = 0, s = 0, milli = 0;
    if (!digits(text, 2, h) || !take(text, ":") || !digits(text, 2, m) || !take(text, ":") || !digits(text, 2, s) || !take(text, ".") ||
        !digits(text, 3, milli) || h > 23 || m > 59 || s > 59)
        return false;
    ms = ((h * 60 + m) * 60 + s) * 1000 + milli;
    return true;
}

const char* kindOfFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

} // namespace

SessionReader::SessionReader(Source source) : source_(std::move(source)) {}

std::optional<SessionReader> SessionReader::open(const std::string& path, std::string& error, std::uint64_t offset, std::size_t line)
{
    // Told apart before opening: opening a FIFO waits for a writer, and
    // opening a terminal changes its lines.
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        error = std::string("it is ") + kindOfFile(st.st_mode) + ", not a session file";
        return std::nullopt;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd < 0 ? std::strerror(errno) : "it changed while it was opened";
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    if (offset > 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = std::strerror(errno);
        ::close(fd);
        return std::nullopt;
    }
    const auto file = std::shared_ptr<int>(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    SessionReader reader([file](std::span<char> into) -> std::ptrdiff_t {
        for (;;) {
            const ssize_t n = ::read(*file, into.data(), into.size());
            if (n >= 0 || errno != EINTR)
                return n;
        }
    });
    reader.bufferOffset_ = offset;
    reader.lineNumber_ = line;
    return reader;
}

// The next whole line, without its line end; false at the end or when the
// line is too long (refused).
bool SessionReader::nextLine(std::string_view& line)
{
    for (;;) {
        char* const buffer = buffer_.get();
        if (const void* nl = end_ > scanned_ ? std::memchr(buffer + scanned_, '\n', end_ - scanned_) : nullptr) {
            const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer);
            line = std::string_view(buffer + begin_, at - begin_);
            lineOffset_ = bufferOffset_ + begin_;
            ++lineNumber_;
            begin_ = scanned_ = at + 1;
            return true;
        }
        scanned_ = end_;
        if (end_ - begin_ > kLongestSessionLine) {
            ++lineNumber_;
            refuse("longer than any line of a session file (" + std::to_string(kLongestSessionLine >> 20) + " MiB)");
            return false;
        }
        if (ended_)
            return false;
        if (begin_ > 0) { // the line begun stays, at the front
            std::memmove(buffer, buffer + begin_, end_ - begin_);
            bufferOffset_ += begin_;
            end_ -= begin_;
            scanned_ = end_;
            begin_ = 0;
        }
        if (end_ == room_) { // a long line: more room, up to what the longest needs
            room_ = std::min(std::max(2 * room_, kFirstRoom), kLongestSessionLine + kReadSize);
            auto larger = std::make_unique_for_overwrite<char[]>(room_);
            if (end_ > 0)
                std::memcpy(larger.get(), buffer_.get(), end_);
            buffer_ = std::move(larger);
        }
        const std::ptrdiff_t n = source_(std::span(buffer_.get() + end_, std::min(room_ - end_, kReadSize)));
        if (n < 0) {
            refused_ = true;
            error_ = "the file could not be read";
            return false;
        }
        ended_ = n == 0;
        end_ += static_cast<std::size_t>(n);
    }
}

SessionReader::Line SessionReader::refuse(const std::string& why)
{
    refused_ = true;
    error_ = "line " + std::to_string(lineNumber_) + ": " + why;
    return Line::Refused;
}

SessionReader::Line SessionReader::next()
{
    std::string_view line;
    while (!refused_) {
        if (!nextLine(line)) {
            // An empty file, or one cut inside its first line (a console
            // killed as it began the file), has no header: no session.
            if (!refused_ && lineNumber_ == 0) {
                lineNumber_ = 1;
                return refuse(kNoHeader);
            }
            return refused_ ? Line::Refused : Line::End;
        }
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (lineNumber_ == 1) {
            if (!readHeader(line))
                return refuse(kNoHeader);
            continue;
        }
        if (line.empty())
            continue;
        if (line.front() == '#') {
            comment_ = line.substr(std::min<std::size_t>(2, line.size()));
            return Line::Comment;
        }
        return readEvent(line);
    }
    return Line::Refused;
}

bool SessionReader::readHeader(std::string_view line)
{
    SessionHeader& h = header_;
    if (!take(line, "# cm_bv_hp "))
        return false;
    const std::size_t of = line.find(" session of COM");
    if (of == std::string_view::npos)
        return false;
    h.version = std::string(line.substr(0, of));
    line.remove_prefix(of + 15);
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), h.port);
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
    return ec == std::errc() && h.port >= 0 && h.port <= 16 && take(line, ", opened ") && digits(line, 4, h.year) && take(line, "-") &&
           digits(line, 2, h.month) && take(line, "-") && digits(line, 2, h.day) && h.month >= 1 && h.month <= 12 && h.day >= 1 &&
           h.day <= 31 && take(line, " ") && timeOfDay(line, h.msOfDay) && take(line, " local time (UTC") && line.size() == 7 &&
           line.back() == ')' && (h.zone = std::string(line.substr(0, 6)), true);
}

SessionReader::Line SessionReader::readEvent(std::string_view line)
{
    SessionEvent& e = event_;
    if (!timeOfDay(line, e.msOfDay) || !take(line, " "))
        return refuse("not an event (HH:MM:SS.mmm TAG ...)");
    const std::size_t blank = line.find(' ');
    const std::string_view tag = line.substr(0, blank);
    const std::string_view body = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    e.afterMs.reset();
    e.bytes.clear();
    e.text = {};
    if (tag == "OP" || tag == "NOTE") {
        e.kind = tag == "OP" ? SessionEvent::Kind::Op : SessionEvent::Kind::Note;
        e.text = body;
        return Line::Event;
    }
    if (tag == "TX" || tag == "DROP") {
        e.kind = tag == "TX" ? SessionEvent::Kind::Tx : SessionEvent::Kind::Drop;
        return hexBytes(body, e.bytes) ? Line::Event : refuse("a " + std::string(tag) + " line holds hexadecimal bytes");
    }
    if (tag != "RX")
        return refuse("unknown event \"" + std::string(tag) + "\"");
    // RX bytes, then " +N ms" unless no frame had gone out before them.
    e.kind = SessionEvent::Kind::Rx;
    std::string_view bytes = body;
    if (const std::size_t plus = body.rfind(" +"); plus != std::string_view::npos && body.ends_with(" ms")) {
        const std::string_view ms = body.substr(plus + 2, body.size() - plus - 5);
        std::int64_t after = 0;
        const auto [end, ec] = std::from_chars(ms.data(), ms.data() + ms.size(), after);
        if (ec != std::errc() || end != ms.data() + ms.size() || after < 0)
            return refuse("an RX line's delay is \"+N ms\"");
        if (after > kLongestRxDelayMs)
            return refuse("an RX line's delay is at most 24 hours");
        e.afterMs = after;
        bytes = body.substr(0, plus);
    }
    return hexBytes(bytes, e.bytes) ? Line::Event : refuse("an RX line holds hexadecimal bytes");
}

} // namespace cmbvhp
