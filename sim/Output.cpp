#include "Output.h"

#include <algorithm>
#include <array>

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

} // namespace cmbvhp::sim
