#include "Output.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace cmbvhp::sim {

bool OutputQueue::push(std::span<const std::uint8_t> reply)
{
    if (bytes_.size() + reply.size() > limit_) {
        dropped_ += reply.size();
        return false;
    }
    bytes_.insert(bytes_.end(), reply.begin(), reply.end());
    return true;
}

std::size_t OutputQueue::flush(const std::function<std::size_t(std::span<const std::uint8_t>)>& write)
{
    std::size_t total = 0;
    std::array<std::uint8_t, 4096> chunk{};
    while (!bytes_.empty()) {
        const std::size_t n = std::min(chunk.size(), bytes_.size());
        std::copy_n(bytes_.begin(), n, chunk.begin());
        const std::size_t taken = std::min(n, write({chunk.data(), n}));
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<long>(taken));
        total += taken;
        if (taken < n)
            break;
    }
    return total;
}

void Printer::line(std::string text)
{
    text += '\n';
    if (waiting_.size() + text.size() > limit_) {
        ++dropped_;
        return;
    }
    waiting_ += text;
    flush();
}

void Printer::closing(std::string text)
{
    waiting_ += text + '\n';
    flush();
}

// One write of at most PIPE_BUF bytes once poll says the reader has room: a
// pipe with room takes that much without blocking.
bool Printer::writeSome(int timeoutMs)
{
    pollfd p{fd_, POLLOUT, 0};
    if (waiting_.empty() || ::poll(&p, 1, timeoutMs) != 1 || !(p.revents & POLLOUT))
        return false;
    const ssize_t n = ::write(fd_, waiting_.data(), std::min<std::size_t>(waiting_.size(), PIPE_BUF));
    if (n <= 0) {
        // A reader that is gone takes nothing, ever.
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            dropped_ += static_cast<std::size_t>(std::count(waiting_.begin(), waiting_.end(), '\n'));
            waiting_.clear();
        }
        return false;
    }
    waiting_.erase(0, static_cast<std::size_t>(n));
    return true;
}

void Printer::flush()
{
    while (writeSome(0)) {
    }
}

void Printer::finish(std::chrono::milliseconds patience)
{
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!waiting_.empty()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !writeSome(static_cast<int>(left.count())))
            break;
    }
}

} // namespace cmbvhp::sim
