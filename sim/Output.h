#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>

namespace cmbvhp::sim {

// Replies waiting for the line. A console that stops reading must not block
// the simulator: what waits is bounded, and a reply that does not fit is
// dropped whole (never cut) and counted.
class OutputQueue {
public:
    explicit OutputQueue(std::size_t limit) : limit_(limit) {}

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

} // namespace cmbvhp::sim
