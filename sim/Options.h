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
    double billEvery = 8;   // seconds between bills, 0 = never
    double coinEvery = 3;   // seconds between coins, 0 = never
    bool quiet = false;
};

// Reads the options (program name not included). Numbers take "." as the
// decimal point whatever the locale. Empty on anything it does not know.
std::optional<CommandLine> parseCommandLine(std::span<const std::string> args);

} // namespace cmbvhp::sim
