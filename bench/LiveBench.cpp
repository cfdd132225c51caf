// Live traffic at a light cost: the real console window under a display (run
// under xvfb), a pseudo-terminal feeding random bytes into its port, the
// default device choice, hexadecimal view, session files on (and off, beside
// it). The same feed goes into a plain serial terminal (QSerialPort feeding a
// QPlainTextEdit, one append per notification, a frame written every 100 ms)
// so that they are measured side by side. Bytes are delivered as a UART's FIFO
// hands them over (16 bytes or 5 ms, whichever is longer) and as a byte-wise
// USB adapter does (what came, every 2 ms). Reports per rate and delivery: CPU
// share, CPU per received byte, wakeups (voluntary context switches of all the
// process's threads) a second and per delivery, resident memory, tick
// lateness (frame spacing on the wire against the interval set before it) and
// display latency (a byte's arrival to the paint that shows it).
//
//   live_bench run [seconds a trial [rates in B/s...]]   (needs a display)
//   live_bench subject console|norecord|terminal PTY LOG SECONDS   (one measured window)
//   LIVE_BENCH_QT_DEFAULTS=1 live_bench run ...   (the console on Qt's default event loop and display path)
//   live_bench ab SECONDS RATE fifo|bytewise PAIRS OTHER_LIVE_BENCH
//       (the console of this build against another build's, taking turns)
#include "Devices.h"
#include "Pty.h"
#include "window/ConsoleApp.h"
#include "window/LogView.h"
#include "window/frmBody.h"
#include "link/QtSerialBackend.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace cmbvhp;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::seconds kWarmUp{1};

std::int64_t nowNs() { return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count(); }

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Each thread's name and voluntary context switches so far.
std::string threadWakeups()
{
    std::string out;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream comm(task.path() / "comm"), status(task.path() / "status");
        std::string name, key;
        std::getline(comm, name);
        long value = 0;
        while (status >> key && key != "voluntary_ctxt_switches:")
            status.ignore(1 << 12, '\n');
        status >> value;
        std::replace(name.begin(), name.end(), ' ', '_');
        out += " " + name + ":" + std::to_string(value);
    }
    return out;
}

// Voluntary context switches of every thread of the process: its wakeups.
long wakeups()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_nvcsw;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Records every paint of `target` with the bytes it shows.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget* target, std::function<long()> shown) : shown_(std::move(shown)) { target->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            paints.emplace_back(nowNs(), shown_());
        return false;
    }
    std::vector<std::pair<std::int64_t, long>> paints;

private:
    std::function<long()> shown_;
};

// ---- the measured window ----

int subject(const std::string& kind, const std::string& pty, const std::string& logPath, double seconds)
{
    int argc = 1;
    char name[] = "live_bench";
    char* argv[] = {name, nullptr};
    // The console starts as the program does, on its own event loop, display
    // path and display socket, unless the run asks for Qt's defaults to show
    // what they cost; the plain terminal has Qt's defaults.
    const bool own = kind != "terminal" && !std::getenv("LIVE_BENCH_QT_DEFAULTS");
    if (own)
        prepareEnvironment();
    QApplication app(argc, argv);
    prepareApplication(app);
    if (own)
        widenDisplaySocket(app);

    std::unique_ptr<frmBody> console;
    std::unique_ptr<QPlainTextEdit> terminal;
    QSerialPort port;
    QTimer frames;
    long received = 0;
    std::unique_ptr<PaintWatch> watch;
    std::function<long()> bytesIn;
    if (kind == "console" || kind == "norecord") {
        console = std::make_unique<frmBody>(std::make_unique<QtSerialBackend>(), [pty](int) { return pty; });
        console->setSessionRecording(kind == "console");
        console->Form_Load();
        console->show();
        console->cmdPortOpen_Click();
        // In the hexadecimal view each byte is three stored characters.
        LogView& rx = console->receiveLog();
        bytesIn = [&rx] { return static_cast<long>(rx.logText().storedBytes() / 3); };
        watch = std::make_unique<PaintWatch>(rx.viewport(), bytesIn);
    } else {
        terminal = std::make_unique<QPlainTextEdit>();
        terminal->setReadOnly(true);
        terminal->resize(449, 241);
        terminal->show();
        port.setPortName(QString::fromStdString(pty));
        port.setBaudRate(9600);
        port.setParity(QSerialPort::EvenParity);
        if (!port.open(QIODevice::ReadWrite))
            return 1;
        QObject::connect(&port, &QSerialPort::readyRead, [&] {
            const QByteArray data = port.readAll();
            received += data.size();
            terminal->moveCursor(QTextCursor::End);
            terminal->insertPlainText(QString::fromLatin1(data.toHex(' ').toUpper() + ' '));
            terminal->ensureCursorVisible();
        });
        bool bv = true;
        QObject::connect(&frames, &QTimer::timeout, [&] {
            port.write(bv ? QByteArray("\x5A\xA5", 2) : QByteArray("\x62\x9D", 2));
            bv = !bv;
        });
        frames.start(100);
        bytesIn = [&received] { return received; };
        watch = std::make_unique<PaintWatch>(terminal->viewport(), bytesIn);
    }

    double cpuStart = 0;
    long bytesStart = 0;
    long wakeupsStart = 0;
    std::int64_t wallStart = 0;
    QTimer::singleShot(kWarmUp, [&] {
        cpuStart = cpuSeconds();
        bytesStart = bytesIn();
        wakeupsStart = wakeups();
        wallStart = nowNs();
    });
    QTimer::singleShot(kWarmUp + std::chrono::milliseconds(static_cast<long>(seconds * 1000)), [&] {
        const double cpu = cpuSeconds() - cpuStart;
        const double wall = static_cast<double>(nowNs() - wallStart) / 1e9;
        std::ofstream log(logPath);
        log << "window " << wallStart << ' ' << nowNs() << '\n';
        log << "cpu " << cpu << " wall " << wall << " bytes " << (bytesIn() - bytesStart) << " rss " << residentKiB()
            << " wakeups " << (wakeups() - wakeupsStart) << '\n';
        log << "threads" << threadWakeups() << '\n';
        for (const auto& [t, shown] : watch->paints)
            log << "paint " << t << ' ' << shown << '\n';
        app.quit();
    });
    return app.exec();
}

