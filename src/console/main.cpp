#include "ConsoleApp.h"
#include "frmBody.h"
#include "link/PortNames.h"
#include "link/QtSerialBackend.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    cmbvhp::frmBody window(std::make_unique<cmbvhp::QtSerialBackend>(), cmbvhp::hostPorts());
    window.Form_Load();
    window.show();
    return app.exec();
}
