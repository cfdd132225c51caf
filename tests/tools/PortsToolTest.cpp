// cm_bv_hp_ports and the port-number rule, on pseudo-terminals and a temporary
// link folder.
#include "PortsTool.h"
#include "link/SerialBackend.h"
#include "Pty.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <numeric>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace cmbvhp;
using cmbvhp::sim::Pty;
namespace fs = std::filesystem;

namespace {
struct PortsTool : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid() && pty.ok());
        for (const fs::path& folder : {byId, dev, links})
            fs::create_directories(folder);
        for (const fs::path& file : {dev / "ttyS0", root / "plain", links / "data"})
            std::ofstream(file).put('x');
        fs::permissions(root, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    }
    // Replaces $PTY, $LINKS and $ROOT in a table's text.
    std::string expand(std::string s) const
    {
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"$PTY", pty.name()}, {"$LINKS", links.string()}, {"$ROOT", root.string()}})
            for (std::size_t at; (at = s.find(mark)) != std::string::npos;)
                s.replace(at, mark.size(), value);
        return s;
    }
    // Runs the command as `user` (0: as the test runs); "code|stdout|stderr".
    std::string run(std::vector<std::string> args, uid_t user = 0)
    {
        std::ranges::transform(args, args.begin(), [this](const std::string& a) { return expand(a); });
        auto once = [&] {
            std::ostringstream o, e;
            const int code = runPortsTool(args, {PortNames(links, dev), byId, [this] { return devices; }}, o, e);
            return std::to_string(code) + "|" + o.str() + "|" + e.str();
        };
        if (user == 0 || ::geteuid() != 0)
            return once();
        // Permissions bind only a user without root's override: run it as one.
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            const std::string r = ::setgid(user) == 0 && ::setuid(user) == 0 ? once() : "setuid failed";
            (void)!::write(fds[1], r.data(), r.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        std::string r;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            r.append(buf, static_cast<std::size_t>(n));
        ::close(fds[0]);
        ::waitpid(child, nullptr, 0);
        return r;
    }
    // The link folder's links: each comN and what it points to.
    std::string folder() const
    {
        std::set<std::string> entries;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(links, ec))
            if (fs::is_symlink(e.symlink_status()))
                entries.insert(e.path().filename().string() + ">" + fs::read_symlink(e.path(), ec).string() + ";");
        return std::accumulate(entries.begin(), entries.end(), std::string());
    }

    QTemporaryDir tmp;
    fs::path root{tmp.path().toStdString()}, links{root / "ports"}, byId{root / "by-id"}, dev{root / "dev"};
    Pty pty;
    std::vector<SerialDevice> devices;
};

std::string listing(const std::string& com2)
{
    std::string s = "Serial devices present:\n  $PTY  FT232R USB UART  FTDI  A12\nPort numbers (links in $LINKS):\n"
                    "  COM1   on-board port $ROOT/dev/ttyS0\n  COM2   " + com2 + "\n";
    for (int port = 3; port <= 16; ++port)
        s += "  COM" + std::to_string(port) + (port < 10 ? "   " : "  ") + "no device\n";
    return s;
}
} // namespace

