#pragma once

#include "ScriptedPort.h"
#include "common/FormControls.h"
#include "common/PollTimer.h"
#include "window/Engine.h"
#include "link/SerialComponent.h"

#include <QStringList>
#include <array>

namespace cmbvhp::test {

// The window as plain values: box texts, the two logs, the device choice and
// the messages shown to the operator.
class FakeWindow : public FormControls {
public:
    FakeWindow()
    {
        for (Box b : {Box::TxtCh, Box::hpCount0, Box::hpCount1, Box::hpCount2, Box::hpCount3})
            setText(b, QStringLiteral("0"));
    }
    QString text(Box box) const override { return texts[static_cast<std::size_t>(box)]; }
    void setText(Box box, const QString& t) override { texts[static_cast<std::size_t>(box)] = t; }
    void appendLog(Log log, QStringView t) override { (log == Log::Text1 ? tx : rx).append(t); }
    void appendLogLine(Log log, QStringView t) override
    {
        QString& s = log == Log::Text1 ? tx : rx;
        if (!s.isEmpty() && !s.endsWith(u"\r\n"))
            s.append(u"\r\n");
        s.append(t).append(u"\r\n");
    }
    bool isSelected(Choice c) const override { return selected[static_cast<std::size_t>(c)]; }
    void tellOperator(const QString& message) override { messages.append(message); }

    std::array<QString, 18> texts;
    QString tx, rx;
    std::array<bool, 5> selected{true, false, true, false, false}; // checkBv, checkHp, optionCm, optionSlt, OptionCoin
    QStringList messages;
};

// Timer1 under the test's control: the test calls the tick itself.
class FakeTimer : public PollTimer {
public:
    void setInterval(std::chrono::milliseconds i) override { interval_ = i, ++restarts; }
    std::chrono::milliseconds interval() const override { return interval_; }
    void setEnabled(bool on) override
    {
        restarts += on && !enabled_;
        enabled_ = on;
    }
    bool isEnabled() const override { return enabled_; }

    int restarts = 0; // countdowns restarted

private:
    std::chrono::milliseconds interval_{0};
    bool enabled_ = false;
};

// The time as the test sets it, in milliseconds.
class FakeClock : public Clock {
public:
    Moment now() const override { return {ms, ms}; }
    std::int64_t ms = 0;
};

// The link logic on a fake window, a scripted port and a test-driven timer, with
// the port open and the link state as start-up leaves it.
struct Rig {
    Rig()
        : port(new ScriptedPort),
          comeOne(std::unique_ptr<SerialBackend>(port), [](int n) { return "/dev/test" + std::to_string(n); }),
          engine(ui, comeOne, timer, clock)
    {
        comeOne.setRThreshold(1);
        comeOne.setPortOpen(true);
        comeOne.OnComm = [this] { engine.ComeOne_OnComm(); };
        engine.state().rxPos = 1;
        timer.setInterval(kPollInterval);
        timer.setEnabled(true);
        timer.restarts = 0;
    }

    FakeWindow ui;
    FakeTimer timer;
    FakeClock clock;
    ScriptedPort* port; // owned by comeOne
    SerialComponent comeOne;
    Engine engine;
};

// One scenario on a fresh Rig, written as text so that a case is a table row.
// Steps, separated by ";":
//   tick, tick*N          poll ticks
//   in HEX...             bytes received in one notification; in/N: N at a time
//   reply TYPE HEX...     a framed reply (length and check byte added)
//   bv I, cm I, hp I      a click on bvCmd(I), cmCmd(I), cmdHp1(I)
//   send short C | bvSet A | bvReturn A | cmSet A | change | hp I
//   full, ok              the port stops (starts again) taking bytes
//   reopen                the port is closed and opened again
//   ?CHECK                a check (see below) made at that point
//   NAME=VALUE            a state field (curDevice, bvMiss, ...), viewMode, a
//                         box (TxtCh, hpCount0, ...), checkBv=0|1,
//                         coin=cm|slt|none, timer=on|off, interval=MS, and
//                         ms=N, the clock
// Checks, separated by ";", each NAME=VALUE compared exactly:
//   wire  the frames written, " / " between them; last: the last frame;
//   frames: how many; tx, rx: the logs, "|" for each line end; msg: the
//   operator's messages, "|" between them; NAME~=VALUE: contains VALUE;
//   a state field, rxBuf@P (hex), a box, timer, interval, restarts;
//   bvHealth, cmHealth, hpHealth: a party's line health; and
//   "same", which holds when no state field differs from the start. A "; "
//   inside a value stays in it when what follows is no NAME=.
struct Case {
    std::string steps;
    std::string checks;
};
void runCases(std::initializer_list<Case> cases);

} // namespace cmbvhp::test
