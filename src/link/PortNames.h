#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace cmbvhp {

// How a port number COM1 ... COM16 reaches a device on this host:
//   1. the folder of port links, <folder>/comN (a symbolic link to, or the path
//      of, any serial device: /dev/ttyUSB0, /dev/ttyACM0, a pseudo-terminal);
//   2. otherwise the on-board port /dev/ttyS(N-1).
// A number with neither is a port with no device.
class PortNames {
public:
    explicit PortNames(std::filesystem::path linkFolder, std::filesystem::path devFolder = "/dev");

    // $XDG_CONFIG_HOME/cm_bv_hp/ports, or ~/.config/cm_bv_hp/ports.
    static std::filesystem::path defaultLinkFolder();

    std::optional<std::string> deviceFor(int port) const;

private:
    std::filesystem::path linkFolder_;
    std::filesystem::path devFolder_;
};

} // namespace cmbvhp