// Each row runs after the ones before it, on the same folder.
TEST_F(PortsTool, ArgumentsGiveExactOutputExitCodeAndFolder)
{
    devices = {{pty.name(), "", "FT232R USB UART", "FTDI", "A12"}};
    const std::string usage = "usage: cm_bv_hp_ports [link N DEVICE | unlink N]\n";
    // result: code|stdout|stderr
    const struct { std::vector<std::string> args; std::string result, folder; } rows[] = {
        {{"link", "2", "$PTY"}, "0|COM2 now reaches $PTY\n|", "com2>$PTY;"},
        {{}, "0|" + listing("link to $PTY: FT232R USB UART, maker FTDI, serial number A12") + "|", "com2>$PTY;"},
        // Regression: a link to a link of the folder made a loop; what the path
        // finally reaches is stored.
        {{"link", "COM3", "$LINKS/com2"}, "0|COM3 now reaches $PTY\n|", "com2>$PTY;com3>$PTY;"},
        {{"link", "2", "$LINKS/com2"}, "0|COM2 now reaches $PTY\n|", "com2>$PTY;com3>$PTY;"},
        {{"link", "1", "$LINKS/com1"}, "1||$LINKS/com1 does not exist\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "1", "$LINKS/data"}, "1||$LINKS/data leads into the port folder $LINKS; give the serial device itself\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "4", "/dev/null"}, "1||/dev/null is not a serial device (/dev/null is not a terminal device)\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "4", "$ROOT/plain"}, "1||$ROOT/plain is not a serial device ($ROOT/plain is not a terminal device)\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "4", "/dev/tty"}, "1||/dev/tty is not a serial device (/dev/tty is a terminal of the system, not a serial line)\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "4", ""}, "2||DEVICE is empty: give the path of a serial device, for example /dev/ttyUSB0\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "\n\x01", "$PTY"}, "2||\"\\n\\x01\" is not a port number from 1 to 16\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "4", "$PTY \x7F\n"}, "1||$PTY \\x7F\\n does not exist\n", "com2>$PTY;com3>$PTY;"},
        {{"link", "17", "$PTY"}, "2||\"17\" is not a port number from 1 to 16\n", "com2>$PTY;com3>$PTY;"},
        {{"unlink", "3"}, "0|COM3's link was removed\n|", "com2>$PTY;"},
        {{"unlink", "16"}, "0|COM16 has no link\n|", "com2>$PTY;"},
        {{"unlink", "1003"}, "2||\"1003\" is not a port number from 1 to 16\n", "com2>$PTY;"},
        {{"unlink", ""}, "2||\"\" is not a port number from 1 to 16\n", "com2>$PTY;"},
        {{"frob"}, "2||" + usage, "com2>$PTY;"},
        {{"unlink", "1", "2"}, "2||" + usage, "com2>$PTY;"},
        {{"--version"}, "0|cm_bv_hp_ports " CMBVHP_VERSION "\n|", "com2>$PTY;"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(run(row.args), expand(row.result)) << (row.args.empty() ? "list" : row.args[0] + " " + row.args[1]);
        EXPECT_EQ(folder(), expand(row.folder));
    }
    for (const char* help : {"--help", "-h"})
        EXPECT_TRUE(run({help}).starts_with("0|Usage: cm_bv_hp_ports [link N DEVICE | unlink N]\n")) << help;
    // A device with a stable name is stored by it.
    fs::create_symlink(pty.name(), byId / "usb-FTDI_FT232R_A12-if00-port0");
    EXPECT_EQ(run({"link", "5", "$PTY"}).append(std::to_string(run({}).find(expand("  COM5   link to $ROOT/by-id/usb-FTDI_FT232R_A12-if00-port0 ($PTY): FT232R")) != std::string::npos)), expand("0|COM5 now reaches $ROOT/by-id/usb-FTDI_FT232R_A12-if00-port0\n|1")) << "listed with the device it reaches";
    // By number: /dev/tty, /dev/console, /dev/ptmx, /dev/tty1, /dev/tty63; /dev/ttyS0, /dev/ttyUSB0.
    std::string lines;
    for (const auto& [devMajor, devMinor] : {std::pair{5u, 0u}, {5u, 1u}, {5u, 2u}, {4u, 1u}, {4u, 63u}, {4u, 64u}, {188u, 0u}})
        lines += isSerialLine(devMajor, devMinor) ? '1' : '0';
    EXPECT_EQ(lines, "0000011");
    // A terminal by number: without sysfs the majors of ttyS, ttyACM, ttyUSB and
    // ttyAMA, and the pseudo-terminals'; with it, its tty class (/dev/tty, not /dev/null).
    for (const unsigned devMajor : {3u, 4u, 5u, 135u, 136u, 143u, 144u, 165u, 166u, 167u, 187u, 188u, 189u, 203u, 204u, 205u})
        lines += isTerminal(makedev(devMajor, 0), root / "no-sysfs") ? '1' : '0';
    EXPECT_EQ(lines + (isTerminal(makedev(5, 0)) ? '1' : '0') + (isTerminal(makedev(1, 3)) ? '1' : '0'), "0000011" "0100110010010010" "10");
}

// Regression: a folder that could not be searched read as "has no link"; a
// file named as the tool's temporary link was deleted.
TEST_F(PortsTool, PermissionDeniedReadsAsSuchAndOnlyItsOwnFilesAreRemoved)
{
    const fs::path stranger = links / ("com6.new" + std::to_string(::getpid()));
    std::ofstream(stranger).put('x');
    ASSERT_TRUE(run({"link", "6", "$PTY"}).starts_with("0|"));
    EXPECT_TRUE(fs::exists(stranger)) << "a file the tool did not make stays";
    fs::permissions(links, fs::perms(0666)); // read and written, not searched
    const uid_t nobody = 65534;
    EXPECT_EQ(run({"unlink", "6"}, nobody), expand("1||cannot read $LINKS/com6: Permission denied\n"));
    EXPECT_EQ(run({"link", "6", "$PTY"}, nobody), expand("1||cannot read $LINKS/com6: Permission denied\n"));
    EXPECT_NE(run({}, nobody).find(expand("  COM6   the port folder $LINKS cannot be read: Permission denied\n")), std::string::npos);
    fs::permissions(links, fs::perms::owner_all);
    EXPECT_EQ(folder(), "com6>" + pty.name() + ";");
    std::ofstream(links / "com7").put('x');
    EXPECT_EQ(run({"unlink", "7"}) + std::to_string(fs::file_size(links / "com7")) + std::to_string(run({}).find(expand("  COM7   device $LINKS/com7\n")) != std::string::npos), expand("1||$LINKS/com7 is not a link; it was left alone\n11"));
    links = root / "plain" / "ports"; // a folder that cannot be made
    EXPECT_EQ(run({"link", "7", "$PTY"}), expand("1||cannot write the link folder $LINKS: Not a directory\n"));
}

