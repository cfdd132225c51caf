#include "PortsTool.h"

#include <ostream>
#include <random>
#include <system_error>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace cmbvhp {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = "usage: cm_bv_hp_ports [link N DEVICE | unlink N]";

constexpr const char* kHelp =
    "Usage: cm_bv_hp_ports [link N DEVICE | unlink N]\n"
    "Lists the serial devices present and what the console's port numbers COM1 ... COM16\n"
    "reach, or gives a port number to a serial device.\n"
    "\n"
    "Without a command the devices and the sixteen numbers are listed.\n"
    "\n"
    "Commands:\n"
    "  link N DEVICE   COMN reaches DEVICE from now on (N is 1 ... 16, or COMN); the\n"
    "                  device's stable /dev/serial/by-id name is stored when it has one\n"
    "  unlink N        COMN no longer reaches a linked device\n"
    "  -h, --help      print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "The links are kept in $XDG_CONFIG_HOME/cm_bv_hp/ports (~/.config/cm_bv_hp/ports\n"
    "when XDG_CONFIG_HOME is not set to an absolute folder). A number without a link\n"
    "reaches the on-board port /dev/ttyS(N-1) when there is one.\n";

// An argument as it may stand inside a one-line message: control characters
// are written as escapes, so that no argument can break the line.
std::string printable(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c < 0x20 || c == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else
            out += static_cast<char>(c);
    }
    return out;
}

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

} // namespace

// Opening a real serial port to ask would change its modem lines.
// Pseudo-terminal slaves have majors 136 ... 143 and no sysfs entry; every
// other terminal is in the tty class of sysfs.
bool isTerminal(dev_t device, const fs::path& sysChar)
{
    const unsigned maj = major(device);
    if (maj >= 136 && maj <= 143)
        return true;
    const fs::path entry = sysChar / (std::to_string(maj) + ":" + std::to_string(minor(device)));
    std::error_code ec;
    if (!fs::exists(sysChar, ec))
        return maj == 4 || maj == 166 || maj == 188 || maj == 204; // ttyS, ttyACM, ttyUSB, ttyAMA
    return fs::read_symlink(entry / "subsystem", ec).filename() == "tty";
}

// The controlling terminal, the system console and the pseudo-terminal
// multiplexer (major 5), and the virtual consoles (major 4 below the on-board
// ports' 64) are terminals, but no line a device is on.
bool isSerialLine(unsigned devMajor, unsigned devMinor) { return devMajor != 5 && !(devMajor == 4 && devMinor < 64); }

namespace {

// The name to store for a device (already resolved): its stable by-id name
// when it has one, so that the number survives re-plugging into another
// socket; otherwise the resolved path itself.
fs::path stableName(const fs::path& resolved, const fs::path& byIdFolder)
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(byIdFolder, ec)) {
        std::error_code each;
        if (fs::canonical(entry.path(), each) == resolved)
            return entry.path();
    }
    return resolved;
}

bool inside(const fs::path& path, const fs::path& folder)
{
    std::error_code ec;
    const fs::path f = fs::weakly_canonical(folder, ec);
    const auto rel = path.lexically_relative(ec ? folder : f);
    return !rel.empty() && *rel.begin() != "..";
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
    if (host.names.linkFolder().empty())
        out << "Port numbers (no port folder for links: " << host.names.folderProblem() << "):\n";
    else
        out << "Port numbers (links in " << host.names.linkFolder().string() << "):\n";
    for (int port = 1; port <= PortNames::kPorts; ++port)
        out << "  COM" << port << (port < 10 ? "   " : "  ") << host.names.reach(port, devices) << '\n';
}

// Whether COMn's link may be made, replaced or removed: 0, or the exit code
// after a message.
int checkLinkPlace(int port, const PortsToolHost& host, std::ostream& err)
{
    if (host.names.linkFolder().empty()) {
        err << "there is no port folder for links: " << host.names.folderProblem() << '\n';
        return 1;
    }
    const fs::path linkPath = host.names.linkPath(port);
    std::error_code ec;
    const auto existing = fs::symlink_status(linkPath, ec);
    if (existing.type() == fs::file_type::not_found)
        return 0;
    if (ec) {
        err << "cannot read " << linkPath.string() << ": " << ec.message() << '\n';
        return 1;
    }
    if (!fs::is_symlink(existing)) {
        err << linkPath.string() << " is not a link; it was left alone\n";
        return 1;
    }
    return 0;
}

