#include "SessionIndex.h"

#include <chrono>
#include <cstdio>
#include <sys/stat.h>

namespace cmbvhp {

namespace {
constexpr std::int64_t kDayMs = 24LL * 3600 * 1000;
// Silent frames in a row that make a mark.
constexpr std::uint64_t kSilentRun = 3;

std::int64_t daysOf(int y, int m, int d)
{
    using namespace std::chrono;
    return sys_days(year_month_day(year(y), month(static_cast<unsigned>(m)), day(static_cast<unsigned>(d)))).time_since_epoch().count();
}
} // namespace

std::optional<SessionIndex> SessionIndex::open(const std::string& path, std::string& error)
{
    auto reader = SessionReader::open(path, error);
    if (!reader)
        return std::nullopt;
    SessionIndex index(path, std::move(*reader));
    // The header, and the "#" lines after it that describe the session.
    SessionReader::Line line;
    while ((line = index.reader_.next()) == SessionReader::Line::Comment) {
        const std::string_view c = index.reader_.comment();
        // A session closed before its first event: its closing is read with
        // the events, from here.
        if (c.starts_with("closed "))
            break;
        for (auto [key, into] : {std::pair{std::string_view("devices "), &index.info_.devices}, {"line settings ", &index.info_.settings}})
            if (c.starts_with(key))
                *into = std::string(c.substr(key.size()));
        if (const auto colon = c.find(": "); c.starts_with("port COM") && colon != std::string_view::npos)
            index.info_.reach = std::string(c.substr(colon + 2));
    }
    if (line == SessionReader::Line::Refused) {
        error = index.reader_.error();
        return std::nullopt;
    }
    index.info_.header = index.reader_.header();
    index.info_.openedMs = index.msOf(0, index.info_.header.msOfDay);
    index.info_.lastMs = index.info_.openedMs;
    // Played again from the first event: the reader stands past it now.
    index.firstEvent_ = index.reader_.lineOffset();
    index.firstLine_ = index.reader_.lineNumber() - 1;
    index.firstDays_ = {0, index.info_.header.msOfDay};
    return index;
}

std::int64_t SessionIndex::zoneMs() const
{
    const std::string& z = info_.header.zone; // "+05:30"
    if (z.size() != 6)
        return 0;
    const int minutes = ((z[1] - '0') * 10 + (z[2] - '0')) * 60 + (z[4] - '0') * 10 + (z[5] - '0');
    return (z[0] == '-' ? -1 : 1) * minutes * 60000LL;
}

std::int64_t SessionIndex::msOf(int day, std::int32_t msOfDay) const
{
    const SessionHeader& h = info_.header;
    return (daysOf(h.year, h.month, h.day) + day) * kDayMs + msOfDay - zoneMs();
}

// A "# date" line begins a day.
void SessionIndex::dateLine(std::string_view text, Days& days) const
{
    int y = 0, m = 0, d = 0;
    if (text.starts_with("date ") && std::sscanf(std::string(text.substr(5)).c_str(), "%4d-%2d-%2d", &y, &m, &d) == 3 && m >= 1 &&
        m <= 12 && d >= 1 && d <= 31) {
        const SessionHeader& h = info_.header;
        days = {static_cast<int>(daysOf(y, m, d) - daysOf(h.year, h.month, h.day)), 0};
    }
}

bool SessionIndex::build(const std::function<void(double)>& progress, const std::atomic<bool>* stop, std::uint64_t checkpointEvery)
{
    std::string error;
    auto reader = SessionReader::open(path_, error, firstEvent_, firstLine_);
    if (!reader) {
        error_ = error;
        return false;
    }
    struct stat st{};
    const double size = ::stat(path_.c_str(), &st) == 0 && st.st_size > 0 ? static_cast<double>(st.st_size) : 1.0;
    SessionReplay replay;
    replay.setDevices(info_.devices);
    Days days = firstDays_;
    std::uint64_t nextCheckpoint = 0;
    // Per party: the silent frames in a row so far.
    std::array<std::uint64_t, kParties> silentRun{};
    std::array<std::int64_t, kParties> runStart{};
    std::int64_t lastSent = info_.openedMs;
    for (;;) {
        if (reader->lineOffset() >= nextCheckpoint) {
            checkpoints_.push_back({reader->lineOffset(), reader->lineNumber(), info_.lastMs, days, replay.snapshot()});
            nextCheckpoint = reader->lineOffset() + checkpointEvery;
            if (progress)
                progress(static_cast<double>(reader->lineOffset()) / size);
            if (stop && *stop)
                return false;
        }
        const SessionReader::Line line = reader->next();
        if (line == SessionReader::Line::End)
            break;
        if (line == SessionReader::Line::Refused) {
            error_ = reader->error();
            return false;
        }
        if (line == SessionReader::Line::Comment) {
            const std::string_view c = reader->comment();
            dateLine(c, days);
            if (c.starts_with("closed ") && c.size() > 21) { // "closed HH:MM:SS.mmm: reason"
                info_.ended = std::string(c.substr(21));
                int h = 0, m = 0, sec = 0, milli = 0;
                if (std::sscanf(std::string(c.substr(7, 12)).c_str(), "%2d:%2d:%2d.%3d", &h, &m, &sec, &milli) == 4 && h >= 0 && h < 24 &&
                    m >= 0 && m < 60 && sec >= 0 && sec < 60 && milli >= 0) {
                    SessionEvent closing;
                    closing.msOfDay = ((h * 60 + m) * 60 + sec) * 1000 + milli;
                    Days after = days;
                    info_.closedMs = timeOfEvent(closing, after);
                }
            }
            continue;
        }
        const SessionEvent& e = reader->event();
        const std::int64_t ms = timeOfEvent(e, days);
        info_.lastMs = ms;
        // A frame is judged when the next goes out: what the health counts
        // then belongs to the frame before.
        std::array<std::array<std::uint64_t, 3>, kParties> before{};
        for (std::size_t p = 0; p < kParties; ++p) {
            const PartyHealth& h = replay.health().party(static_cast<Party>(p));
            before[p] = {h.frames, h.bad, h.silent};
        }
        replay.play(e, ms);
        switch (e.kind) {
        case SessionEvent::Kind::Drop:
            ++info_.drops;
            marks_.push_back({ms, Mark::Drop});
            break;
        case SessionEvent::Kind::Note:
            ++info_.notes;
            marks_.push_back({ms, Mark::Note});
            break;
        case SessionEvent::Kind::Op: marks_.push_back({ms, Mark::Op}); break;
        case SessionEvent::Kind::Tx:
            for (std::size_t p = 0; p < kParties; ++p) {
                const PartyHealth& now = replay.health().party(static_cast<Party>(p));
                if (now.bad > before[p][1])
                    marks_.push_back({lastSent, Mark::Bad});
                if (now.silent > before[p][2]) {
                    runStart[p] = silentRun[p] == 0 ? lastSent : runStart[p];
                    if (++silentRun[p] == kSilentRun)
                        marks_.push_back({runStart[p], Mark::Silent});
                } else if (now.frames > before[p][0]) {
                    silentRun[p] = 0;
                }
            }
            lastSent = ms;
            break;
        case SessionEvent::Kind::Rx: break;
        }
    }
    replay.health().close();
    health_ = replay.health();
    if (progress)
        progress(1.0);
    return true;
}

void SessionIndex::play(SessionReplay& replay, std::int64_t from, std::int64_t to, const std::function<void(std::int64_t)>& onEvent) const
{
    auto at = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), from, [](std::int64_t ms, const Checkpoint& c) { return ms < c.ms; });
    const Checkpoint* start = at == checkpoints_.begin() ? nullptr : &*(at - 1);
    std::string error;
    auto reader = start ? SessionReader::open(path_, error, start->offset, start->line) : SessionReader::open(path_, error, firstEvent_, firstLine_);
    if (!reader)
        return;
    replay.setDevices(info_.devices);
    if (start)
        replay.restore(start->snapshot);
    replay.health().reset();
    Days days = start ? start->days : firstDays_;
    for (;;) {
        const SessionReader::Line line = reader->next();
        if (line == SessionReader::Line::End || line == SessionReader::Line::Refused)
            return;
        if (line == SessionReader::Line::Comment) {
            dateLine(reader->comment(), days);
            continue;
        }
        const SessionEvent& e = reader->event();
        const std::int64_t ms = timeOfEvent(e, days);
        if (ms > to)
            return;
        if (onEvent)
            onEvent(ms);
        replay.play(e, ms);
    }
}

