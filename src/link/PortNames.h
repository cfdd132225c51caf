#pragma once

#include "common/XdgFolders.h"

#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace cmbvhp {

// A serial device as the system reports it.
struct SerialDevice {
    std::string path;         // /dev/ttyUSB0
    std::string byId;         // its stable /dev/serial/by-id/... name; empty when it has none
    std::string description;  // the fields below are empty when the system does not say
    std::string manufacturer;
    std::string serialNumber;
};

// The serial devices present now, with their stable names from `byIdFolder`.
std::vector<SerialDevice> serialDevicesPresent(const std::filesystem::path& byIdFolder = "/dev/serial/by-id");

// How a port number COM1 ... COM16 reaches a device on this host:
//   1. the folder of port links, <folder>/comN (a symbolic link to, or the path
//      of, any serial device: /dev/ttyUSB0, /dev/ttyACM0, a pseudo-terminal);
//   2. otherwise the on-board port /dev/ttyS(N-1).
// A number with neither is a port with no device.
class PortNames {
public:
    static constexpr int kPorts = 16;

    explicit PortNames(std::filesystem::path linkFolder, std::filesystem::path devFolder = "/dev");
    // Without a folder (empty path) only the on-board ports are reached, and
    // what is told about links says why there is no folder.
    explicit PortNames(const BaseFolder& linkFolder, std::filesystem::path devFolder = "/dev");

    // $XDG_CONFIG_HOME/cm_bv_hp/ports, or ~/.config/cm_bv_hp/ports; none
    // without an absolute base folder.
    static BaseFolder defaultLinkFolder();

    const std::filesystem::path& linkFolder() const { return linkFolder_; }
    // Why there is no link folder; empty when there is one.
    const std::string& folderProblem() const { return folderProblem_; }
    std::filesystem::path linkPath(int port) const { return linkFolder_ / ("com" + std::to_string(port)); }

    // What a port number names: a path in the link folder (a link whose device
    // is missing still names its port, so that it never falls back to an
    // on-board port), the on-board port, or nothing. A folder that cannot be
    // read is a problem of its own, never "nothing".
    struct Named {
        std::string path;     // empty: nothing
        bool inFolder = false;
        std::string problem;  // the folder could not be read
    };
    Named named(int port) const;
    // The device to open; throws CommError with noDeviceReason() when the
    // number reaches no device that is present.
    std::string locate(int port) const;

    // What the number reaches now, for the operator: "link to /dev/pts/3",
    // "on-board port /dev/ttyS0", "no device", with what the system reports of
    // a device it knows.
    std::string reach(int port, std::span<const SerialDevice> devices) const;
    // Why the number cannot be opened, the link to make, and the devices present.
    std::string noDeviceReason(int port, std::span<const SerialDevice> devices) const;

private:
    std::filesystem::path linkFolder_;
    std::string folderProblem_;
    std::filesystem::path devFolder_;
};

} // namespace cmbvhp
