// The console's costs on this machine: one poll tick, and one received byte
// (log append, framing, decoding, the session file), each with empty logs and
// with logs that hold a day of traffic; with a day of logs, paging through the
// receive log and copying all of it; a display beat of a busy line; and the
// resident memory after a week of a full 19200-baud line of noise in a
// hoppers-only test, where every byte ends a line. Run:
// build/bench/console_bench (the week takes a minute or two).
#include "Devices.h"
#include "window/ConsoleApp.h"
#include "window/LogView.h"
#include "window/frmBody.h"
#include "support/ScriptedPort.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>

using namespace cmbvhp;
using cmbvhp::test::Bytes;
using cmbvhp::test::ScriptedPort;

namespace {

// A day of polling: one frame per 100 ms tick.
constexpr long kDayOfTicks = 864'000;

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

// The console window on a scripted port, answered by the simulated devices.
struct Bench {
    explicit Bench(bool record = true)
        : port(new ScriptedPort), window(std::unique_ptr<SerialBackend>(port), [](int) { return std::string("/dev/bench"); }),
          devices(sim::Options{})
    {
        window.setSessionRecording(record);
        window.Form_Load();
        window.cmdPortOpen_Click();
        window.timer1().setEnabled(false); // the benchmark ticks itself
    }
    // One tick and the devices' replies to it, as the line would bring them.
    void tickAndAnswer()
    {
        window.Timer1_Timer();
        for (const Bytes& w : port->writes)
            port->feed(devices.answer(w));
        port->writes.clear();
        if (++ticks % 50 == 0)
            devices.insertScheduledCoin();
        if (ticks % 300 == 0)
            devices.insertScheduledBill();
    }
    void runDay(long n)
    {
        for (long i = 0; i < n; ++i)
            tickAndAnswer();
        window.receiveLog().sync();
        window.transmitLog().sync();
    }

