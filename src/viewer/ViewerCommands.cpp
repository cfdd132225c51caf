#include "ViewerCommands.h"

#include "SessionIndex.h"

#include <ostream>

namespace cmbvhp {

namespace {
// The "Data" frame's boxes, by their control names, in the order they stand.
constexpr std::pair<const char*, Box> kDataBoxes[] = {
    {"txtamount", Box::txtamount}, {"TxtCh", Box::TxtCh}, {"Txt08", Box::Txt08}, {"Txt09", Box::Txt09}, {"txt0a", Box::txt0a},
    {"Txt0b", Box::Txt0b},         {"txt18", Box::txt18}, {"txt19", Box::txt19}, {"txt1a", Box::txt1a}, {"txt1b", Box::txt1b},
    {"txt14", Box::txt14},         {"txt15", Box::txt15}, {"txt16", Box::txt16}, {"txt17", Box::txt17},
};

// The file opened and read whole; none, and `error` saying why, when refused.
std::optional<SessionIndex> readWhole(const std::string& file, std::string& error)
{
    auto index = SessionIndex::open(file, error);
    if (index && !index->build()) {
        error = index->error();
        return std::nullopt;
    }
    return index;
}

// "52:04:10.003": hours, minutes, seconds, whatever the days.
std::string lasted(std::int64_t ms)
{
    char out[32];
    std::snprintf(out, sizeof out, "%d:%02d:%02d.%03d", static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                  static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return out;
}
} // namespace

int printSummary(std::span<const std::string> files, std::ostream& out)
{
    out << "file\topened\tlasted\tport\tdevices";
    for (const char* party : kPartyNames)
        out << '\t' << party << " (frames/answered/bad/silent)";
    out << "\tDROP\tNOTE\tended\n";
    int result = 0;
    for (const std::string& file : files) {
        std::string error;
        const auto index = readWhole(file, error);
        if (!index) {
            out << file << "\trefused: " << error << '\n';
            result = 1;
            continue;
        }
        const SessionIndex::Info& i = index->info();
        out << file << '\t' << index->timeText(i.openedMs) << '\t' << lasted(i.closedMs.value_or(i.lastMs) - i.openedMs) << "\tCOM" << i.header.port << '\t'
            << i.devices;
        for (std::size_t p = 0; p < kParties; ++p) {
            const PartyHealth& h = index->health().party(static_cast<Party>(p));
            if (h.frames == 0)
                out << "\t-";
            else
                out << '\t' << h.frames << '/' << h.answered << '/' << h.bad << '/' << h.silent;
        }
        out << '\t' << i.drops << '\t' << i.notes << '\t' << (i.ended.empty() ? "(no closing line: the file was cut or is being written)" : i.ended)
            << '\n';
    }
    return result;
}

int printBoxesAt(const std::string& time, const std::string& file, std::ostream& out, std::ostream& err)
{
    std::string error;
    const auto index = readWhole(file, error);
    if (!index) {
        err << file << " is refused: " << error << '\n';
        return 1;
    }
    const auto at = index->timeOf(time);
    if (!at || *at < index->info().openedMs) {
        err << '"' << time << "\" is no time of the session, which opened " << index->timeText(index->info().openedMs)
            << " (give HH:MM:SS.mmm or YYYY-MM-DD HH:MM:SS.mmm)\n";
        return 2;
    }
    SessionReplay replay;
    index->play(replay, *at, *at);
    for (const auto& [name, box] : kDataBoxes)
        out << name << ' ' << replay.box(box).toStdString() << '\n';
    return 0;
}

} // namespace cmbvhp
