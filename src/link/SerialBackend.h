#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace cmbvhp {

// Raised by the serial component for a value it refuses or a port it cannot open.
class CommError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Parity : char { None = 'N', Even = 'E', Odd = 'O', Mark = 'M', Space = 'S' };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    int baud = 9600;
    Parity parity = Parity::Even;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool operator==(const LineSettings&) const = default;
};

// The host's serial port, as the serial component needs it. The product puts
// QSerialPort behind it; tests use a scripted fake.
class SerialBackend {
public:
    class Listener {
    public:
        virtual ~Listener() = default;
        // At least one byte is waiting. Delivered on the window's thread.
        virtual void readable() = 0;
        // The device went away while open (adapter pulled, far end closed). The
        // backend has closed itself already; delivered once, never from inside
        // one of the backend's own calls.
        virtual void lost(const std::string& reason) = 0;
    };

    virtual ~SerialBackend() = default;

    void setListener(Listener* listener) { listener_ = listener; }

    // Opens the device with exactly these settings, no flow control, DTR and RTS
    // as given, and discards what waited to be read. Throws CommError when the
    // device is missing, busy, or refuses a setting.
    virtual void open(const std::string& device, const LineSettings& settings, bool dtr, bool rts) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Queues the bytes for sending; never blocks.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    // Bytes queued for sending and not yet taken by the device.
    virtual std::size_t pendingWrite() const = 0;
    virtual std::size_t bytesAvailable() const = 0;
    virtual std::size_t read(std::span<std::uint8_t> into) = 0;
    // A backend may rest after a delivery instead of waking for every few
    // bytes of a busy line. drain() delivers now whatever waits, resting or
    // not: the listener hears of it before drain returns. Afterwards the port
    // listens again, so that the first byte of a reply is timed as it comes,
    // or, with RestWhileBusy, goes on resting if it rested and something came:
    // the line is busy, and drain returns true to be called again soon.
    enum class AfterDrain { Listen, RestWhileBusy };
    virtual bool drain(AfterDrain) { return false; }
    // While the listener hears of bytes: how long they may have waited at the
    // port before, because it rested. Zero when it was listening.
    virtual std::chrono::milliseconds waited() const { return {}; }

protected:
    Listener* listener() const { return listener_; }

private:
    Listener* listener_ = nullptr;
};

} // namespace cmbvhp
