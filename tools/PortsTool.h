#pragma once

#include "link/PortNames.h"

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

namespace cmbvhp {

// What cm_bv_hp_ports works on: the port folder, the stable device names and
// the serial devices present.
struct PortsToolHost {
    PortNames names;
    std::filesystem::path byIdFolder;
    std::function<std::vector<SerialDevice>()> devices;
};

// cm_bv_hp_ports [link N DEVICE | unlink N]: lists the serial devices and what
// COM1 ... COM16 reach, or makes or removes the link of COMn. Bad input gets
// one line on `err`, a non-zero result, and changes nothing.
int runPortsTool(std::span<const std::string> args, const PortsToolHost& host, std::ostream& out, std::ostream& err);

} // namespace cmbvhp
