// The simulated devices: what each answers to the host's frames, the options,
// and the output that never blocks.
#include "Devices.h"
#include "Options.h"
#include "Output.h"
#include "Replay.h"
#include "support/ScriptedPort.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <memory>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace cmbvhp::test;
using sim::Devices;
using sim::Fault;

namespace {
std::string answer(Devices& d, const char* frame) { return toHex(d.answer(hex(frame))); }
// The state a row of the contract gives, in one line.
std::string state(const Devices& d)
{
    const auto list = [](const auto& a) {
        std::string s;
        for (const auto v : a)
            s += (s.empty() ? "" : ",") + std::to_string(v);
        return s;
    };
    const auto& b = d.billValidator();
    const auto& c = d.coinMech();
    return "bv " + std::string(b.enabled ? "on " : "off ") + list(b.billCounts) + (b.newBill ? " new" : "") + " | cm " +
           (c.enabled ? "on " : "off ") + (c.error ? "err " : "") + list(c.coinCounts) + " paid " + list(c.paidCounts) + " pay " +
           std::to_string(c.changeToPay) + " | hp " + list(d.hoppers().target) + " paid " + list(d.hoppers().paid);
}
} // namespace

TEST(SimReplies, CountsAndTheHostStream)
{
    EXPECT_EQ(toHex(sim::packedCount(std::array<std::uint8_t, 5>{12, 5, 0, 99, 100})), "12 05 00 99 99");
    sim::FrameParser p;
    std::string frames;
    for (const char* piece : {"FF 5A A5 00 5B A4 03 10 E1", "00 F2 62 9D 63 9C 02 00 02 01 72", "8D 73 8C 05 00 00 03 00 00 06 71 8E 5B A4 03 5A A5 00 FC"})
        for (const Bytes& f : p.feed(hex(piece)))
            frames += toHex(f) + " / ";
    EXPECT_EQ(frames, "5A A5 / 5B A4 03 10 E1 00 F2 / 62 9D / 72 8D / 73 8C 05 00 00 03 00 00 06 / 71 8E / 5B A4 03 5A A5 00 FC / ") << "noise and a bad check are skipped; a frame's data holds no frame";
}

