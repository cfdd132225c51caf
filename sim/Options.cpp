#include "Options.h"

#include <charconv>
#include <cmath>

namespace cmbvhp::sim {

namespace {

std::optional<Fault> faultNamed(const std::string& name)
{
    const std::pair<const char*, Fault> names[] = {
        {"silence", Fault::Silence},   {"badcheck", Fault::BadCheck},        {"short", Fault::CutShort},
        {"random", Fault::RandomBytes}, {"no-bv", Fault::NoBillValidator},   {"no-cm", Fault::NoCoinMech},
        {"no-hp", Fault::NoHoppers},    {"empty", Fault::HoppersEmpty}};
    for (const auto& [n, f] : names)
        if (name == n)
            return f;
    return std::nullopt;
}

// Seconds from 0 to a day. Infinite or huge values are refused: they would
// overflow the clock's arithmetic.
std::optional<double> seconds(const std::string& text)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v < 0 || v > kMaxEverySeconds)
        return std::nullopt;
    return v;
}

} // namespace

std::optional<CommandLine> parseCommandLine(std::span<const std::string> args, std::string& error)
{
    CommandLine c;
    bool devicesGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--quiet" || a == "--help" || a == "-h" || a == "--version") {
            (a == "--quiet" ? c.quiet : a == "--version" ? c.version : c.help) = true;
            continue;
        }
        const bool known = a == "--link" || a == "--record" || a == "--replay" || a == "--coin" || a == "--fault" ||
                           a == "--bill-every" || a == "--coin-every" || a == "--seed";
        if (!known) {
            error = "unknown option " + a;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            error = a + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        devicesGiven = devicesGiven || (a != "--link" && a != "--record" && a != "--replay");
        if (a == "--link")
            c.link = v;
        else if (a == "--record")
            c.record = v;
        else if (a == "--replay")
            c.replay = v;
        else if (a == "--coin" && (v == "mech" || v == "selector" || v == "none"))
            c.devices.coin = v == "mech" ? CoinKind::Mechanism : v == "selector" ? CoinKind::Selector : CoinKind::None;
        else if (a == "--fault" && faultNamed(v))
            c.devices.faults.insert(*faultNamed(v));
        else if ((a == "--bill-every" || a == "--coin-every") && seconds(v))
            (a == "--bill-every" ? c.billEvery : c.coinEvery) = *seconds(v);
        else if (a == "--seed" && !v.empty() &&
                 [&] {
                     const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), c.devices.seed);
                     return ec == std::errc() && end == v.data() + v.size();
                 }())
            continue;
        else {
            const char* want = a == "--coin"    ? "mech, selector or none"
                               : a == "--fault" ? "silence, badcheck, short, random, no-bv, no-cm, no-hp or empty"
                               : a == "--seed"  ? "a whole number from 0 to 4294967295"
                                                : "seconds from 0 to 86400, written with a point";
            error = a + " takes " + want + ", not \"" + v + "\"";
            return std::nullopt;
        }
    }
    if (!c.replay.empty() && devicesGiven) {
        error = "--replay plays the recorded devices; --coin, --fault, --bill-every, --coin-every and --seed do not apply";
        return std::nullopt;
    }
    return c;
}

} // namespace cmbvhp::sim
