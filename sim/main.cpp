// cm_bv_hp_sim: plays the bill validator, the coin mechanism or selector and
// four hoppers on a pseudo-terminal, for the console to open as a port.
#include "Devices.h"
#include "Options.h"
#include "Output.h"
#include "Pty.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace cmbvhp::sim;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// What may wait for a console that does not read, before replies are dropped.
constexpr std::size_t kOutputLimit = 64 * 1024;
constexpr std::chrono::milliseconds kPollPeriod{50};

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage()
{
    std::fputs(
        "usage: cm_bv_hp_sim [options]\n"
        "  --link PATH        make PATH a link to the simulator's port (the console's\n"
        "                     port folder holds com1 ... com16)\n"
        "  --coin mech|selector|none   the coin device (default mech)\n"
        "  --fault NAME       silence, badcheck, short, random, no-bv, no-cm, no-hp,\n"
        "                     empty (the hoppers pay no more); may be given more than once\n"
        "  --bill-every S     a bill is taken in every S seconds (default 8, 0 = never)\n"
        "  --coin-every S     a coin is taken in every S seconds (default 3, 0 = never)\n"
        "  --seed N           seed for the random faults\n"
        "  --quiet            do not print the traffic\n"
        "  --record FILE      write every byte sent to the console to FILE\n"
        "keys while running: b f m (bills 10, 50, 10000), 1 2 3 4 (coins),\n"
        "e (the coin device reports an error, or no longer), q (quit)\n",
        stderr);
}

void printBytes(const char* dir, const Bytes& b)
{
    std::printf("%s", dir);
    for (auto x : b)
        std::printf(" %02X", x);
    std::printf("\n");
    std::fflush(stdout);
}

void key(char c, Devices& devices)
{
    switch (c) {
    case 'b': devices.insertBill(0); break;
    case 'f': devices.insertBill(1); break;
    case 'm': devices.insertBill(2); break;
    case '1': case '2': case '3': case '4': devices.insertCoin(c - '1'); break;
    case 'e': devices.toggleCoinError(); break;
    case 'q': g_stop = 1; break;
    default: break;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--help") {
        usage();
        return 0;
    }
    const auto options = parseCommandLine(args);
    if (!options) {
        usage();
        return 2;
    }

    Pty pty;
    if (!pty.ok()) {
        std::perror("openpty");
        return 1;
    }
    const char* name = pty.name().c_str();

    const std::string& link = options->link;
    if (!link.empty()) {
        std::error_code ec;
        const fs::path p(link);
        fs::create_directories(p.parent_path(), ec);
        if (fs::is_symlink(fs::symlink_status(p, ec)))
            fs::remove(p, ec);
        fs::create_symlink(name, p, ec);
        if (ec) {
            std::fprintf(stderr, "cannot link %s: %s\n", link.c_str(), ec.message().c_str());
            return 1;
        }
    }
    std::printf("simulator on %s%s%s\n", name, link.empty() ? "" : ", linked as ", link.c_str());
    std::fflush(stdout);

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::FILE* recordFile = options->record.empty() ? nullptr : std::fopen(options->record.c_str(), "wb");
    if (!options->record.empty() && !recordFile) {
        std::perror(options->record.c_str());
        return 1;
    }
    Devices devices(options->devices);
    FrameParser parser;
    OutputQueue output(kOutputLimit);
    // Writes what the pseudo-terminal takes now; the rest waits.
    auto writeLine = [&](std::span<const std::uint8_t> bytes) {
        const std::size_t n = pty.write(bytes);
        if (recordFile && n > 0) {
            std::fwrite(bytes.data(), 1, n, recordFile);
            std::fflush(recordFile);
        }
        return n;
    };
    const bool keys = ::isatty(STDIN_FILENO);
    const auto every = [](double s) { return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)); };
    auto nextBill = Clock::now() + every(options->billEvery);
    auto nextCoin = Clock::now() + every(options->coinEvery);
    int billKind = 0, coinKind = 0;

    while (!g_stop) {
        pollfd fds[2] = {{pty.fd(), static_cast<short>(POLLIN | (output.empty() ? 0 : POLLOUT)), 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = ::poll(fds, keys ? 2 : 1, static_cast<int>(kPollPeriod.count()));
        if (n < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            std::uint8_t buf[512];
            for (const Bytes& frame : parser.feed({buf, pty.read(buf)})) {
                const Bytes reply = devices.answer(frame);
                if (!options->quiet) {
                    printBytes("<-", frame);
                    if (!reply.empty())
                        printBytes("->", reply);
                }
                output.push(reply);
            }
        }
        if (!output.empty())
            output.flush(writeLine);
        if (keys && (fds[1].revents & POLLIN)) {
            char c = 0;
            if (::read(STDIN_FILENO, &c, 1) == 1)
                key(c, devices);
        }
        const auto now = Clock::now();
        if (options->billEvery > 0 && now >= nextBill) {
            devices.insertBill(billKind++ % 3);
            nextBill = now + every(options->billEvery);
        }
        if (options->coinEvery > 0 && now >= nextCoin) {
            devices.insertCoin(coinKind++ % 3);
            nextCoin = now + every(options->coinEvery);
        }
    }

    if (!link.empty()) {
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == fs::path(name))
            fs::remove(link, ec);
    }
    std::printf("replies dropped because the console did not read: %zu bytes\n", output.droppedBytes());
    if (recordFile)
        std::fclose(recordFile);
    return 0;
}
