// The Qt test programs run headless on the offscreen platform with the
// console's own style and fonts.
#include "console/ConsoleApp.h"

#include <QApplication>
#include <QTemporaryDir>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC"); // the logs' times read the same on every machine
    tzset();
    // Session files go to a folder of the test's own, never the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
