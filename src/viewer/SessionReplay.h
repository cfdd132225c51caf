#pragma once

#include "common/FormControls.h"
#include "common/PollTimer.h"
#include "link/SerialComponent.h"
#include "record/SessionReader.h"
#include "window/Engine.h"

#include <array>
#include <functional>
#include <memory>

namespace cmbvhp {

// A session file played through the console's own logic: its framer, its
// decoders and its command buttons, on a window of plain values. What a tick
// did when its frame went out is done again from the file's TX line; the
// received bytes go through the framer as they came; the operator's view
// changes, "Clear Text", amounts, counts and clicks are played from the OP
// lines. So the "Data" boxes read at any moment what the console showed then.
class SessionReplay : private FormControls, private PollTimer, private Clock {
public:
    SessionReplay();
    ~SessionReplay() override;
    SessionReplay(const SessionReplay&) = delete;
    SessionReplay& operator=(const SessionReplay&) = delete;

    // The device choice, from the file's "# devices ..." line.
    void setDevices(std::string_view devices);
    // One event, at its time in milliseconds since the epoch.
    void play(const SessionEvent& event, std::int64_t ms);

    QString box(Box b) const { return texts_[static_cast<std::size_t>(b)]; }
    const LineHealth& health() const { return engine_.health(); }
    LineHealth& health() { return engine_.health(); }
    const WindowState& state() const { return engine_.state(); }
    std::int16_t viewMode() const { return engine_.gblFlag().viewMode; }

    // Where the logs' text goes while it is shown, the times of their lines
    // being the event's (see now()); nothing while none is set.
    struct LogSink {
        std::function<void(Log, QStringView)> append;
        std::function<void(Log, QStringView)> appendLine;
        std::function<void(Log)> clear;
    };
    void setLogSink(LogSink sink) { sink_ = std::move(sink); }
    // Moves the receive log's view away from the one recorded (none: as
    // recorded), for showing; the boxes then no longer follow the file.
    void forceView(std::optional<std::int16_t> view);

    // All the replay holds but the line health, to start again from.
    struct Snapshot {
        WindowState state;
        GblFlag flags;
        std::array<QString, kBoxCount> texts;
        std::array<bool, 5> choices{};
    };
    Snapshot snapshot() const;
    void restore(const Snapshot& s);
    Moment now() const override { return now_; }

private:
    // FormControls
    QString text(Box b) const override { return texts_[static_cast<std::size_t>(b)]; }
    void setText(Box b, const QString& t) override { texts_[static_cast<std::size_t>(b)] = t; }
    void appendLog(Log log, QStringView t) override;
    void appendLogLine(Log log, QStringView t) override;
    bool isSelected(Choice c) const override { return choices_[static_cast<std::size_t>(c)]; }
    void tellOperator(const QString&) override {}
    // PollTimer: the file's TX lines are the ticks.
    void setInterval(std::chrono::milliseconds) override {}
    std::chrono::milliseconds interval() const override { return kPollInterval; }
    void setEnabled(bool) override {}
    bool isEnabled() const override { return true; }

    void sent(const SessionEvent& e, bool taken);
    void operatorDid(std::string_view what);
    void clearLog(Log log);

    class Feed;
    Feed* feed_; // owned by port_
    SerialComponent port_;
    Engine engine_;
    std::array<QString, kBoxCount> texts_;
    std::array<bool, 5> choices_{}; // checkBv, checkHp, optionCm, optionSlt, OptionCoin: from the file's devices line
    Moment now_;
    LogSink sink_;
    std::optional<std::int16_t> forcedView_;
};

// Which party a frame of the file was for, by the device codes of its first byte.
Party partyOfFrame(std::span<const std::uint8_t> frame);

} // namespace cmbvhp
