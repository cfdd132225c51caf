// cm_bv_hp_sim: plays the bill validator, the coin mechanism or selector and
// four hoppers on a pseudo-terminal, for the console to open as a port; or
// plays back the devices of a recorded session.
#include "Devices.h"
#include "Options.h"
#include "Output.h"
#include "Pty.h"
#include "Replay.h"
#include "common/StandardDescriptors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace cmbvhp::sim;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kPollPeriod{50};
// How long the last lines may wait at exit for a reader of the output.
constexpr std::chrono::milliseconds kExitPatience{500};

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

constexpr const char* kUsage =
    "Usage: cm_bv_hp_sim [options]\n"
    "Plays a bill validator, a coin mechanism or selector and four hoppers on a\n"
    "pseudo-terminal, for the cm_bv_hp console to open as a serial port.\n"
    "\n"
    "Options:\n"
    "  --link PATH        make PATH a link to the simulator's port (the console's\n"
    "                     port folder holds com1 ... com16)\n"
    "  --coin mech|selector|none   the coin device (default mech)\n"
    "  --fault NAME       silence, badcheck, short, random, no-bv, no-cm, no-hp,\n"
    "                     empty (the hoppers pay no more); may be given more than once\n"
    "  --bill-every S     a bill is taken in every S seconds (default 8, 0 = never,\n"
    "                     at most 86400)\n"
    "  --coin-every S     a coin is taken in every S seconds (default 3, 0 = never,\n"
    "                     at most 86400)\n"
    "  --seed N           seed for the random faults\n"
    "  --replay FILE      play the devices of a recorded session file: each frame is\n"
    "                     answered with what was received after the next identical\n"
    "                     frame further on in the file, after the recorded delay\n"
    "  --record FILE      write every byte sent to the console to FILE\n"
    "  --quiet            do not print the traffic\n"
    "  -h, --help         print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Keys while running from a terminal: b f m (bills 10, 50, 10000), 1 2 3 4 (coins),\n"
    "e (the coin device reports an error, or no longer), q (quit).\n";

std::string hexLine(const char* dir, const Bytes& b)
{
    std::string s = dir;
    char pair[4];
    for (auto x : b) {
        std::snprintf(pair, sizeof pair, " %02X", x);
        s += pair;
    }
    return s;
}

// The link to the port, removed whichever way the simulator ends: it names a
// pseudo-terminal number the system soon hands to another program.
struct PortLink {
    std::string path;
    std::string target;
    ~PortLink()
    {
        std::error_code ec;
        if (!path.empty() && fs::is_symlink(fs::symlink_status(path, ec)) && fs::read_symlink(path, ec) == fs::path(target))
            fs::remove(path, ec);
    }
};

} // namespace

