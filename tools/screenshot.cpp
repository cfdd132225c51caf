// Renders the console window as the program shows it after start-up, opened
// on a port, and saves it as a PNG: the README's picture of the window. With
// --viewer, the session viewer on a session file at its second bad reply: the
// README's picture of the viewer.
#include "window/ConsoleApp.h"
#include "window/frmBody.h"
#include "link/QtSerialBackend.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPixmap>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <string_view>

namespace {
constexpr std::chrono::milliseconds kLookEvery{50};   // whether the viewer has read its file
constexpr std::chrono::seconds kLongestReading{50}; // a file refused part-way is read no further
} // namespace

int main(int argc, char** argv)
{
    const bool viewer = argc > 1 && std::string_view(argv[1]) == "--viewer";
    if (viewer ? argc != 4 : argc < 2 || argc > 3) { // told before any display is needed
        std::fprintf(stderr, "usage: cm_bv_hp_screenshot OUT.png [milliseconds to run]\n"
                             "       cm_bv_hp_screenshot --viewer SESSION OUT.png\n");
        return 2;
    }
    cmbvhp::prepareEnvironment();
    QApplication app(argc, argv);
    cmbvhp::prepareApplication(app);
    if (viewer) {
        cmbvhp::ViewerWindow w;
        w.show();
        if (!w.open(QString::fromLocal8Bit(argv[2])))
            return 1;
        QTimer read; // until the whole file is read
        QObject::connect(&read, &QTimer::timeout, [&] {
            if (!w.indexed())
                return;
            w.findChild<QComboBox*>(QStringLiteral("markKind"))->setCurrentIndex(1 + static_cast<int>(cmbvhp::SessionIndex::Mark::Bad));
            read.stop();
            w.nextMark(1);
            w.nextMark(1);
            app.exit(w.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1);
        });
        read.start(kLookEvery);
        QTimer::singleShot(kLongestReading, [&] { app.exit(1); });
        return app.exec();
    }
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
