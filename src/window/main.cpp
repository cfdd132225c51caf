#include "ConsoleApp.h"

#include <QApplication>

int main(int, char** argv)
{
    // The console takes no command line: Qt sees only the program's name, so
    // options such as -reverse or -platform cannot change the window. The
    // platform is chosen through the environment (QT_QPA_PLATFORM) as usual.
    int qtArgc = 1;
    cmbvhp::prepareEnvironment();
    QApplication app(qtArgc, argv);
    cmbvhp::prepareApplication(app);
    return cmbvhp::runConsole(app, cmbvhp::PortNames(cmbvhp::PortNames::defaultLinkFolder()));
}