// ---- the orchestrator: feeds the line and reads the frames ----

struct Figures {
    double cpuShare = 0, usPerByte = 0, residentMB = 0, lateMedian = 0, lateP99 = 0, latencyP99 = 0;
    double wakeupsPerSecond = 0, deliveriesPerSecond = 0;
    long bytes = 0;
    std::string threads; // each thread's wakeups over the whole run
};

// How the line hands bytes over.
enum class Delivery { Fifo, ByteWise };

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

Figures trial(const char* self, const std::string& kind, double rate, Delivery delivery, double seconds)
{
    sim::Pty pty;
    if (!pty.ok()) {
        std::perror("openpty");
        std::exit(1);
    }
    const char* name = pty.name().c_str();

    const std::string log = "/tmp/live_bench_" + std::to_string(::getpid()) + "_" + kind + ".log";
    const std::string secondsText = std::to_string(seconds);
    const char* args[] = {self, "subject", kind.c_str(), name, log.c_str(), secondsText.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self, nullptr, nullptr, const_cast<char* const*>(args), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }

    // Bytes in chunks as a UART's FIFO hands them over (16 bytes or 5 ms,
    // whichever is longer), or what came every 2 ms as a byte-wise adapter.
    const double period = delivery == Delivery::ByteWise ? 0.002 : std::max(0.005, 16.0 / rate);
    long deliveries = 0;
    std::mt19937 rng(20261207);
    std::vector<std::pair<std::int64_t, long>> writes; // time, bytes written so far
    std::vector<std::pair<std::int64_t, sim::Bytes>> framesSeen;
    sim::FrameParser parser;
    long written = 0;
    double owed = 0;
    std::int64_t start = 0, next = 0;
    const std::int64_t feedFor = static_cast<std::int64_t>((seconds + 2.0) * 1e9);
    for (;;) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            break;
        const std::int64_t now = nowNs();
        if (start && now >= next && now - start < feedFor) {
            owed += rate * period;
            std::vector<std::uint8_t> chunk(static_cast<std::size_t>(owed));
            owed -= static_cast<double>(chunk.size());
            for (auto& b : chunk)
                b = static_cast<std::uint8_t>(rng());
            if (const std::size_t n = pty.write(chunk); n > 0) {
                written += static_cast<long>(n);
                writes.emplace_back(nowNs(), written);
                ++deliveries;
            }
            next += static_cast<std::int64_t>(period * 1e9);
        }
        pollfd fd{pty.fd(), POLLIN, 0};
        const int wait = start ? static_cast<int>(std::max<std::int64_t>(0, (next - nowNs()) / 1'000'000)) : 10;
        if (::poll(&fd, 1, wait) > 0 && (fd.revents & POLLIN)) {
            std::uint8_t buf[512];
            const std::size_t n = pty.read(buf);
            const std::int64_t at = nowNs();
            for (sim::Bytes& f : parser.feed({buf, n}))
                framesSeen.emplace_back(at, std::move(f));
            if (!start && !framesSeen.empty())
                start = next = at; // the subject's port is open: feed
        }
    }
    pty.close();

    Figures fig;
    std::ifstream in(log);
    std::string word;
    std::int64_t from = 0, to = 0;
    double cpu = 0, wall = 1;
    long rss = 0, woke = 0;
    std::vector<std::pair<std::int64_t, long>> paints;
    while (in >> word) {
        if (word == "window")
            in >> from >> to;
        else if (word == "cpu")
            in >> cpu >> word >> wall >> word >> fig.bytes >> word >> rss >> word >> woke;
        else if (word == "threads")
            std::getline(in, fig.threads);
        else if (word == "paint") {
            std::int64_t at = 0;
            long shown = 0;
            in >> at >> shown;
            paints.emplace_back(at, shown);
        }
    }
    std::remove(log.c_str());
    fig.cpuShare = 100.0 * cpu / wall;
    fig.usPerByte = fig.bytes > 0 ? cpu * 1e6 / static_cast<double>(fig.bytes) : NAN;
    fig.residentMB = static_cast<double>(rss) / 1024.0;
    fig.wakeupsPerSecond = static_cast<double>(woke) / wall;
    const double fed = start ? static_cast<double>(writes.back().first - writes.front().first) / 1e9 : 0;
    fig.deliveriesPerSecond = fed > 0 ? static_cast<double>(deliveries) / fed : 0;

    std::vector<double> late;
    for (std::size_t i = 1; i < framesSeen.size(); ++i) {
        if (framesSeen[i].first < from || framesSeen[i].first > to)
            continue;
        const sim::Bytes& before = framesSeen[i - 1].second;
        const bool all = before.size() == 2 && (before[0] == 0x59 || before[0] == 0x61 || before[0] == 0x71);
        const double intended = all ? 300 : 100;
        late.push_back(static_cast<double>(framesSeen[i].first - framesSeen[i - 1].first) / 1e6 - intended);
    }
    fig.lateMedian = percentile(late, 0.5);
    fig.lateP99 = percentile(late, 0.99);

    std::vector<double> latency;
    std::size_t p = 0;
    for (const auto& [at, total] : writes) {
        if (at < from || at > to)
            continue;
        while (p < paints.size() && (paints[p].first < at || paints[p].second < total))
            ++p;
        if (p == paints.size())
            break;
        latency.push_back(static_cast<double>(paints[p].first - at) / 1e6);
    }
    fig.latencyP99 = percentile(latency, 0.99);
    return fig;
}