int main(int argc, char** argv)
{
    cmbvhp::holdStandardDescriptors(); // else the terminal could be descriptor 0, its frames read as keys
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseCommandLine(args, error);
    if (!options) {
        std::fprintf(stderr, "cm_bv_hp_sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options->help || options->version) {
        std::fputs(options->help ? kUsage : "cm_bv_hp_sim " CMBVHP_VERSION "\n", stdout);
        return 0;
    }

    // Everything that can fail is checked before the link is made.
    std::optional<Replay> replay;
    if (!options->replay.empty()) {
        auto file = cmbvhp::SessionReader::open(options->replay, error);
        if (file)
            replay = Replay::load(*file, error);
        if (!replay) {
            std::fprintf(stderr, "cm_bv_hp_sim: %s is refused: %s\n", options->replay.c_str(), error.c_str());
            return 1;
        }
    }
    std::FILE* recordFile = options->record.empty() ? nullptr : std::fopen(options->record.c_str(), "wb");
    if (!options->record.empty() && !recordFile) {
        std::fprintf(stderr, "cm_bv_hp_sim: cannot write %s: %s\n", options->record.c_str(), std::strerror(errno));
        return 1;
    }
    Pty pty;
    if (!pty.ok()) {
        std::perror("cm_bv_hp_sim: openpty");
        return 1;
    }
    const std::string& name = pty.name();

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    PortLink link;
    if (!options->link.empty()) {
        std::error_code ec;
        const fs::path p(options->link);
        fs::create_directories(p.parent_path(), ec);
        if (fs::is_symlink(fs::symlink_status(p, ec)))
            fs::remove(p, ec);
        fs::create_symlink(name, p, ec);
        if (ec) {
            std::fprintf(stderr, "cm_bv_hp_sim: cannot link %s: %s\n", options->link.c_str(), ec.message().c_str());
            return 1;
        }
        link.path = options->link;
        link.target = name;
    }
    Printer out(STDOUT_FILENO);
    out.line("simulator on " + name + (link.path.empty() ? "" : ", linked as " + link.path));

    Devices devices(options->devices);
    FrameParser parser;
    OutputQueue output;
    // Replayed pieces wait for their time.
    std::multimap<Clock::time_point, const Bytes*> due;
    // Writes what the pseudo-terminal takes now; the rest waits.
    auto writeLine = [&](std::span<const std::uint8_t> bytes) {
        const std::size_t n = pty.write(bytes);
        if (recordFile && n > 0) {
            std::fwrite(bytes.data(), 1, n, recordFile);
            std::fflush(recordFile);
        }
        return n;
    };
    const bool keys = ::isatty(STDIN_FILENO) && !replay;
    const auto every = [](double s) { return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)); };
    auto nextBill = Clock::now() + every(options->billEvery);
    auto nextCoin = Clock::now() + every(options->coinEvery);

    while (!g_stop) {
        auto wait = kPollPeriod;
        if (!due.empty())
            wait = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(due.begin()->first - Clock::now()),
                              std::chrono::milliseconds(0), kPollPeriod);
        pollfd fds[2] = {{pty.fd(), static_cast<short>(POLLIN | (output.empty() ? 0 : POLLOUT)), 0}, {STDIN_FILENO, POLLIN, 0}};
        const int n = ::poll(fds, keys ? 2 : 1, static_cast<int>(wait.count()));
        if (n < 0 && errno != EINTR)
            break;
        const auto now = Clock::now();
        if (fds[0].revents & POLLIN) {
            std::uint8_t buf[512];
            for (const Bytes& frame : parser.feed({buf, pty.read(buf)})) {
                if (!options->quiet)
                    out.line(hexLine("<-", frame));
                if (replay) {
                    if (const auto* pieces = replay->answer(frame))
                        for (const Replay::Piece& piece : *pieces)
                            due.emplace(now + piece.after, &piece.bytes);
                    continue;
                }
                const Bytes reply = devices.answer(frame);
                if (!options->quiet && !reply.empty())
                    out.line(hexLine("->", reply));
                output.push(reply);
            }
        }
        while (!due.empty() && due.begin()->first <= Clock::now()) {
            if (!options->quiet)
                out.line(hexLine("->", *due.begin()->second));
            output.push(*due.begin()->second);
            due.erase(due.begin());
        }
        if (!output.empty())
            output.flush(writeLine);
        out.flush();
        if (keys && (fds[1].revents & POLLIN)) {
            char c = 0;
            if (::read(STDIN_FILENO, &c, 1) == 1 && c == 'q')
                g_stop = 1;
            else
                devices.key(c);
        }
        if (options->billEvery > 0 && now >= nextBill) {
            devices.insertScheduledBill();
            nextBill = now + every(options->billEvery);
        }
        if (options->coinEvery > 0 && now >= nextCoin) {
            devices.insertScheduledCoin();
            nextCoin = now + every(options->coinEvery);
        }
    }

    if (replay)
        out.closing("frames answered from " + options->replay + ": " + std::to_string(replay->answered()) + ", not answered: " +
                    std::to_string(replay->unanswered()));
    out.closing("replies dropped because the console did not read: " + std::to_string(output.droppedBytes()) + " bytes");
    if (out.droppedLines() > 0)
        out.closing("lines not printed because nobody read them: " + std::to_string(out.droppedLines()));
    out.finish(kExitPatience);
    if (recordFile)
        std::fclose(recordFile);
    return 0;
}
