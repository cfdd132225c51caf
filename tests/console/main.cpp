// The Qt test programs run headless on the offscreen platform with the
// console's own style and fonts.
#include "console/ConsoleApp.h"

#include <QApplication>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC"); // the logs' times read the same on every machine
    tzset();
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
