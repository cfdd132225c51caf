// Soak run: the console, its logs already holding some hours of traffic (a
// day unless told), opened on the simulator through a pseudo-terminal for some
// minutes of live polling. Reports the resident memory at the start and end,
// the tick period's median and 99th percentile, and whether every byte the
// simulator sent is in the receive log.
// Usage: cm_bv_hp_soak SIMULATOR [minutes] [hours of logs before]
#include "common/TextForms.h"
#include "window/ConsoleApp.h"
#include "window/LogView.h"
#include "window/frmBody.h"
#include "link/PortNames.h"
#include "link/QtSerialBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <vector>

using namespace cmbvhp;

namespace {

double residentMB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4 / 1024;
}

// Hours of 100 ms ticks as the logs hold them: one frame line per tick, and
// the replies (mostly acknowledgements, a record reply now and then).
void prefill(frmBody& w, double hours)
{
    for (long tick = 0; tick < static_cast<long>(hours * 36'000); ++tick) {
        const bool bv = tick % 2 == 0;
        w.transmitLog().append(bv ? u"5A A5 \r\n" : u"62 9D \r\n");
        if (tick % 50 == 0)
            w.receiveLog().append(u"33 13 00 08 01 01 01 00 00 0A 00 00 00 00 00 0B 01 00 00 00 00 1A \r\n");
        else
            w.receiveLog().append(u"11 \r\n");
    }
    w.transmitLog().sync();
    w.receiveLog().sync();
}

// A click as the mouse makes it, through the application's event filters.
void clickAsOperator(QAbstractButton* button)
{
    const QPointF at = QRectF(button->rect()).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, button->mapToGlobal(at), Qt::LeftButton, type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &event);
    }
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) { // told before any display is needed
        std::fprintf(stderr, "usage: cm_bv_hp_soak SIMULATOR [minutes] [hours of logs before]\n");
        return 2;
    }
    prepareEnvironment();
    QApplication app(argc, argv);
    prepareApplication(app);
    // Qt took the host's locale, where "0.5" may read as 0: the arguments and
    // the report use the point whatever the host, as the console's numbers do.
    std::setlocale(LC_NUMERIC, "C");
    const double minutes = argc > 2 ? std::atof(argv[2]) : 2;
    const double hours = argc > 3 ? std::atof(argv[3]) : 24;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("com1"));
    const QString record = dir.filePath(QStringLiteral("sent.bin"));
    QProcess sim;
    sim.start(QString::fromLocal8Bit(argv[1]), {"--link", link, "--record", record, "--quiet", "--bill-every", "5", "--coin-every", "2"});
    if (!sim.waitForStarted(5000))
        return 1;
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(link).isSymLink() && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    const PortNames names(dir.path().toStdString());
    frmBody window(std::make_unique<QtSerialBackend>(), hostPorts(names));
    window.Form_Load();
    window.show();
    prefill(window, hours);
    const qsizetype txStart = window.transmitLog().toPlainText().size();
    const qsizetype rxStart = window.receiveLog().toPlainText().size();
    const double residentStart = residentMB();

    std::vector<double> periods; // ms, for ticks scheduled 100 ms after the one before
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    auto scheduled = kPollInterval;
    QObject::connect(window.findChild<QTimer*>(QStringLiteral("Timer1")), &QTimer::timeout, &app, [&] {
                         const qint64 now = clock.nsecsElapsed();
                         if (last >= 0 && scheduled == kPollInterval)
                             periods.push_back(static_cast<double>(now - last) / 1e6);
                         last = now;
                         scheduled = window.timer1().interval();
                     });
    window.findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"))->click();
    QTimer::singleShot(static_cast<int>(minutes * 60'000), &app, &QCoreApplication::quit);
    app.exec();
    // No frame goes out any more: the last one leaves the port's buffer and
    // its reply comes. The operator clicks "Port Close" once the simulator
    // has gone quiet: every byte it sent must be in the receive log.
    window.timer1().setEnabled(false);
    for (qint64 size = -1; size != QFileInfo(record).size();) {
        size = QFileInfo(record).size();
        QElapsedTimer quiet;
        quiet.start();
        while (quiet.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    auto* portButton = window.findChild<QAbstractButton*>(QStringLiteral("cmdPortOpen"));
    clickAsOperator(portButton);
    const bool closed = portButton->text() == QStringLiteral("Port Open"); // else the click never reached it
    sim.terminate();
    sim.waitForFinished(3000);

    // Every byte the simulator sent, in order, as the hexadecimal log shows it.
    QFile f(record);
    f.open(QIODevice::ReadOnly);
    const QByteArray sent = f.readAll();
    QString expected;
    for (char c : sent)
        appendHexPair(expected, static_cast<std::uint8_t>(c));
    QString logged = window.receiveLog().toPlainText().mid(rxStart);
    logged.remove(QStringLiteral("\r\n"));
    const bool complete = logged == expected && closed;
    std::printf("soak: %.2f min live after %.2f hours of logs (%lld characters sent, %lld received)\n", minutes, hours,
                static_cast<long long>(txStart), static_cast<long long>(rxStart));
    std::printf("resident memory: %.1f MB at the start, %.1f MB at the end\n", residentStart, residentMB());
    std::printf("tick period (100 ms ticks, n = %zu): median %.2f ms, 99th percentile %.2f ms, max %.2f ms\n",
                periods.size(), percentile(periods, 0.5), percentile(periods, 0.99), percentile(periods, 1.0));
    std::printf("bytes sent by the simulator: %lld; all in the receive log, in order, before \"Port Close\" closed the port: %s\n",
                static_cast<long long>(sent.size()), complete ? "yes" : "NO");
    return complete ? 0 : 1;
}
