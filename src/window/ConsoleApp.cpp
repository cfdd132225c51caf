#include "ConsoleApp.h"

#include "FormLayout.h"
#include "common/StandardDescriptors.h"
#include "link/QtSerialBackend.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QStyleFactory>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace cmbvhp {

namespace {
// What prepareEnvironment set, taken back once the application is made.
std::vector<const char*> g_ownSettings;
} // namespace

void prepareEnvironment()
{
    holdStandardDescriptors(); // Qt's warnings never go to a serial port or a session file
    // Qt's own event loop, not GLib's: the port's notification is switched off
    // and on as the line rests, and GLib wakes its loop once more each time.
    // Paints go to the X server inside the request, not through shared memory,
    // which costs a round trip to the server at every paint; what changes at a
    // beat is a few rows.
    for (const char* name : {"QT_NO_GLIB", "QT_XCB_NO_MITSHM"})
        if (!qEnvironmentVariableIsSet(name)) {
            qputenv(name, "1");
            g_ownSettings.push_back(name);
        }
}

void prepareApplication(QApplication& app)
{
    // Read by now; what the console starts (the file manager of "Open Session
    // Folder") gets the environment as it was.
    for (const char* name : std::exchange(g_ownSettings, {}))
        qunsetenv(name);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(consoleFont(kWindowFontPx));
    app.setApplicationName(QStringLiteral("cm_bv_hp"));
}

// libxcb waits for its socket to be writable before each write, and a socket
// counts as writable only while less than a quarter of its buffer is queued.
// A busy log sends the X server a few hundred kilobytes at a beat: with the
// default buffer (about 200 kB) the window's thread slept in nearly every
// flush until the server had read most of it. The host caps what is asked
// for (net.core.wmem_max).
void widenDisplaySocket(QApplication& app)
{
    constexpr int kBytes = 2 << 20;
    // The interface is there on every platform; only on X is there a connection.
    auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    if (xcb_connection_t* connection = x11 ? x11->connection() : nullptr)
        ::setsockopt(xcb_get_file_descriptor(connection), SOL_SOCKET, SO_SNDBUF, &kBytes, sizeof kBytes);
}

namespace {
int g_signalPipe[2] = {-1, -1};
void onSignal(int signal)
{
    // Never blocks (a full socket drops the signal: one is enough to finish),
    // and leaves errno as the interrupted code had it.
    const int saved = errno;
    const char s = static_cast<char>(signal);
    (void)!::write(g_signalPipe[1], &s, 1);
    errno = saved;
}

QPointer<frmBody> g_endingWindow;
} // namespace

// The handler only writes the signal's number into a socket; the window's
// thread reads it and finishes there.
void finishOnSignals(frmBody& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char s = 0;
        if (::read(g_signalPipe[0], &s, 1) != 1)
            return;
        const char* name = sigabbrev_np(s);
        window.finish(name ? QStringLiteral("Finish, on SIG%1").arg(QLatin1String(name)) : QStringLiteral("Finish, on a signal"));
    });
    struct sigaction sa{};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &sa, nullptr);
}

// Qt ends the program with exit() from inside its loop when the connection
// to the display breaks (a logout does the same): the window is never closed
// and main never returns. The handler runs on the window's thread, inside the
// loop, while the window still stands.
void finishAtExit(frmBody& window)
{
    static bool registered = false;
    g_endingWindow = &window;
    if (std::exchange(registered, true))
        return;
    std::atexit([] {
        if (!g_endingWindow)
            return; // closed as usual
        auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        const bool lost = connection && xcb_connection_has_error(connection) != 0;
        g_endingWindow->end(lost ? QStringLiteral("Finish, on the loss of the display") : QStringLiteral("Finish, as the program ends"));
        g_endingWindow->recorder().waitWritten(SessionWriter::kExitPatience);
    });
}

PortLocator hostPorts(const PortNames& names)
{
    return [names](int port) { return names.locate(port); };
}

PortDescriber hostPortDescriptions(const PortNames& names)
{
    return [names] {
        const auto devices = serialDevicesPresent();
        QStringList out;
        for (int port = 1; port <= PortNames::kPorts; ++port)
            out << QString::fromStdString(names.reach(port, devices));
        return out;
    };
}

int runConsole(QApplication& app, const PortNames& names, const std::function<void(frmBody&)>& started)
{
    widenDisplaySocket(app);
    frmBody window(std::make_unique<QtSerialBackend>(), hostPorts(names), hostPortDescriptions(names));
    window.Form_Load();
    finishOnSignals(window);
    finishAtExit(window);
    window.show();
    if (started)
        started(window);
    return QApplication::exec();
}

} // namespace cmbvhp
