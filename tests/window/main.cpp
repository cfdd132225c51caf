// The Qt test programs run headless on the offscreen platform (unless the
// environment names another) with the console's own style and fonts.
// "--child-console LINKS" runs instead the console as the program starts it,
// on that link folder, with the port COM1 opened: for the tests that end a
// console from outside.
#include "window/ConsoleApp.h"

#include <QApplication>
#include <QTemporaryDir>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC"); // the logs' times read the same on every machine
    tzset();
    cmbvhp::prepareEnvironment();
    if (argc == 3 && std::string_view(argv[1]) == "--child-console") {
        QApplication app(argc, argv);
        cmbvhp::prepareApplication(app);
        return cmbvhp::runConsole(app, cmbvhp::PortNames(std::filesystem::path(argv[2])), [](cmbvhp::frmBody& w) { w.cmdPortOpen_Click(); });
    }
    // Session files go to a folder of the test's own, never the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
