#include "Options.h"

#include <charconv>

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

// Seconds, 0 or more.
std::optional<double> seconds(const std::string& text)
{
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !(v >= 0))
        return std::nullopt;
    return v;
}

} // namespace

std::optional<CommandLine> parseCommandLine(std::span<const std::string> args)
{
    CommandLine c;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--quiet") {
            c.quiet = true;
            continue;
        }
        if (i + 1 >= args.size())
            return std::nullopt;
        const std::string& v = args[++i];
        if (a == "--link")
            c.link = v;
        else if (a == "--record")
            c.record = v;
        else if (a == "--coin" && v == "mech")
            c.devices.coin = CoinKind::Mechanism;
        else if (a == "--coin" && v == "selector")
            c.devices.coin = CoinKind::Selector;
        else if (a == "--coin" && v == "none")
            c.devices.coin = CoinKind::None;
        else if (a == "--fault" && faultNamed(v))
            c.devices.faults.insert(*faultNamed(v));
        else if (a == "--bill-every" && seconds(v))
            c.billEvery = *seconds(v);
        else if (a == "--coin-every" && seconds(v))
            c.coinEvery = *seconds(v);
        else if (a == "--seed" && !v.empty() && std::from_chars(v.data(), v.data() + v.size(), c.devices.seed).ptr == v.data() + v.size())
            continue;
        else
            return std::nullopt;
    }
    return c;
}

} // namespace cmbvhp::sim
