#pragma once

#include "FakeWindow.h"
#include "ScriptedPort.h"
#include "console/Engine.h"
#include "link/SerialComponent.h"

#include <QString>
#include <QStringList>
#include <ostream>

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
        state().rxPos = 1;
        timer.setInterval(kPollInterval);
        timer.setEnabled(true);
        timer.restarts = 0;
    }

    WindowState& state() { return engine.state(); }
    GblFlag& gblFlag() { return engine.gblFlag(); }
    void tick() { engine.Timer1_Timer(); }
    void receive(const Bytes& bytes) { port->feed(bytes); }

    FakeWindow ui;
    FakeTimer timer;
    ScriptedPort* port; // owned by comeOne
    SerialComponent comeOne;
    Engine engine;
};

// Bytes from "5A A5" text, for readable tables.
inline Bytes hex(std::string_view text)
{
    Bytes out;
    for (const QString& p : QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).split(u' ', Qt::SkipEmptyParts))
        out.push_back(static_cast<std::uint8_t>(p.toUInt(nullptr, 16)));
    return out;
}

// A framed reply: type, N, data, XOR of N and the data.
inline Bytes framed(std::uint8_t type, const Bytes& data)
{
    Bytes out{type, static_cast<std::uint8_t>(data.size())};
    std::uint8_t x = static_cast<std::uint8_t>(data.size());
    for (auto b : data) {
        out.push_back(b);
        x ^= b;
    }
    out.push_back(x);
    return out;
}

// "5A A5" from bytes, so that tables compare readable text.
inline std::string toHex(const Bytes& bytes)
{
    static constexpr char d[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            out += ' ';
        out += d[bytes[i] >> 4];
        out += d[bytes[i] & 15];
    }
    return out;
}

// One scenario on a fresh Rig, written as text so that a case is a table row.
// Steps, separated by ";":
//   tick, tick*N          poll ticks
//   in HEX...             bytes received in one notification; in/N: N at a time
//   reply TYPE HEX...     a framed reply (length and check byte added)
//   bv I, cm I, hp I      a click on bvCmd(I), cmCmd(I), cmdHp1(I)
//   send short C | bvSet A | bvReturn A | cmSet A | change | hp I
//   full, ok              the port stops (starts again) taking bytes
//   NAME=VALUE            a state field (curDevice, bvMiss, ...), viewMode, a
//                         box (TxtCh, hpCount0, ...), checkBv=0|1,
//                         coin=cm|slt|none, timer=on|off, interval=MS
// Checks, separated by ";", each NAME=VALUE compared exactly:
//   wire  the frames written, " / " between them; last: the last frame;
//   frames: how many; tx, rx: the logs, "|" for each line end; msg: the
//   operator's messages, "|" between them; NAME~=VALUE: contains VALUE;
//   a state field, rxBuf@P (hex), a box, timer, interval, restarts; and
//   "same", which holds when no state field changed.
struct Case {
    const char* steps;
    const char* checks;
};
void runCase(const Case& c);
void runCases(std::initializer_list<Case> cases);

} // namespace cmbvhp::test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