    ScriptedPort* port;
    frmBody window;
    sim::Devices devices;
    long ticks = 0;
};

std::unique_ptr<Bench>& dayHolder()
{
    static std::unique_ptr<Bench> b;
    return b;
}

Bench& dayOld()
{
    if (!dayHolder()) {
        const long before = residentKiB();
        dayHolder() = std::make_unique<Bench>();
        Bench* bench = dayHolder().get();
        bench->runDay(kDayOfTicks);
        const LogText& rx = bench->window.receiveLog().logText();
        const LogText& tx = bench->window.transmitLog().logText();
        std::fprintf(stderr,
                     "a day of traffic: %ld ticks; receive log %.1f MB in %zu rows, transmit log %.1f MB in %zu rows; "
                     "resident %.1f MB (%.1f MB before)\n",
                     kDayOfTicks, static_cast<double>(rx.storedBytes()) / 1e6, rx.rowCount(),
                     static_cast<double>(tx.storedBytes()) / 1e6, tx.rowCount(), static_cast<double>(residentKiB()) / 1024,
                     static_cast<double>(before) / 1024);
    }
    return *dayHolder();
}

// A typical reply mix: a bill validator record reply, a coin record reply, a
// status reply and an acknowledgement.
Bytes replyMix()
{
    Bytes all;
    for (const Bytes& r : {sim::framedReply(0x33, {0x00, 0x18, 0, 1, 0, 0, 0, 0x19, 0, 1, 0, 0, 0}),
                           sim::framedReply(0x22, {0x1B, 0x01, 0x00}), Bytes{0x11}})
        all.insert(all.end(), r.begin(), r.end());
    return all;
}

void receive(benchmark::State& state, Bench& b)
{
    const Bytes mix = replyMix();
    for (auto _ : state) {
        b.window.state().curDevice = device::kBillValidator;
        b.window.state().rxPos = 1;
        b.port->feed(mix);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(mix.size()));
    state.counters["ns_per_byte"] = benchmark::Counter(static_cast<double>(state.iterations() * static_cast<long>(mix.size())),
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void tick(benchmark::State& state, Bench& b)
{
    for (auto _ : state) {
        b.window.Timer1_Timer();
        b.port->writes.clear();
    }
}

// Page up through the receive log, each page painted.
void BM_PageDayOfLogs(benchmark::State& state)
{
    Bench& b = dayOld();
    LogView& log = b.window.receiveLog();
    b.window.show();
    QCoreApplication::processEvents(); // mapped, so that a repaint paints
    log.sync();
    for (auto _ : state) {
        log.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
        log.viewport()->repaint();
    }
}

// A display beat on a busy line: the 4,000 bytes that 100 kB/s brings in a
// 40 ms beat through framing, the logs and the session file, then the receive
// log painted, a whole page of new rows.
void BM_BusyLineBeat(benchmark::State& state)
{
    Bench b;
    b.window.show();
    QCoreApplication::processEvents(); // mapped, so that a repaint paints
    std::mt19937 rng(20261207);
    std::vector<Bytes> beats(16, Bytes(4000));
    for (Bytes& beat : beats)
        for (std::uint8_t& byte : beat)
            byte = static_cast<std::uint8_t>(rng());
    LogView& log = b.window.receiveLog();
    std::size_t i = 0;
    for (auto _ : state) {
        b.port->feed(beats[i++ % beats.size()]);
        log.sync();
        log.viewport()->repaint();
    }
}

// Select all and copy, as Ctrl+A, Ctrl+C do.
void BM_CopyDayOfReceiveLog(benchmark::State& state)
{
    LogView& log = dayOld().window.receiveLog();
    for (auto _ : state) {
        log.selectAll();
        QApplication::clipboard()->setText(log.selectedText());
    }
    state.counters["MB"] = static_cast<double>(log.logText().storedBytes()) / 1e6;
}

void BM_ReceiveEmptyLogs(benchmark::State& state)
{
    Bench b;
    receive(state, b);
}
void BM_ReceiveEmptyLogsNoSessionFile(benchmark::State& state)
{
    Bench b(false);
    receive(state, b);
}

// A week at 19200 baud (1,920 bytes a second) of noise that is never 0x33, in a
// hoppers-only test: every byte is a reply of its own and ends a line, the
// most lines a line can bring. Once; the figure is the resident memory after.
void BM_WeekOfNoiseHoppersOnly(benchmark::State& state)
{
    constexpr long kTicks = 7L * 24 * 3600 * 10; // 100 ms each
    constexpr std::size_t kPerTick = 192;
    Bytes noise(kPerTick);
    for (std::size_t i = 0; i < kPerTick; ++i)
        noise[i] = static_cast<std::uint8_t>((i * 37 + 11) % 251 == 0x33 ? 0x06 : (i * 37 + 11) % 251);
    // The week alone: the day's console goes, and what the heap kept of it
    // goes back to the system.
    dayHolder().reset();
    ::malloc_trim(0);
    for (auto _ : state) {
        auto* port = new ScriptedPort;
        frmBody window(std::unique_ptr<SerialBackend>(port), [](int) { return std::string("/dev/bench"); });
        window.setSessionRecording(false);
        window.Form_Load();
        window.findChild<QCheckBox*>(QStringLiteral("checkBv"))->setChecked(false);
        window.findChild<QRadioButton*>(QStringLiteral("OptionCoin"))->setChecked(true);
        window.cmdPortOpen_Click();
        window.timer1().setEnabled(false);
        for (long tick = 0; tick < kTicks; ++tick) {
            window.Timer1_Timer();
            port->writes.clear();
            port->feed(noise);
        }
        window.showPending();
        const LogText& rx = window.receiveLog().logText();
        state.counters["bytes_fed"] = static_cast<double>(kTicks) * kPerTick;
        state.counters["rx_rows_held"] = static_cast<double>(rx.rowCount());
        state.counters["resident_MB"] = static_cast<double>(residentKiB()) / 1024;
    }
}
void BM_ReceiveDayOfLogs(benchmark::State& state)
{
    Bench& b = dayOld();
    receive(state, b);
}
void BM_TickEmptyLogs(benchmark::State& state)
{
    Bench b;
    tick(state, b);
}
void BM_TickDayOfLogs(benchmark::State& state)
{
    tick(state, dayOld());
}

// The day's logs first, so that the resident memory before them is the
// program's own; paging and copying before the receive benchmark adds to them.
BENCHMARK(BM_PageDayOfLogs)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_CopyDayOfReceiveLog)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReceiveDayOfLogs)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_TickDayOfLogs)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReceiveEmptyLogs)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ReceiveEmptyLogsNoSessionFile)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_TickEmptyLogs)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_BusyLineBeat)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WeekOfNoiseHoppersOnly)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The session files go to a folder of the run's own.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    prepareEnvironment();
    QApplication app(argc, argv);
    prepareApplication(app);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    dayHolder().reset(); // while the application is there
    return 0;
}
