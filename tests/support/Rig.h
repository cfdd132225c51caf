#pragma once

#include "FakeWindow.h"
#include "ScriptedPort.h"
#include "console/Engine.h"
#include "link/SerialComponent.h"

#include <QString>
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
    }

    WindowState& state() { return engine.state(); }
    GblFlag& gblFlag() { return engine.gblFlag(); }
    void tick() { engine.Timer1_Timer(); }
    // Ticks once and returns what went on the wire.
    Bytes tickWire()
    {
        tick();
        return port->takeWire();
    }
    void receive(const Bytes& bytes) { port->feed(bytes); }
    // Addresses a device as its slot would, without sending anything.
    void address(std::uint8_t device)
    {
        state().curDevice = device;
        state().rxPos = 1;
    }

    FakeWindow ui;
    FakeTimer timer;
    ScriptedPort* port; // owned by comeOne
    SerialComponent comeOne;
    Engine engine;
};

// Bytes from "5A A5" text, for readable tables.
inline Bytes hex(const char* text)
{
    Bytes out;
    const QStringList parts = QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
    for (const QString& p : parts)
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

} // namespace cmbvhp::test

namespace cmbvhp::test {
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
} // namespace cmbvhp::test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
