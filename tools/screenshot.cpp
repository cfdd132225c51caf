// Renders the console window as the program shows it after start-up, opened
// on a port, and saves it as a PNG: the README's picture of the window.
#include "window/ConsoleApp.h"
#include "window/frmBody.h"
#include "link/QtSerialBackend.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) { // told before any display is needed
        std::fprintf(stderr, "usage: cm_bv_hp_screenshot OUT.png [milliseconds to run]\n");
        return 2;
    }
    cmbvhp::prepareEnvironment();
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    cmbvhp::frmBody window(std::make_unique<cmbvhp::QtSerialBackend>(), cmbvhp::hostPorts());
    window.Form_Load();
    window.show();
    const int runFor = argc > 2 ? std::atoi(argv[2]) : 0;
    if (runFor > 0)
        window.cmdPortOpen_Click();
    QTimer::singleShot(runFor + 300, [&] {
        const bool saved = window.grab().save(QString::fromLocal8Bit(argv[1]));
        app.exit(saved ? 0 : 1);
    });
    return app.exec();
}
