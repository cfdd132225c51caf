#pragma once

#include "SerialBackend.h"

#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>

#ifdef Q_OS_UNIX
struct stat;
struct termios;
#endif

namespace cmbvhp {

#ifdef Q_OS_UNIX
bool isPseudoTerminal(const struct stat& st);
// What the port refused of the settings, told by the termios it kept ("parity"),
// or null when it kept them all.
const char* refusedSetting(const termios& kept, const LineSettings& s);
#endif

// The host's serial port through QSerialPort, on the thread that creates it.
//
// A busy line costs wakeups, not bytes: after each delivery the port rests
// (QSerialPort's read notification is switched off) until drain(), which the
// console calls at each display beat, before each tick and before anything
// acts, or kLongestRest at most. The bytes meanwhile wait in the driver, and
// waited() tells how long they may have. While the line stays busy the beat's
// drain leaves the port resting, so a busy line wakes the console at the beat
// and not in between. As each tick drains and listens before its frame goes
// out, the port is awake when a reply begins: its first byte is timed as it
// comes.
class QtSerialBackend : public QObject, public SerialBackend {
    Q_OBJECT
public:
    explicit QtSerialBackend(QObject* parent = nullptr);
    ~QtSerialBackend() override;

    void open(const std::string& device, const LineSettings& settings, bool dtr, bool rts) override;
    void close() override;
    bool isOpen() const override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::size_t pendingWrite() const override;
    std::size_t bytesAvailable() const override;
    std::size_t read(std::span<std::uint8_t> into) override;
    bool drain(AfterDrain after) override;
    std::chrono::milliseconds waited() const override { return waited_; }

    static constexpr std::chrono::milliseconds kLongestRest{50};

    // QSerialPort's error notification. A lost device's report is queued and
    // dropped if the port has been closed, or opened again, by the time it runs.
    void onError(QSerialPort::SerialPortError error);
    bool lossPending() const { return lossQueued_; }
    // Rests as after a delivery (a test seam).
    void rest();

    // Test seam: runs inside open() before each modem line is set, with the
    // line's name and state; a pseudo-terminal has no lines to show them.
    std::function<void(const char* line, bool on)> onModemLine;

private:
    void reportLoss(unsigned opening);
    void setModemLine(bool (QSerialPort::*set)(bool), bool on, const char* name);

    QSerialPort port_;
    QPointer<QSocketNotifier> readNotifier_; // QSerialPort's own
    QTimer restEnd_;
    QElapsedTimer restClock_;
    std::chrono::milliseconds waited_{};
    bool resting_ = false;
    bool draining_ = false;
    unsigned openings_ = 0; // counts opens and closes, so a late report knows its opening
    bool lossQueued_ = false;
    std::string lossReason_;
};

} // namespace cmbvhp
