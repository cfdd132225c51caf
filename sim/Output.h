#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>

namespace cmbvhp::sim {

// Replies waiting for the line. A console that stops reading must not block
// the simulator: what waits is bounded, and a reply that does not fit is
// dropped whole (never cut) and counted.
class OutputQueue {
public:
    // What may wait for a console that does not read, before replies are dropped.
    static constexpr std::size_t kLimit = 64 * 1024;
    explicit OutputQueue(std::size_t limit = kLimit) : limit_(limit) {}

    // False when the reply was dropped.
    bool push(std::span<const std::uint8_t> reply);

    // Hands waiting bytes to `write`, which takes what it can and returns how
    // many (0 when the line takes nothing now). Short writes are completed by
    // later calls. Returns the bytes handed over this time.
    std::size_t flush(const std::function<std::size_t(std::span<const std::uint8_t>)>& write);

    bool empty() const { return bytes_.empty(); }
    std::size_t waiting() const { return bytes_.size(); }
    std::size_t droppedBytes() const { return dropped_; }

private:
    std::size_t limit_;
    std::deque<std::uint8_t> bytes_;
    std::size_t dropped_ = 0;
};

// The simulator's own printing. It must never stop the devices: a reader that
// does not keep up (a pipe nobody reads) gets what it takes; lines wait in a
// bounded buffer, and a line that does not fit is dropped whole and counted.
class Printer {
public:
    explicit Printer(int fd, std::size_t limit = 64 * 1024) : fd_(fd), limit_(limit) {}

    void line(std::string text);
    // A line that closes the run: kept even over the bound, since it is one of
    // a few and says what the run came to, most of all when lines were dropped.
    void closing(std::string text);
    // Writes what the reader takes now, without waiting.
    void flush();
    // At exit: waits at most `patience` for the reader to take what is left.
    void finish(std::chrono::milliseconds patience);
    std::size_t droppedLines() const { return dropped_; }

private:
    bool writeSome(int timeoutMs);

    int fd_;
    std::size_t limit_;
    std::string waiting_;
    std::size_t dropped_ = 0;
};

} // namespace cmbvhp::sim
