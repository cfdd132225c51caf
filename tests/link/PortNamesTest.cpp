#include "link/PortNames.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

using namespace cmbvhp;
namespace fs = std::filesystem;

TEST(PortNames, LinkFolderFirstThenOnboardPorts)
{
    QTemporaryDir tmp;
    const fs::path links = fs::path(tmp.path().toStdString()) / "ports";
    const fs::path dev = fs::path(tmp.path().toStdString()) / "dev";
    fs::create_directories(links);
    fs::create_directories(dev);
    std::ofstream(dev / "ttyS0").put('x');
    std::ofstream(dev / "ttyS2").put('x');
    std::ofstream(dev / "ttyUSB0").put('x');
    fs::create_symlink(dev / "ttyUSB0", links / "com3");
    fs::create_symlink(dev / "ttyACM7", links / "com4"); // adapter unplugged

    const PortNames names(links, dev);
    EXPECT_EQ(names.deviceFor(1), (dev / "ttyS0").string());
    EXPECT_EQ(names.deviceFor(3), (links / "com3").string()) << "the link wins over ttyS2";
    EXPECT_EQ(names.deviceFor(4), (links / "com4").string()) << "a dangling link still names the port";
    EXPECT_EQ(names.deviceFor(2), std::nullopt);
    EXPECT_EQ(names.deviceFor(0), std::nullopt);
    EXPECT_EQ(names.deviceFor(17), std::nullopt);
}

TEST(PortNames, DefaultFolderFollowsXdgConfigHome)
{
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(PortNames::defaultLinkFolder(), fs::path("/tmp/cfg/cm_bv_hp/ports"));
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
