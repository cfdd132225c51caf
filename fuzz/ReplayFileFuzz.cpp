// A session file as the simulator's --replay reads it: any text, then frames
// asked of what it loaded. It is refused or played, never read out of bounds.
#include "Replay.h"

#include <sstream>

using namespace cmbvhp::sim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string error;
    auto replay = Replay::load(in, error);
    if (!replay)
        return error.starts_with("line ") || error == "the file could not be read" ? 0 : (__builtin_trap(), 0);
    // The file's own bytes, two at a time, as the frames the console sends.
    for (std::size_t i = 0; i + 1 < size; i += 2)
        replay->answer(Bytes{data[i], data[i + 1]});
    return replay->answered() + replay->unanswered() == size / 2 ? 0 : (__builtin_trap(), 0);
}
