#include "ViewerCommands.h"
#include "ViewerWindow.h"
#include "common/XdgFolders.h"
#include "window/ConsoleApp.h"

#include <QApplication>
#include <QFileDialog>

#include <cstring>
#include <iostream>
#include <vector>

namespace {
constexpr const char* kUsage =
    "Usage: cm_bv_hp_view [FILE]\n"
    "       cm_bv_hp_view --summary FILE...\n"
    "       cm_bv_hp_view --at TIME FILE\n"
    "Reads back a session file of the cm_bv_hp console with the protocol's meaning.\n"
    "\n"
    "  FILE               open the session in a window: the Data boxes at any moment,\n"
    "                     the logs around it, each device's line health, and a time\n"
    "                     line of the whole session with its DROP, bad replies, silent\n"
    "                     frames, NOTE and OP marked; without FILE a file dialog opens\n"
    "                     in the sessions folder\n"
    "  --summary FILE...  one row a session, columns separated by tabs: the opening,\n"
    "                     how long it lasted, the port, the devices, each device's\n"
    "                     frames/answered/bad/silent, the DROP and NOTE lines and the\n"
    "                     reason it ended; 1 when a file cannot be read\n"
    "  --at TIME FILE     the Data boxes as they stood at TIME, one a line: the box's\n"
    "                     control name and its text; TIME is HH:MM:SS.mmm (its first\n"
    "                     occurrence after the opening) or YYYY-MM-DD HH:MM:SS.mmm\n"
    "  --help, --version\n";
} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::cout << "cm_bv_hp_view " CMBVHP_VERSION "\n";
        return 0;
    }
    if (!args.empty() && args[0] == "--summary") {
        if (args.size() < 2) {
            std::cerr << "cm_bv_hp_view: --summary needs at least one FILE (see --help)\n";
            return 2;
        }
        return cmbvhp::printSummary(std::span(args).subspan(1), std::cout);
    }
    if (!args.empty() && args[0] == "--at") {
        if (args.size() != 3) {
            std::cerr << "cm_bv_hp_view: --at needs a TIME and a FILE (see --help)\n";
            return 2;
        }
        return cmbvhp::printBoxesAt(args[1], args[2], std::cout, std::cerr);
    }
    if (args.size() > 1 || (!args.empty() && args[0].starts_with("-"))) {
        std::cerr << "cm_bv_hp_view: " << (args.size() > 1 ? "one FILE at a time" : "unknown option " + args[0]) << " (see --help)\n";
        return 2;
    }
    // Qt's own options are not taken: the window is only what FILE gives.
    int qtArgc = 1;
    cmbvhp::prepareEnvironment();
    QApplication app(qtArgc, argv);
    cmbvhp::prepareApplication(app);
    app.setApplicationName(QStringLiteral("cm_bv_hp_view"));
    QString file = args.empty() ? QString() : QString::fromLocal8Bit(args[0].c_str());
    if (file.isEmpty()) {
        cmbvhp::BaseFolder state = cmbvhp::xdgStateHome();
        const QString folder = state.path.empty() ? QString() : QString::fromStdString((state.path / "cm_bv_hp" / "sessions").string());
        file = QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open a session"), folder, QStringLiteral("Sessions (*.log);;All files (*)"));
        if (file.isEmpty())
            return 0;
    }
    cmbvhp::ViewerWindow window;
    window.show();
    window.open(file);
    return QApplication::exec();
}
