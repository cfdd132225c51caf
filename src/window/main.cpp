#include "ConsoleApp.h"
#include "frmBody.h"
#include "link/QtSerialBackend.h"

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
    cmbvhp::widenDisplaySocket(app);
    cmbvhp::frmBody window(std::make_unique<cmbvhp::QtSerialBackend>(), cmbvhp::hostPorts(), cmbvhp::hostPortDescriptions());
    window.Form_Load();
    cmbvhp::finishOnSignals(window);
    cmbvhp::finishAtExit(window);
    window.show();
    return app.exec();
}
