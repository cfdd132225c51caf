#pragma once

#include "Devices.h"
#include "FakeWindow.h"
#include "ScriptedPort.h"
#include "console/Engine.h"
#include "link/SerialComponent.h"


namespace cmbvhp::test {

// The link logic on a fake window, a scripted port and a test-driven timer, with
// the port open and the link state as start-up leaves it.
struct Rig {
    Rig()
        : port(new ScriptedPort),
          comeOne(std::unique_ptr<SerialBackend>(port), [](int n) { return "/dev/test" + std::to_string(n); }),
          engine(ui, comeOne, timer)
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
//                         coin=cm|slt|none, timer=on|off, interval=MS
// Checks, separated by ";", each NAME=VALUE compared exactly:
//   wire  the frames written, " / " between them; last: the last frame;
//   frames: how many; tx, rx: the logs, "|" for each line end; msg: the
//   operator's messages, "|" between them; NAME~=VALUE: contains VALUE;
//   a state field, rxBuf@P (hex), a box, timer, interval, restarts; and
//   "same", which holds when no state field changed. A "; " inside a value
//   stays in it when what follows is no NAME=.
struct Case {
    std::string steps;
    std::string checks;
};
void runCases(std::initializer_list<Case> cases);

} // namespace cmbvhp::test