int link(int port, const std::string& device, const PortsToolHost& host, std::ostream& out, std::ostream& err)
{
    if (device.empty()) {
        err << "DEVICE is empty: give the path of a serial device, for example /dev/ttyUSB0\n";
        return 2;
    }
    const std::string shown = printable(device);
    std::error_code ec;
    // What the path finally reaches, with every link and "." or ".." resolved,
    // so that no link of the folder ever points at another of its links.
    const fs::path resolved = fs::canonical(device, ec);
    if (ec) {
        if (ec == std::errc::no_such_file_or_directory)
            err << shown << " does not exist\n";
        else
            err << shown << ": " << ec.message() << '\n';
        return 1;
    }
    if (!host.names.linkFolder().empty() && inside(resolved, host.names.linkFolder())) {
        err << shown << " leads into the port folder " << host.names.linkFolder().string()
            << "; give the serial device itself\n";
        return 1;
    }
    struct stat st{};
    if (::stat(resolved.c_str(), &st) != 0 || !S_ISCHR(st.st_mode) || !isTerminal(st.st_rdev)) {
        err << shown << " is not a serial device (" << resolved.string() << " is not a terminal device)\n";
        return 1;
    }
    if (!isSerialLine(major(st.st_rdev), minor(st.st_rdev))) {
        err << shown << " is not a serial device (" << resolved.string() << " is a terminal of the system, not a serial line)\n";
        return 1;
    }
    if (const int refused = checkLinkPlace(port, host, err))
        return refused;
    const fs::path linkPath = host.names.linkPath(port);
    fs::create_directories(host.names.linkFolder(), ec);
    const fs::path target = stableName(resolved, host.byIdFolder);
    // Made beside the old link under a name no one else uses, and renamed over
    // it, so that COMn is never missing; only what this run made is removed.
    fs::path fresh;
    std::random_device entropy;
    for (int attempt = 0; !ec && attempt < 100; ++attempt) {
        fresh = linkPath.string() + ".new" + std::to_string(::getpid()) + "-" + std::to_string(entropy());
        fs::create_symlink(target, fresh, ec);
        if (ec == std::errc::file_exists) {
            ec.clear();
            fresh.clear();
            continue;
        }
        break;
    }
    if (!ec && fresh.empty())
        ec = std::make_error_code(std::errc::file_exists);
    if (!ec) {
        fs::rename(fresh, linkPath, ec);
        if (ec) {
            std::error_code ignored;
            fs::remove(fresh, ignored);
        }
    }
    if (ec) {
        err << "cannot write the link folder " << host.names.linkFolder().string() << ": " << ec.message() << '\n';
        return 1;
    }
    out << "COM" << port << " now reaches " << target.string() << '\n';
    return 0;
}

int unlink(int port, const PortsToolHost& host, std::ostream& out, std::ostream& err)
{
    if (const int refused = checkLinkPlace(port, host, err))
        return refused;
    const fs::path linkPath = host.names.linkPath(port);
    std::error_code ec;
    if (fs::symlink_status(linkPath, ec).type() == fs::file_type::not_found) {
        out << "COM" << port << " has no link\n";
        return 0;
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
    if (args.size() == 1 && (verb == "--help" || verb == "-h")) {
        out << kHelp;
        return 0;
    }
    if (args.size() == 1 && verb == "--version") {
        out << "cm_bv_hp_ports " CMBVHP_VERSION "\n";
        return 0;
    }
    if ((verb == "link" && args.size() == 3) || (verb == "unlink" && args.size() == 2)) {
        const int port = portNumber(args[1]);
        if (port == 0) {
            err << "\"" << printable(args[1]) << "\" is not a port number from 1 to " << PortNames::kPorts << '\n';
            return 2;
        }
        return verb == "link" ? link(port, args[2], host, out, err) : unlink(port, host, out, err);
    }
    err << kUsage << '\n';
    return 2;
}

} // namespace cmbvhp
