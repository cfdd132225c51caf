#pragma once

#include "SessionReplay.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cmbvhp {

// A session file read once, to move through it: the console's state every
// quarter of a megabyte (to play on from), where something worth finding happened,
// and each device's line health over the whole session. The file's times
// carry no date: the days are counted from the header's, by the "# date" lines
// and, in files written before them, by the times passing midnight.
class SessionIndex {
public:
    struct Info {
        SessionHeader header;
        std::string reach, settings, devices;
        std::int64_t openedMs = 0; // since the epoch
        std::int64_t lastMs = 0;   // the last event's
        int drops = 0, notes = 0;
        std::string ended; // the reason the file gives; empty when it ends without one
        std::optional<std::int64_t> closedMs; // the time of its closing line
    };
    enum class Mark : std::uint8_t { Drop, Bad, Silent, Note, Op };
    static constexpr const char* kMarkNames[] = {"DROP", "bad reply", "silent frames", "NOTE", "OP"};
    struct MarkAt {
        std::int64_t ms;
        Mark kind;
    };

    // Opens FILE and reads its header lines; `error` says why not.
    static std::optional<SessionIndex> open(const std::string& path, std::string& error);
    SessionIndex(SessionIndex&&) = default;
    SessionIndex& operator=(SessionIndex&&) = default;

    // Played between two checkpoints at most: a jump plays no more than this.
    static constexpr std::uint64_t kCheckpointEvery = 256u << 10;
    // Reads the whole file: `progress` hears the share read now and then;
    // false when the file was refused (error()) or the reading was stopped.
    bool build(const std::function<void(double)>& progress = {}, const std::atomic<bool>* stop = nullptr,
               std::uint64_t checkpointEvery = kCheckpointEvery);
    const std::string& error() const { return error_; }

    const Info& info() const { return info_; }
    const std::vector<MarkAt>& marks() const { return marks_; }
    const LineHealth& health() const { return health_; }

    // Plays the file into `replay` from the last checkpoint at or before `from`
    // until the first event after `to`; `onEvent` hears each event's time
    // before it is played. The replay's health counts only what was played.
    void play(SessionReplay& replay, std::int64_t from, std::int64_t to, const std::function<void(std::int64_t)>& onEvent = {}) const;
    // The stretch the logs show around `ms`: about half a megabyte of the file
    // from the checkpoint before it; the first minute before the file is read.
    std::pair<std::int64_t, std::int64_t> stretchAround(std::int64_t ms) const;
    // The time a text names: "HH:MM:SS.mmm", its first occurrence from the
    // opening on, or "YYYY-MM-DD HH:MM:SS.mmm".
    std::optional<std::int64_t> timeOf(std::string_view text) const;
    // "2026-12-07 16:15:01.829", in the file's own local time.
    std::string timeText(std::int64_t ms) const;

private:
    SessionIndex(std::string path, SessionReader reader) : path_(std::move(path)), reader_(std::move(reader)) {}
    struct Days {
        int day = 0;
        std::int32_t lastMsOfDay = 0;
    };
    struct Checkpoint {
        std::uint64_t offset; // of the first line to play after it
        std::size_t line;
        std::int64_t ms;
        Days days;
        SessionReplay::Snapshot snapshot;
    };
    std::int64_t msOf(int day, std::int32_t msOfDay) const;
    void dateLine(std::string_view text, Days& days) const;
    std::int64_t timeOfEvent(const SessionEvent& e, Days& days) const;
    std::int64_t zoneMs() const;

    std::string path_;
    SessionReader reader_;
    std::string error_;
    Info info_;
    std::vector<Checkpoint> checkpoints_;
    std::vector<MarkAt> marks_;
    LineHealth health_;
    std::uint64_t firstEvent_ = 0; // the offset and line of the first event
    std::size_t firstLine_ = 0;
    Days firstDays_;
};

} // namespace cmbvhp
