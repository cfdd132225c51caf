#include "PortsTool.h"

#include <ostream>
#include <system_error>
#include <unistd.h>

namespace cmbvhp {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: cm_bv_hp_ports [link N DEVICE | unlink N]";

// "3", "COM3" or "com3"; 0 for anything else.
int portNumber(const std::string& text)
{
    std::string digits = text;
    if (digits.size() > 3 && (digits.starts_with("COM") || digits.starts_with("com")))
        digits.erase(0, 3);
    if (digits.empty() || digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int n = std::stoi(digits);
    return n >= 1 && n <= PortNames::kPorts ? n : 0;
}

// The name to store for a device: its stable by-id name when it has one, so
// that the number survives re-plugging into another socket.
fs::path stableName(const fs::path& device, const fs::path& byIdFolder)
{
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    for (const auto& entry : fs::directory_iterator(byIdFolder, ec))
        if (fs::canonical(entry.path(), ec) == target)
            return entry.path();
    return fs::absolute(device, ec);
}

void list(const PortsToolHost& host, std::ostream& out)
{
    const auto devices = host.devices();
    out << "Serial devices present:" << (devices.empty() ? " none\n" : "\n");
    for (const SerialDevice& d : devices) {
        out << "  " << d.path;
        for (const std::string* field : {&d.byId, &d.description, &d.manufacturer, &d.serialNumber})
            if (!field->empty())
                out << "  " << *field;
        out << '\n';
    }
    out << "Port numbers (links in " << host.names.linkFolder().string() << "):\n";
    for (int port = 1; port <= PortNames::kPorts; ++port)
        out << "  COM" << port << (port < 10 ? "   " : "  ") << host.names.reach(port, devices) << '\n';
}

int link(int port, const fs::path& device, const PortsToolHost& host, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    if (!fs::exists(device, ec)) {
        err << device.string() << " does not exist\n";
        return 1;
    }
    if (!fs::is_character_file(device, ec)) {
        err << device.string() << " is not a serial device (not a character device)\n";
        return 1;
    }
    const fs::path linkPath = host.names.linkPath(port);
    const auto existing = fs::symlink_status(linkPath, ec);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        err << linkPath.string() << " is not a link; it was left alone\n";
        return 1;
    }
    fs::create_directories(host.names.linkFolder(), ec);
    // Made beside the old link and renamed over it, so COMn is never missing.
    const fs::path fresh = linkPath.string() + ".new" + std::to_string(::getpid());
    const fs::path target = stableName(device, host.byIdFolder);
    if (!ec)
        fs::create_symlink(target, fresh, ec);
    if (!ec)
        fs::rename(fresh, linkPath, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        err << "cannot write the link folder " << host.names.linkFolder().string() << ": " << ec.message() << '\n';
        return 1;
    }
    out << "COM" << port << " now reaches " << target.string() << '\n';
    return 0;
}

int unlink(int port, const PortsToolHost& host, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    const fs::path linkPath = host.names.linkPath(port);
    const auto status = fs::symlink_status(linkPath, ec);
    if (!fs::exists(status)) {
        out << "COM" << port << " has no link\n";
        return 0;
    }
    if (!fs::is_symlink(status)) {
        err << linkPath.string() << " is not a link; it was left alone\n";
        return 1;
    }
    if (!fs::remove(linkPath, ec)) {
        err << "cannot remove " << linkPath.string() << ": " << ec.message() << '\n';
        return 1;
    }
    out << "COM" << port << "'s link was removed\n";
    return 0;
}

} // namespace

int runPortsTool(std::span<const std::string> args, const PortsToolHost& host, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        list(host, out);
        return 0;
    }
    const std::string& verb = args[0];
    if ((verb == "link" && args.size() == 3) || (verb == "unlink" && args.size() == 2)) {
        const int port = portNumber(args[1]);
        if (port == 0) {
            err << "\"" << args[1] << "\" is not a port number from 1 to " << PortNames::kPorts << '\n';
            return 2;
        }
        return verb == "link" ? link(port, args[2], host, out, err) : unlink(port, host, out, err);
    }
    err << kUsage << '\n';
    return 2;
}

} // namespace cmbvhp