// The session files go to a folder of the run's own, removed after it.
struct OwnStateFolder {
    char path[32] = "/tmp/live_bench_state_XXXXXX";
    bool ok = ::mkdtemp(path) != nullptr;
    OwnStateFolder()
    {
        if (ok)
            ::setenv("XDG_STATE_HOME", path, 1);
    }
    ~OwnStateFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

constexpr int kRounds = 3;
const char* const kSubjects[3] = {"console", "norecord", "terminal"};

int run(const char* self, double seconds, std::vector<double> rates)
{
    if (rates.empty())
        rates = {1920.0, 100000.0};
    const OwnStateFolder state;
    if (!state.ok)
        return 1;
    std::printf("live traffic, %d trials of %.0f s each; the console with and without session files beside a plain serial terminal%s\n\n",
                kRounds, seconds, std::getenv("LIVE_BENCH_QT_DEFAULTS") ? " (the console on Qt's default event loop and display path)" : "");
    for (double rate : rates) {
        for (Delivery delivery : {Delivery::Fifo, Delivery::ByteWise}) {
            // The subjects take turns, so that a slow spell of the machine
            // falls on all of them; each shows its median trial by CPU share.
            std::vector<Figures> trials[3];
            for (int round = 0; round < kRounds; ++round)
                for (int k = 0; k < 3; ++k)
                    trials[k].push_back(trial(self, kSubjects[k], rate, delivery, seconds));
            for (auto& t : trials)
                std::sort(t.begin(), t.end(), [](const Figures& a, const Figures& b) { return a.cpuShare < b.cpuShare; });
            const Figures& ours = trials[0][kRounds / 2];
            const Figures& bare = trials[1][kRounds / 2];
            const Figures& plain = trials[2][kRounds / 2];
            std::printf("%.0f B/s, %s      console  no session file   plain terminal\n", rate,
                        delivery == Delivery::Fifo ? "FIFO chunks" : "byte-wise  ");
            auto row = [&](const char* name, const char* unit, double Figures::*f, int decimals) {
                std::printf("  %-26s %9.*f %s %9.*f %s %9.*f %s\n", name, decimals, ours.*f, unit, decimals, bare.*f, unit, decimals,
                            plain.*f, unit);
            };
            row("CPU share of one core", "% ", &Figures::cpuShare, 2);
            std::printf("  %-26s", "  lowest - highest");
            for (const auto& t : trials)
                std::printf(" %5.2f-%.2f %%", t.front().cpuShare, t.back().cpuShare);
            std::printf("\n");
            std::printf("  %-26s %9.0fx    %9.0fx\n", "  plain terminal / ours", plain.cpuShare / ours.cpuShare,
                        plain.cpuShare / bare.cpuShare);
            std::printf("  %-26s %9.1f %%\n", "  session files add", 100.0 * (ours.cpuShare / bare.cpuShare - 1));
            row("CPU per received byte", "us", &Figures::usPerByte, 2);
            row("deliveries a second", "  ", &Figures::deliveriesPerSecond, 0);
            row("wakeups a second", "  ", &Figures::wakeupsPerSecond, 0);
            std::printf("  %-26s %9.2f    %9.2f    %9.2f\n", "wakeups per delivery", ours.wakeupsPerSecond / ours.deliveriesPerSecond,
                        bare.wakeupsPerSecond / bare.deliveriesPerSecond, plain.wakeupsPerSecond / plain.deliveriesPerSecond);
            std::printf("  %-26s %9ld    %9ld    %9ld\n", "bytes received", ours.bytes, bare.bytes, plain.bytes);
            row("resident memory", "MB", &Figures::residentMB, 1);
            std::printf("  %-26s%s\n", "console threads' wakeups", ours.threads.c_str());
            row("tick lateness, median", "ms", &Figures::lateMedian, 2);
            row("tick lateness, 99th pct", "ms", &Figures::lateP99, 2);
            row("display latency, 99th pct", "ms", &Figures::latencyP99, 2);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}

// Two builds of the console on the same line, taking turns, so that a change
// is measured against its base within the same spell of the machine; each
// pair of trials is compared on its own.
int compare(const char* self, const char* other, double seconds, double rate, Delivery delivery, int pairs)
{
    const OwnStateFolder state;
    if (!state.ok)
        return 1;
    std::vector<double> shares[2];
    for (int i = 0; i < pairs; ++i) {
        for (int k = 0; k < 2; ++k) {
            const Figures f = trial(k == 0 ? self : other, "console", rate, delivery, seconds);
            shares[k].push_back(f.cpuShare);
            std::printf("%s %.2f %% (%.0f wakeups/s, %.2f per delivery, display p99 %.1f ms, tick p99 %.1f ms)\n", k == 0 ? "this " : "other",
                        f.cpuShare, f.wakeupsPerSecond, f.wakeupsPerSecond / f.deliveriesPerSecond, f.latencyP99, f.lateP99);
            std::fflush(stdout);
        }
    }
    double difference = 0;
    int lower = 0;
    for (int i = 0; i < pairs; ++i) {
        difference += shares[0][i] - shares[1][i];
        lower += shares[0][i] < shares[1][i];
    }
    std::printf("medians: this %.2f %%, other %.2f %%; this lower in %d of %d pairs, by %.2f points on average\n",
                percentile(shares[0], 0.5), percentile(shares[1], 0.5), lower, pairs, -difference / pairs);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "run") == 0)
    {
        std::vector<double> rates; // B/s; the two of the issue when none are given
        for (int i = 3; i < argc; ++i)
            rates.push_back(std::atof(argv[i]));
        return run(argv[0], argc > 2 ? std::atof(argv[2]) : 10, rates);
    }
    if (argc == 7 && std::strcmp(argv[1], "ab") == 0)
        return compare(argv[0], argv[6], std::atof(argv[2]), std::atof(argv[3]),
                       std::strcmp(argv[4], "fifo") == 0 ? Delivery::Fifo : Delivery::ByteWise, std::atoi(argv[5]));
    if (argc == 6 && std::strcmp(argv[1], "subject") == 0)
        return subject(argv[2], argv[3], argv[4], std::atof(argv[5]));
    std::fprintf(stderr, "usage: live_bench run [seconds [rates in B/s...]]\n"
                         "       live_bench ab SECONDS RATE fifo|bytewise PAIRS OTHER_LIVE_BENCH\n");
    return 2;
}