// The simulator's contract, device by device: each command in each state that
// changes the answer, the exact bytes it answers and what it leaves in the
// device's counts and amounts. A row starts a fresh simulator with its options,
// plays the steps before (frames, whose answers are not checked; "key K", a
// key pressed at the simulator; "bills N" and "coins N" on the schedule, and
// "polls N" of the coin device), then sends the frame. The state: the bill
// validator on or off, its bill counts and a bill not yet reported; the coin
// device on or off, in error, its coin counts, paid counts and change to pay;
// the hoppers' counts asked and paid.
TEST(SimDevices, EachCommandInEachStateAnswersAndCountsAsTheContractSays)
{
    const std::string on = "5A A5; 5B A4 03 10 E1 00 F2; 5A A5", cm = "62 9D; 63 9C 02 00 03 01; 62 9D", off = "bv off 0,0,0 | ";
    const std::string idle = off + "cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0";
    const struct { const char* name; std::string options, before, frame, reply, state; } rows[] = {
        {"power-up: the first frame of each device gets 44", "", "", "5A A5", "44", idle},
        {"a poll with nothing to tell: 11", "", "5A A5", "5A A5", "11", idle},
        {"Crem On takes bills", "", "5A A5", "5B A4 03 10 E1 00 F2", "11", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"the status change after Crem On", "", "5A A5; 5B A4 03 10 E1 00 F2", "5A A5", "22 03 1B 01 00 19", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"bills while taking bills: a record reply", "", on + "; key b; key f", "5A A5", "33 19 00 18 00 01 00 00 00 19 01 01 00 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 12", "bv on 1,1,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"a bill while not taking bills is not taken", "", "5A A5; key f", "5A A5", "11", idle},
        {"Crem Off", "", on, "5B A4 03 10 00 00 13", "11", idle},
        {"the status change after Crem Off", "", on + "; 5B A4 03 10 00 00 13", "5A A5", "22 03 1B 00 00 18", idle},
        {"Stand By while taking bills stops it", "", on, "58 A7", "11", idle},
        {"the status change after Stand By", "", on + "; 58 A7", "5A A5", "22 03 1B 00 00 18", idle},
        {"Stand By while not taking bills", "", "5A A5", "58 A7", "11", idle},
        {"Stack: the counts restart", "", on + "; key b; 5A A5", "5B A4 03 10 02 00 11", "11", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"after Stack the poll confirms it with bit 6", "", on + "; key b; 5A A5; 5B A4 03 10 02 00 11", "5A A5", "22 03 1B 41 00 59", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Stack while not taking bills: bit 6 alone", "", "5A A5; 5B A4 03 10 02 00 11", "5A A5", "22 03 1B 40 00 58", idle},
        {"the confirmation comes once", "", on + "; key b; 5A A5; 5B A4 03 10 02 00 11; 5A A5", "5A A5", "11", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Return is acknowledged", "", "5A A5", "5B A4 05 11 00 50 01 00 45", "11", idle},
        {"BV All: the full status as a long reply", "", on + "; key m; 5A A5", "59 A6", "11 19 00 18 00 00 00 00 00 19 00 00 01 00 00 1A 01 00 0A 00 00 1B 01 00 00 00 00 12", "bv on 0,0,1 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"coin mechanism: power-up", "", "", "62 9D", "44", idle},
        {"Crem On (coin mechanism, 03) takes coins", "", "62 9D", "63 9C 02 00 03 01", "11", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"the status change after Crem On", "", "62 9D; 63 9C 02 00 03 01", "62 9D", "22 07 0B 01 00 00 00 00 00 0D", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"a coin: a record reply of packed counts", "", cm + "; key 1; key 4", "62 9D", "33 13 00 08 01 00 00 01 00 0A 00 00 00 00 00 0B 01 00 00 00 00 1B", off + "cm on 1,0,0,1 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"a coin while not taking coins is not taken", "", "62 9D; key 1", "62 9D", "11", idle},
        {"keys that insert nothing: 5 and x", "", cm + "; " + on + "; key 5; key x", "62 9D", "11", "bv on 0,0,0 | cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"on the schedule: bills and coins by kind in turn", "", cm + "; " + on + "; bills 4; coins 5", "5A A5", "33*", "bv on 2,1,1 | cm on 2,2,1,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"the error key: the status tells it", "", cm + "; key e", "62 9D", "22 07 0B 03 00 00 00 00 00 0F", off + "cm on err 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"a coin command it does not know: acknowledged, nothing changes", "", "62 9D", "63 9C 02 01 03 00", "11", idle},
        {"Crem Off (coin)", "", cm, "63 9C 02 00 00 02", "11", idle},
        {"Crem Off in error: the status keeps the error", "", cm + "; key e; 62 9D; 63 9C 02 00 00 02", "62 9D", "22 07 0B 02 00 00 00 00 00 0E",
         off + "cm off err 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Stand By (coin) stops taking coins", "", cm, "60 9F", "11", idle},
        {"CM All: the full status as a long reply", "", cm + "; key 2; 62 9D", "61 9E", "11 13 00 08 00 01 00 00 00 0A 00 00 00 00 00 0B 01 00 00 00 00 1A", off + "cm on 0,1,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Data Clear: the counts restart and are reported", "", cm + "; key 2; 62 9D; 63 9C 02 00 02 00", "62 9D", "33 13 00 08 00 00 00 00 00 0A 00 00 00 00 00 0B 01 00 00 00 00 1B", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Change 8: one coin a poll, the largest that fits", "", cm + "; 63 9C 04 01 08 00 00 0D", "62 9D", "33 13 00 08 00 00 00 00 00 0A 00 00 01 00 00 0B 01 00 00 00 00 1A", off + "cm on 0,0,0,0 paid 0,0,1,0 pay 8 | hp 0,0,0,0 paid 0,0,0,0"},
        {"paying on: 2, then 1", "", cm + "; 63 9C 04 01 08 00 00 0D; 62 9D; 62 9D", "62 9D", "33 13 00 08 00 00 00 00 00 0A 01 01 01 00 00 0B 01 00 00 00 00 1A", off + "cm on 0,0,0,0 paid 1,1,1,0 pay 8 | hp 0,0,0,0 paid 0,0,0,0"},
        {"paid in full: nothing more to report", "", cm + "; 63 9C 04 01 08 00 00 0D; 62 9D; 62 9D; 62 9D", "62 9D", "11", off + "cm on 0,0,0,0 paid 1,1,1,0 pay 8 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Change 1500: no more than 99 coins of a kind", "", cm + "; 63 9C 04 01 00 15 00 10; polls 400", "62 9D", "11", off + "cm on 0,0,0,0 paid 99,99,99,0 pay 1500 | hp 0,0,0,0 paid 0,0,0,0"},
        {"Data Clear after a payout: the paid counts restart and are reported", "", cm + "; 63 9C 04 01 00 15 00 10; polls 400; 63 9C 02 00 02 00", "62 9D", "33 13 00 08 00 00 00 00 00 0A 00 00 00 00 00 0B 01 00 00 00 00 1B", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"selector: Crem On (01) takes coins", "--coin selector", "62 9D", "63 9C 02 00 01 03", "11", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"selector: a coin, its 10-byte reply of plain counts", "--coin selector", "62 9D; 63 9C 02 00 01 03; 62 9D; key 4; key 4", "62 9D", "33 07 08 00 00 00 02 0B 01 07", off + "cm on 0,0,0,2 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"selector: CM All is its 10-byte reply", "--coin selector", "62 9D", "61 9E", "33 07 08 00 00 00 00 0B 00 04", idle},
        {"selector: Change is not its command", "--coin selector", "62 9D; 63 9C 02 00 01 03; 62 9D", "63 9C 04 01 08 00 00 0D", "11", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"no coin device: silence", "--coin none", "", "62 9D", "", idle},
        {"hoppers: status, all four records", "", "", "72 8D", "33 00 15 00 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00", idle},
        {"hoppers: HP All answers the same", "", "", "71 8E", "33 00 15 00 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00", idle},
        {"a hopper count: HP #2 to 3", "", "", "73 8C 05 00 00 03 00 00 06", "11", "bv off 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,3,0,0 paid 0,0,0,0"},
        {"each poll pays one toward its count", "", "73 8C 05 00 00 03 00 01 07; 72 8D", "72 8D", "33 00 15 00 02 00 01 16 00 03 00 01 17 00 00 00 00 18 00 00", "bv off 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,3,0,1 paid 0,2,0,1"},
        {"00 in a count frame asks nothing of that hopper; a count anew starts over", "", "73 8C 05 00 02 03 00 00 04; 72 8D", "73 8C 05 00 00 03 00 00 06", "11", "bv off 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 2,3,0,0 paid 1,0,0,0"},
        {"--fault empty: the hoppers pay no more", "--fault empty", "73 8C 05 00 02 00 00 00 07", "72 8D", "33 00 15 00 00 00 00 16 02 00 00 00 17 00 00 00 00 18 00 00", "bv off 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 2,0,0,0 paid 0,0,0,0"},
        {"--fault silence: nothing answers", "--fault silence", "", "72 8D", "", idle},
        {"--fault badcheck: the check byte inverted", "--fault badcheck", "5A A5; 5B A4 03 10 E1 00 F2", "5A A5", "22 03 1B 01 00 E6", "bv on 0,0,0 | cm off 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"--fault badcheck: the hoppers have none", "--fault badcheck", "", "72 8D", "33 00 15 00 00 00 00 16 00 00 00 00 17 00 00 00 00 18 00 00", idle},
        {"--fault badcheck: an acknowledgement has none", "--fault badcheck", "5A A5", "5A A5", "11", idle},
        {"--fault badcheck: the coin device's check byte too", "--fault badcheck", "62 9D; 63 9C 02 00 03 01", "62 9D", "22 07 0B 01 00 00 00 00 00 F2", off + "cm on 0,0,0,0 paid 0,0,0,0 pay 0 | hp 0,0,0,0 paid 0,0,0,0"},
        {"--fault short: every other reply cut in half", "--fault short", "5A A5", "72 8D", "33 00 15 00 00 00 00 16 00 00", idle},
        {"--fault random: bytes mixed into every third reply (the seed is 1 unless given)", "--fault random", "5A A5; 62 9D", "72 8D", "33 00 15 00 00 00 00 16 00 00 00 00 17 00 00 00 00 EB 8C 18 00 00", idle},
        {"--fault no-bv: no bill validator", "--fault no-bv", "", "5A A5", "", idle},
        {"--fault no-cm: no coin device", "--fault no-cm", "", "62 9D", "", idle},
        {"--fault no-hp: no hoppers", "--fault no-hp", "", "72 8D", "", idle},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> args;
        for (const auto& a : QString::fromStdString(row.options).split(u' ', Qt::SkipEmptyParts))
            args.push_back(a.toStdString());
        std::string error;
        const auto options = sim::parseCommandLine(args, error);
        // With no schedule given, the usage's: a bill every 8 s, a coin every 3 s.
        ASSERT_TRUE(options && (!row.options.empty() || std::pair(options->billEvery, options->coinEvery) == std::pair(8.0, 3.0))) << error;
        Devices d(options->devices);
        for (const auto& step : QString::fromStdString(row.before).split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
            const auto [verb, kind] = std::pair(step.section(u' ', 0, 0), step.section(u' ', 1).toInt());
            for (int i = 0; i < kind && verb.endsWith(u's'); ++i)
                verb == u"bills" ? d.insertScheduledBill() : verb == u"coins" ? d.insertScheduledCoin() : (void)d.answer(hex("62 9D"));
            verb == u"key" ? d.key(step.back().toLatin1()) : verb.endsWith(u's') ? void() : (void)d.answer(hex(step.toStdString()));
        }
        const std::string reply = answer(d, row.frame.c_str());
        EXPECT_EQ(row.reply.ends_with('*') ? reply.substr(0, row.reply.size() - 1) + '*' : reply, row.reply);
        EXPECT_EQ(state(d), row.state);
    }
}

TEST(SimOptions, NumbersTakeThePointAndBadOptionsAreRefusedByName)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const std::vector<std::string> good{"--coin-every", "0.5", "--bill-every", "86400", "--fault", "empty", "--fault", "no-hp", "--coin", "selector", "--quiet", "--seed", "4294967295"};
    std::string error;
    const auto c = sim::parseCommandLine(good, error);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(c) << error;
    EXPECT_EQ(std::tuple(c->coinEvery, c->billEvery, c->devices.faults, c->devices.coin, c->quiet, c->devices.seed),
              std::tuple(0.5, 86400.0, std::set<Fault>{Fault::HoppersEmpty, Fault::NoHoppers}, sim::CoinKind::Selector, true, 4294967295u));
    const std::pair<std::vector<std::string>, std::string> bad[] = {
        {{"--coin-every", "0,5"}, "--coin-every takes seconds from 0 to 86400, written with a point, not \"0,5\""},
        {{"--bill-every", "inf"}, "--bill-every takes seconds from 0 to 86400, written with a point, not \"inf\""},
        {{"--bill-every", "86400.5"}, "--bill-every takes seconds from 0 to 86400, written with a point, not \"86400.5\""},
        {{"--seed", "4294967296"}, "--seed takes a whole number from 0 to 4294967295, not \"4294967296\""},
        {{"--fault", "nope"}, "--fault takes silence, badcheck, short, random, no-bv, no-cm, no-hp or empty, not \"nope\""},
        {{"--coin", "x"}, "--coin takes mech, selector or none, not \"x\""},
        {{"--link"}, "--link needs a value"},
        {{"--frob", "1"}, "unknown option --frob"},
        {{"--replay", "f", "--fault", "silence"}, "--replay plays the recorded devices; --coin, --fault, --bill-every, --coin-every and --seed do not apply"}};
    for (const auto& [args, why] : bad)
        EXPECT_TRUE(!sim::parseCommandLine(args, error) && error == why) << args[0] << " refused as: " << error;
}

TEST(SimOutput, ShortWritesAreCompletedAndWhatDoesNotFitIsDroppedWhole)
{
    sim::OutputQueue q(8);
    Bytes line;
    std::size_t room = 3;
    auto write = [&](std::span<const std::uint8_t> b) {
        const std::size_t n = std::min(room, b.size());
        line.insert(line.end(), b.begin(), b.begin() + static_cast<long>(n));
        return n;
    };
    EXPECT_TRUE(q.push(hex("22 03 1B 01 00 19")));
    EXPECT_EQ(q.flush(write), 3u);
    EXPECT_FALSE(q.push(hex("33 06 00 18 01 00 00 00 1F"))) << "3 waiting + 9 > 8";
    EXPECT_TRUE(q.push(hex("11 12 13 14 15"))) << "3 waiting + 5 fill the 8";
    room = 0;
    EXPECT_EQ(q.flush(write), 0u) << "the line takes nothing: nothing is lost";
    room = 10'000;
    q.flush(write);
    EXPECT_EQ(toHex(line), "22 03 1B 01 00 19 11 12 13 14 15");
    EXPECT_EQ(q.droppedBytes(), 9u);
    sim::OutputQueue large;
    EXPECT_TRUE(large.push(Bytes(9000, 0x11)) && large.flush(write) == 9000u) << "more than one chunk in one call";
}

// Regression: the lines that say what a run came to were dropped with the rest
// when nobody had read the simulator's printing. Each line goes out at once, and
// a reader that is gone takes nothing, ever: what waits is dropped and counted.
TEST(SimOutput, LinesGoOutAtOnceAndTheClosingLinesEvenWhenLinesWereDropped)
{
    std::signal(SIGPIPE, SIG_IGN); // as the simulator does
    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
    sim::Printer out(pipe[1]); // 64 KiB may wait
    std::string got;
    char text[4096];
    const auto take = [&] { const ssize_t n = ::read(pipe[0], text, sizeof text); return got.append(text, static_cast<std::size_t>(std::max<ssize_t>(0, n))), n > 0; };
    out.line(""), take(), out.closing("c"), take();
    EXPECT_EQ(got, "\nc\n") << "each at once";
    const std::string full(1 << 20, 'x'); // more than the pipe holds: nobody reads
    while (::write(pipe[1], full.data(), full.size()) > 0) {
    }
    for (int i = 0; i <= 64; ++i) // 64 lines of 1 KiB fill what may wait, and the last line does not fit
        out.line(std::string(i < 64 ? 1023 : 63, 'z'));
    out.closing("lines not printed because nobody read them: " + std::to_string(out.droppedLines()));
    while (take())
        out.flush();
    EXPECT_EQ(std::count(got.begin(), got.end(), 'z'), 64 * 1023);
    EXPECT_TRUE(got.ends_with("z\nlines not printed because nobody read them: 1\n"));
    ::close(pipe[0]);
    out.line("a"), out.line("b");
    EXPECT_EQ(out.droppedLines(), 3u) << "one each";
    ::close(pipe[1]);
}

namespace {
// A session file's text as the reader takes it; `taken` counts the bytes read.
SessionReader textFile(std::string text, std::size_t* taken = nullptr)
{
    auto at = std::make_shared<std::size_t>(0);
    return SessionReader([text = std::move(text), at, taken](std::span<char> into) -> std::ptrdiff_t {
        const std::size_t n = std::min(into.size(), text.size() - *at);
        std::copy_n(text.data() + *at, n, into.data());
        *at += n;
        if (taken)
            *taken = *at;
        return static_cast<std::ptrdiff_t>(n);
    });
}
} // namespace

// A session file played back: each frame is answered with what came after the
// next identical frame further on. Refused at once, by line or by name, is
// what is not a whole session; a last line cut by a kill is left out, even one
// that would read as a reply.
TEST(SimReplay, FramesAreAnsweredFromTheNextIdenticalFrameAheadAndBadFilesAreRefused)
{
    const std::string head = "# cm_bv_hp 1.2 session of COM1, opened 2026-12-07 12:00:00.000 local time (UTC+00:00)\n12:00:00.000 RX 44\n";
    std::string error;
    const std::string text = head + "12:00:00.100 TX 5A A5\n12:00:00.102 RX 44 +2 ms\n12:00:00.103 RX 33\n12:00:00.200 TX 62 9D\n12:00:00.300 OP Change 8\n"
                                    "12:00:00.400 TX 5A A5\n12:00:00.401 RX 11 +0 ms\n12:00:00.480 NOTE lost\n12:00:00.500 RX 22 fa +86400000 ms\n"
                                    "# a comment\n12:00:00.600 DROP 5A A5\n12:00:00.650 TX 72 8D\n12:00:00.700 RX 44 +50 ms";
    SessionReader file = textFile(text);
    auto r = sim::Replay::load(file, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(file.lineOffset(), text.rfind("12:00:00.650")) << "where the last whole line begins";
    std::string answers;
    for (const char* frame : {"5A A5", "58 A7", "5A A5", "5A A5", "62 9D", "72 8D"}) {
        const auto* pieces = r->answer(hex(frame));
        answers += pieces ? "[" : "-";
        for (const auto& p : pieces ? *pieces : std::vector<sim::Replay::Piece>{})
            answers += std::to_string(p.after.count()) + ":" + toHex(p.bytes) + ";";
    }
    EXPECT_EQ(answers, "[2:44;0:33;-[0:11;86400000:22 FA;--[") << "a reply without a delay comes at once; a day's delay is the longest; the 62 9D behind the cursor is not answered, nor 72 8D by its cut reply";
    EXPECT_EQ(r->answered() * 10 + r->unanswered(), 33u);
    std::size_t taken = 0;
    const std::pair<std::string, const char*> bad[] = {
        {head + "12:00:00.100 TX 5A A5\n24:00:00.000 TX 5A A5\n", "line 4: not an event (HH:MM:SS.mmm TAG ...)"}, // hour 24
        {head + "12:00:0:.100 TX 5A A5\n", "line 3: not an event (HH:MM:SS.mmm TAG ...)"}, // ':' follows '9'
        {head + "12:00:00.100 TX 5A A\n", "line 3: a TX line holds hexadecimal bytes"},
        {head + "12:00:00.100 TX 5A 5G\n", "line 3: a TX line holds hexadecimal bytes"},
        {head + "12:00:00.100 RX 5A +-1 ms\n", "line 3: an RX line's delay is \"+N ms\""},
        {head + "12:00:00.100 SEND 5A\n", "line 3: unknown event \"SEND\""},
        {"# cm_bv_hp 1.2 session of COM1, opened 2026-12-32 12:00:00.000 local time (UTC+00:00)\n12:00:00.100 TX 5A A5\n", "line 1: no session header (\"# cm_bv_hp VERSION session of COMn, opened DATE TIME local time (UTC+hh:mm)\")"},
        {"", "line 1: no session header (\"# cm_bv_hp VERSION session of COMn, opened DATE TIME local time (UTC+hh:mm)\")"}, // a console killed as it began the file
        {head + "# closed 12:00:01.000: Port Close\n", "no TX line: the session sent no frame to answer"},
        {head + "12:00:00.100 TX 5A A5\n12:00:00.101 RX 44 +86400001 ms\n", "line 4: an RX line's delay is at most 24 hours"},
        {head + "12:00:00.100 TX 5A A5\n12:00:00.101 RX" + std::string(8u << 20, ' ') + "\n", "line 4: longer than any line of a session file (2 MiB)"},
    };
    for (const auto& [text, why] : bad) {
        SessionReader in = textFile(text, &taken);
        EXPECT_TRUE(!sim::Replay::load(in, error) && error == why && in.next() == (error.starts_with("line") ? SessionReader::Line::Refused : SessionReader::Line::End)) << "refused, and after, as: " << error;
    }
    EXPECT_LT(taken, 4u << 20) << "the long line is not read whole";
    const std::string fifo = ::testing::TempDir() + "replay-fifo";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socket = ::testing::TempDir() + "replay-socket";
    ::unlink(socket.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket.copy(address.sun_path, sizeof address.sun_path - 1);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    for (const auto& [path, why] : {std::pair{fifo, "it is a FIFO, not a session file"}, std::pair{std::string("/dev/null"), "it is a device, not a session file"},
                                    std::pair{::testing::TempDir(), "it is a folder, not a session file"},
                                    std::pair{socket, "it is a socket, not a session file"}})
        EXPECT_TRUE(!SessionReader::open(path, error) && error == why) << path << " refused as: " << error;
    ::close(s);
    ::unlink(socket.c_str());
    ::unlink(fifo.c_str());
}
