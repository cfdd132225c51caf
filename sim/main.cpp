// cm_bv_hp_sim: plays the bill validator, the coin mechanism or selector and
// four hoppers on a pseudo-terminal, for the console to open as a port.
#include "Devices.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include <chrono>

using namespace cmbvhp::sim;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage()
{
    std::fputs(
        "usage: cm_bv_hp_sim [options]\n"
        "  --link PATH        make PATH a link to the simulator's port (the console's\n"
        "                     port folder holds com1 ... com16)\n"
        "  --coin mech|selector|none   the coin device (default mech)\n"
        "  --fault NAME       silence, badcheck, short, random, no-bv, no-cm, no-hp;\n"
        "                     may be given more than once\n"
        "  --bill-every S     a bill is taken in every S seconds (default 8, 0 = never)\n"
        "  --coin-every S     a coin is taken in every S seconds (default 3, 0 = never)\n"
        "  --seed N           seed for the random faults\n"
        "  --quiet            do not print the traffic\n"
        "  --record FILE      write every byte sent to the console to FILE\n"
        "keys while running: b f m (bills 10, 50, 10000), 1 2 3 4 (coins), q (quit)\n",
        stderr);
}

bool parseFault(const std::string& name, Fault& f)
{
    const std::pair<const char*, Fault> names[] = {{"silence", Fault::Silence},      {"badcheck", Fault::BadCheck},
                                                   {"short", Fault::CutShort},        {"random", Fault::RandomBytes},
                                                   {"no-bv", Fault::NoBillValidator}, {"no-cm", Fault::NoCoinMech},
                                                   {"no-hp", Fault::NoHoppers}};
    for (const auto& [n, v] : names)
        if (name == n) {
            f = v;
            return true;
        }
    return false;
}

void printBytes(const char* dir, const Bytes& b)
{
    std::printf("%s", dir);
    for (auto x : b)
        std::printf(" %02X", x);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string link;
    std::string record;
    double billEvery = 8, coinEvery = 3;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--link")
            link = value();
        else if (a == "--coin") {
            const std::string c = value();
            if (c == "mech")
                options.coin = CoinKind::Mechanism;
            else if (c == "selector")
                options.coin = CoinKind::Selector;
            else if (c == "none")
                options.coin = CoinKind::None;
            else {
                usage();
                return 2;
            }
        } else if (a == "--fault") {
            Fault f;
            if (!parseFault(value(), f)) {
                usage();
                return 2;
            }
            options.faults.insert(f);
        } else if (a == "--bill-every")
            billEvery = std::atof(value().c_str());
        else if (a == "--coin-every")
            coinEvery = std::atof(value().c_str());
        else if (a == "--seed")
            options.seed = static_cast<unsigned>(std::strtoul(value().c_str(), nullptr, 10));
        else if (a == "--quiet")
            quiet = true;
        else if (a == "--record")
            record = value();
        else {
            usage();
            return a == "--help" ? 0 : 2;
        }
    }

    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    // Raw from the start, so that nothing is echoed or translated before the
    // console opens the port; the slave stays open here so that the console
    // can close and reopen it.
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

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

    std::FILE* recordFile = record.empty() ? nullptr : std::fopen(record.c_str(), "wb");
    if (!record.empty() && !recordFile) {
        std::perror(record.c_str());
        return 1;
    }
    Devices devices(options);
    FrameParser parser;
    const bool keys = ::isatty(STDIN_FILENO);
    auto nextBill = Clock::now() + std::chrono::duration<double>(billEvery);
    auto nextCoin = Clock::now() + std::chrono::duration<double>(coinEvery);
    int billKind = 0, coinKind = 0;

    while (!g_stop) {
        pollfd fds[2] = {{master, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = ::poll(fds, keys ? 2 : 1, 50);
        if (n < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            std::uint8_t buf[512];
            const ssize_t got = ::read(master, buf, sizeof buf);
            if (got > 0) {
                for (const Bytes& frame : parser.feed({buf, static_cast<std::size_t>(got)})) {
                    const Bytes reply = devices.answer(frame);
                    if (!quiet) {
                        printBytes("<-", frame);
                        if (!reply.empty())
                            printBytes("->", reply);
                    }
                    if (!reply.empty()) {
                        (void)!::write(master, reply.data(), reply.size());
                        if (recordFile) {
                            std::fwrite(reply.data(), 1, reply.size(), recordFile);
                            std::fflush(recordFile);
                        }
                    }
                }
            }
        }
        if (keys && (fds[1].revents & POLLIN)) {
            char c = 0;
            if (::read(STDIN_FILENO, &c, 1) == 1) {
                switch (c) {
                case 'b': devices.insertBill(0); break;
                case 'f': devices.insertBill(1); break;
                case 'm': devices.insertBill(2); break;
                case '1': case '2': case '3': case '4': devices.insertCoin(c - '1'); break;
                case 'q': g_stop = 1; break;
                default: break;
                }
            }
        }
        const auto now = Clock::now();
        if (billEvery > 0 && now >= nextBill) {
            devices.insertBill(billKind++ % 3);
            nextBill = now + std::chrono::duration<double>(billEvery);
        }
        if (coinEvery > 0 && now >= nextCoin) {
            devices.insertCoin(coinKind++ % 3);
            nextCoin = now + std::chrono::duration<double>(coinEvery);
        }
    }

    if (!link.empty()) {
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == fs::path(name))
            fs::remove(link, ec);
    }
    if (recordFile)
        std::fclose(recordFile);
    ::close(master);
    ::close(slave);
    return 0;
}
