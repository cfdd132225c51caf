#pragma once

#include "Devices.h"

#include <optional>
#include <span>
#include <string>

namespace cmbvhp::sim {

// The simulator's command line.
struct CommandLine {
    Options devices;
    std::string link;       // make this path a link to the simulator's port
    std::string record;     // write every byte sent to the console here
    std::string replay;     // play the devices of this session file instead
    double billEvery = 8;   // seconds between bills, 0 = never
    double coinEvery = 3;   // seconds between coins, 0 = never
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// The longest schedule an option takes: a day.
inline constexpr double kMaxEverySeconds = 86400;

// Reads the options (program name not included). Numbers take "." as the
// decimal point whatever the locale. On anything it does not take, `error`
// names the option and says why, and the result is empty.
std::optional<CommandLine> parseCommandLine(std::span<const std::string> args, std::string& error);

} // namespace cmbvhp::sim