std::pair<std::int64_t, std::int64_t> SessionIndex::stretchAround(std::int64_t ms) const
{
    if (checkpoints_.empty())
        return {info_.openedMs, info_.openedMs + 60'000};
    auto at = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), ms, [](std::int64_t t, const Checkpoint& c) { return t < c.ms; });
    const std::size_t k = at == checkpoints_.begin() ? 0 : static_cast<std::size_t>(at - checkpoints_.begin() - 1);
    return {checkpoints_[k].ms, k + 2 < checkpoints_.size() ? checkpoints_[k + 2].ms : info_.lastMs};
}

std::int64_t SessionIndex::timeOfEvent(const SessionEvent& e, Days& days) const
{
    if (e.msOfDay < days.lastMsOfDay - kDayMs / 2)
        ++days.day; // past midnight, in a file that does not say so
    days.lastMsOfDay = e.msOfDay;
    return msOf(days.day, e.msOfDay);
}

std::optional<std::int64_t> SessionIndex::timeOf(std::string_view text) const
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    const std::string t(text);
    char tail = 0;
    if (std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &y, &mo, &d, &h, &mi, &s, &ms, &tail) == 7 && mo >= 1 && mo <= 12 &&
        d >= 1 && d <= 31 && h < 24 && mi < 60 && s < 60 && t.size() == 23) {
        const SessionHeader& hd = info_.header;
        return msOf(static_cast<int>(daysOf(y, mo, d) - daysOf(hd.year, hd.month, hd.day)), ((h * 60 + mi) * 60 + s) * 1000 + ms);
    }
    if (std::sscanf(t.c_str(), "%2d:%2d:%2d.%3d%c", &h, &mi, &s, &ms, &tail) == 4 && h < 24 && mi < 60 && s < 60 && t.size() == 12) {
        const std::int32_t msOfDay = ((h * 60 + mi) * 60 + s) * 1000 + ms;
        return msOf(msOfDay >= info_.header.msOfDay ? 0 : 1, msOfDay);
    }
    return std::nullopt;
}

std::string SessionIndex::timeText(std::int64_t ms) const
{
    using namespace std::chrono;
    const sys_time<milliseconds> local{milliseconds(ms + zoneMs())};
    const auto day = floor<days>(local);
    const year_month_day date{day};
    const std::int64_t in = (local - day).count();
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(in / 3600000), static_cast<int>(in / 60000 % 60),
                  static_cast<int>(in / 1000 % 60), static_cast<int>(in % 1000));
    return out;
}

} // namespace cmbvhp
