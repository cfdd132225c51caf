#pragma once

#include "link/PortNames.h"

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <sys/types.h>

namespace cmbvhp {

// What cm_bv_hp_ports works on: the port folder, the stable device names and
// the serial devices present.
struct PortsToolHost {
    PortNames names;
    std::filesystem::path byIdFolder;
    std::function<std::vector<SerialDevice>()> devices;
};

// Whether a character device is a terminal, told from its device number
// without opening it; `sysChar` is sysfs's folder of character devices, and
// without sysfs the serial drivers' majors tell.
bool isTerminal(dev_t device, const std::filesystem::path& sysChar = "/sys/dev/char");

// A terminal by its device number that is a serial line, not one of the
// system's own terminals (/dev/tty, /dev/console, /dev/ptmx, /dev/ttyN).
bool isSerialLine(unsigned devMajor, unsigned devMinor);

// cm_bv_hp_ports [link N DEVICE | unlink N]: lists the serial devices and what
// COM1 ... COM16 reach, or makes or removes the link of COMn. Bad input gets
// one line on `err`, a non-zero result, and changes nothing.
int runPortsTool(std::span<const std::string> args, const PortsToolHost& host, std::ostream& out, std::ostream& err);

} // namespace cmbvhp
