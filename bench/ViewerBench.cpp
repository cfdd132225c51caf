// A week of a busy line in one session file (1 GiB by default), opened in the
// session viewer: how long the first screen takes, how long the whole file is
// read, how long a jump to a moment takes, and the memory it holds. Beside it,
// the time to read the file's bytes alone, as the floor.
//   viewer_bench [MB [jumps]]      (offscreen)
#include "viewer/ViewerWindow.h"
#include "window/ConsoleApp.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
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

// Ticks 100 ms apart: the bill validator and the coin mechanism polled in
// turn, answering with records now and then, bad replies, silent frames, a
// DROP and an OP once in a while; a "# date" line at each midnight.
void writeSession(const std::string& path, std::uint64_t bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("# cm_bv_hp 1.2 session of COM1, opened 2026-12-01 08:00:00.000 local time (UTC+01:00)\n# port COM1: bench\n"
               "# line settings 19200,E,8,1\n# devices Bill Validator, Coin Mechanism\n",
               f);
    std::mt19937 rng(7);
    std::uint64_t written = 0;
    long long ms = 8LL * 3600 * 1000;
    int day = 1;
    char line[256];
    for (long tick = 0; written < bytes; ++tick, ms += 100) {
        if (ms >= 24LL * 3600 * 1000) {
            ms -= 24LL * 3600 * 1000;
            written += static_cast<std::uint64_t>(std::fprintf(f, "# date 2026-12-%02d\n", ++day));
        }
        const int h = static_cast<int>(ms / 3600000), m = static_cast<int>(ms / 60000 % 60), s = static_cast<int>(ms / 1000 % 60),
                  milli = static_cast<int>(ms % 1000);
        const bool bv = tick % 2 == 0;
        written += static_cast<std::uint64_t>(std::fprintf(f, "%02d:%02d:%02d.%03d TX %s\n", h, m, s, milli, bv ? "5A A5" : "62 9D"));
        const unsigned r = rng() % 1000;
        if (r < 5)
            continue; // silent
        const char* reply = r < 10  ? "33 06 00 18 01 00 00 00 1F" // a bad check byte
                            : r < 900 ? "11"
                            : bv      ? "22 03 1B 01 00 19"
                                      : "33 13 00 08 12 05 00 99 00 0A 00 00 00 00 00 0B 01 00 00 00 00 95";
        written += static_cast<std::uint64_t>(std::snprintf(line, sizeof line, "%02d:%02d:%02d.%03d RX %s +1 ms\n", h, m, s, milli + 1, reply));
        std::fputs(line, f);
        if (tick % 200'000 == 0)
            written += static_cast<std::uint64_t>(std::fprintf(f, "%02d:%02d:%02d.%03d OP Stand By (Bill Validator)\n", h, m, s, milli + 2));
    }
    std::fclose(f);
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::uint64_t mb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const int jumps = argc > 2 ? std::atoi(argv[2]) : 20;
    prepareEnvironment();
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    prepareApplication(app);
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("week.log")).toStdString();
    QElapsedTimer t;
    t.start();
    writeSession(path, mb << 20);
    std::printf("session file of %llu MiB written in %.1f s\n", static_cast<unsigned long long>(mb), t.elapsed() / 1000.0);

    // The floor: the file's bytes read, nothing done with them.
    t.restart();
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> buf(1 << 20);
        while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        }
    }
    const double floorS = t.elapsed() / 1000.0;
    std::printf("reading the bytes alone: %.2f s\n", floorS);

    const double before = residentMB();
    ViewerWindow w;
    w.show();
    t.restart();
    w.open(QString::fromStdString(path));
    QCoreApplication::processEvents();
    std::printf("first screen: %lld ms\n", static_cast<long long>(t.elapsed()));
    (void)QTest::qWaitFor([&] { return w.indexed(); }, 3'600'000);
    const double indexS = t.elapsed() / 1000.0;
    std::printf("whole file read: %.1f s (%.1f x reading the bytes alone), resident %.0f MB (%.0f MB before)\n", indexS, indexS / floorS,
                residentMB(), before);
    std::mt19937 rng(3);
    std::vector<double> times;
    const std::int64_t from = w.index()->info().openedMs;
    const auto span = static_cast<std::uint64_t>(w.index()->info().lastMs - from);
    for (int i = 0; i < jumps; ++i) {
        // Anywhere in the session, far from where the logs stand.
        const std::int64_t to = from + static_cast<std::int64_t>(rng() % span);
        t.restart();
        w.showMoment(to);
        QCoreApplication::processEvents();
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    if (!times.empty())
        std::printf("jump to a moment (%d): median %.1f ms, worst %.1f ms; resident %.0f MB\n", jumps, times[times.size() / 2], times.back(),
                    residentMB());
    return 0;
}