TEST_F(PortsTool, ThePortNumberRuleAndWhatANumberWithoutADeviceTells)
{
    const PortNames names(links, dev);
    devices = {{pty.name(), "/dev/serial/by-id/usb-X-if00", "", "", ""}, {(dev / "ttyS0").string(), "", "", "", ""}};
    EXPECT_EQ(names.noDeviceReason(3, devices),
              "COM3 reaches no device. Make the link " + (links / "com3").string() +
                  " to the adapter: cm_bv_hp_ports link 3 DEVICE. Serial devices present: /dev/serial/by-id/usb-X-if00, " +
                  (dev / "ttyS0").string() + ".");
    EXPECT_EQ(names.noDeviceReason(0, devices) + names.noDeviceReason(17, devices) + names.noDeviceReason(16, devices).substr(0, 23) + names.noDeviceReason(1, devices).substr(0, 22),
              "no port number is selected.no port number is selected.COM16 reaches no deviceCOM1 reaches no device");
    fs::create_symlink("/dev/cm-bv-hp-unplugged", links / "com5");
    EXPECT_EQ(names.noDeviceReason(5, {}).substr(0, 78), "COM5 reaches no device (link to /dev/cm-bv-hp-unplugged, which is not present)");
    // A link comes before the on-board port; a missing device is never opened.
    for (const char* link : {"com1", "com16"})
        fs::create_symlink(pty.name(), links / link);
    std::ofstream(dev / "ttyS2").put('x');
    EXPECT_EQ(names.locate(1) + " " + names.locate(3) + " " + names.locate(16), (links / "com1").string() + " " + (dev / "ttyS2").string() + " " + (links / "com16").string());
    for (const char* beyond : {"ttyS-1", "ttyS16"}) // what numbers 0 and 17 would reach, were they ports
        std::ofstream(dev / beyond).put('x');
    for (int port : {0, 2, 5, 17})
        EXPECT_THROW(names.locate(port), CommError) << port;

    // The folder follows the XDG rule: a relative value is ignored, and with
    // no absolute home there is no folder, which is said.
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const struct { const char* xdg; const char* home; std::string folder; } envs[] = {
        {"/tmp/cfg", "/root", "/tmp/cfg/cm_bv_hp/ports"}, {"cfg", "/home/t", "/home/t/.config/cm_bv_hp/ports"},
        {"", "/home/t", "/home/t/.config/cm_bv_hp/ports"}, {"cfg", "home", ""}, {nullptr, nullptr, ""}};
    for (const auto& e : envs) {
        SCOPED_TRACE(std::string("XDG_CONFIG_HOME ") + (e.xdg ? e.xdg : "unset") + ", HOME " + (e.home ? e.home : "unset"));
        e.xdg ? setenv("XDG_CONFIG_HOME", e.xdg, 1) : unsetenv("XDG_CONFIG_HOME");
        e.home ? setenv("HOME", e.home, 1) : unsetenv("HOME");
        const BaseFolder f = PortNames::defaultLinkFolder();
        EXPECT_EQ(f.path.string() + "|" + f.problem,
                  e.folder + "|" + (e.folder.empty() ? "neither XDG_CONFIG_HOME nor HOME is set to an absolute folder" : ""));
    }
    const PortNames none(PortNames::defaultLinkFolder(), dev);
    EXPECT_EQ(none.noDeviceReason(4, {}), "COM4 reaches no device. There is no port folder for links: neither XDG_CONFIG_HOME "
                                          "nor HOME is set to an absolute folder. No serial devices are present.");
    std::ostringstream o, e;
    EXPECT_EQ(runPortsTool(std::vector<std::string>{"link", "4", pty.name()}, {none, byId, [] { return std::vector<SerialDevice>{}; }}, o, e), 1);
    EXPECT_EQ(e.str(), "there is no port folder for links: neither XDG_CONFIG_HOME nor HOME is set to an absolute folder\n");
    setenv("HOME", savedHome.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
}
