// A session file as the simulator's --replay reads it: any text, read in
// pieces of any size, then frames asked of what it loaded. It is refused or
// played, never read out of bounds.
#include "Replay.h"

using namespace cmbvhp;
using namespace cmbvhp::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte sets how much each read hands over, so that lines break
    // across reads at every place.
    const std::size_t piece = size > 0 ? data[0] % 64 + 1 : 1;
    std::size_t at = 0;
    SessionReader file([&](std::span<char> into) -> std::ptrdiff_t {
        const std::size_t n = std::min({into.size(), piece, size - at});
        std::copy_n(data + at, n, into.data());
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    });
    std::string error;
    auto replay = Replay::load(file, error);
    if (!replay)
        return error.starts_with("line ") || error.starts_with("no TX line") ? 0 : (__builtin_trap(), 0);
    // The file's own bytes, two at a time, as the frames the console sends.
    for (std::size_t i = 0; i + 1 < size; i += 2)
        replay->answer(Bytes{data[i], data[i + 1]});
    return replay->answered() + replay->unanswered() == size / 2 ? 0 : (__builtin_trap(), 0);
}
