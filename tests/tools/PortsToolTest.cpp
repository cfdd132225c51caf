// cm_bv_hp_ports and the port-number rule, on pseudo-terminals and a temporary
// link folder.
#include "PortsTool.h"
#include "link/SerialBackend.h"
#include "Pty.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace cmbvhp;
using cmbvhp::sim::Pty;
namespace fs = std::filesystem;

namespace {
struct PortsTool : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid() && pty.ok());
        fs::create_directories(byId);
        fs::create_directories(dev);
        std::ofstream(dev / "ttyS0").put('x');
    }
    // Runs the command; "out" and "err" hold what it printed.
    int run(std::vector<std::string> args, const fs::path& folder = {})
    {
        std::ostringstream o, e;
        const int code = runPortsTool(args, {PortNames(folder.empty() ? links : folder, dev), byId, [this] { return devices; }}, o, e);
        out = o.str();
        err = e.str();
        return code;
    }
    // The link folder as it stands: each comN and what it points to.
    std::string folder() const
    {
        std::string s;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(links, ec))
            s += e.path().filename().string() + ">" + fs::read_symlink(e.path(), ec).string() + ";";
        return s;
    }

    QTemporaryDir tmp;
    fs::path root{tmp.path().toStdString()}, links{root / "ports"}, byId{root / "by-id"}, dev{root / "dev"};
    Pty pty;
    std::vector<SerialDevice> devices;
    std::string out, err;
};
} // namespace

TEST_F(PortsTool, LinksUnlinksAndListsWhatEachNumberReaches)
{
    devices = {{(dev / "ttyS0").string(), "", "16550A UART", "", ""}, {pty.name(), "", "FT232R USB UART", "FTDI", "A12"}};
    ASSERT_EQ(run({"link", "2", pty.name()}), 0) << err;
    EXPECT_EQ(out, "COM2 now reaches " + pty.name() + "\n");
    ASSERT_EQ(run({}), 0);
    for (const std::string& line : {"  " + pty.name() + "  FT232R USB UART  FTDI  A12\n", "  COM1   on-board port " + (dev / "ttyS0").string() + ": 16550A UART\n",
                                    "  COM2   link to " + pty.name() + ": FT232R USB UART, maker FTDI, serial number A12\n", std::string("  COM16  no device\n")})
        EXPECT_NE(out.find(line), std::string::npos) << line << " is not in\n" << out;
    // A device with a stable name is stored by it.
    fs::create_symlink(pty.name(), byId / "usb-FTDI_FT232R_A12-if00-port0");
    ASSERT_EQ(run({"link", "COM2", pty.name()}), 0) << err;
    EXPECT_EQ(folder(), "com2>" + (byId / "usb-FTDI_FT232R_A12-if00-port0").string() + ";");
    ASSERT_EQ(run({"unlink", "2"}), 0);
    EXPECT_EQ(folder(), "");
    EXPECT_EQ(std::to_string(run({"unlink", "2"})) + out, "0COM2 has no link\n");
}

TEST_F(PortsTool, BadInputIsOneLineAndChangesNothing)
{
    ASSERT_EQ(run({"link", "4", pty.name()}), 0);
    const std::string before = folder();
    const fs::path file = root / "plain";
    std::ofstream(file).put('x');
    const std::vector<std::vector<std::string>> cases = {
        {"link", "0", pty.name()}, {"link", "17", pty.name()}, {"link", "4x", pty.name()}, {"link", "4", "/nonexistent/tty"},
        {"link", "4", file.string()}, {"link", "9", pty.name()}, {"unlink", "9"}, {"frob"}, {"link", "4"}, {"unlink", "1", "2"}};
    for (const auto& args : cases) {
        fs::create_directories(links / "com9"); // not a link
        EXPECT_NE(run(args), 0) << args[0];
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n') + out.size(), 1u) << err;
        fs::remove(links / "com9");
        EXPECT_EQ(folder(), before);
    }
    // A link folder that cannot be written: its parent is a file.
    EXPECT_EQ(run({"link", "4", pty.name()}, file / "ports"), 1);
    EXPECT_EQ(err.rfind("cannot write the link folder ", 0), 0u) << err;
}

TEST_F(PortsTool, ThePortNumberRuleAndWhatANumberWithoutADeviceTells)
{
    const PortNames names(links, dev);
    devices = {{pty.name(), "/dev/serial/by-id/usb-X-if00", "", "", ""}, {(dev / "ttyS0").string(), "", "", "", ""}};
    EXPECT_EQ(names.noDeviceReason(3, devices),
              "COM3 reaches no device. Make the link " + (links / "com3").string() +
                  " to the adapter: cm_bv_hp_ports link 3 DEVICE. Serial devices present: /dev/serial/by-id/usb-X-if00, " +
                  (dev / "ttyS0").string() + ".");
    fs::create_directories(links);
    fs::create_symlink("/dev/cm-bv-hp-unplugged", links / "com5");
    EXPECT_EQ(names.noDeviceReason(5, {}).substr(0, 78), "COM5 reaches no device (link to /dev/cm-bv-hp-unplugged, which is not present)");
    // A link comes before the on-board port; a missing device is never opened.
    fs::create_symlink(pty.name(), links / "com1");
    std::ofstream(dev / "ttyS2").put('x');
    EXPECT_EQ(names.locate(1) + " " + names.locate(3), (links / "com1").string() + " " + (dev / "ttyS2").string());
    for (int port : {0, 2, 5, 17})
        EXPECT_THROW(names.locate(port), CommError) << port;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(PortNames::defaultLinkFolder(), fs::path("/tmp/cfg/cm_bv_hp/ports"));
    old ? setenv("XDG_CONFIG_HOME", saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}
