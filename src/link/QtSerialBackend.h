#pragma once

#include "SerialBackend.h"

#include <QObject>
#include <QSerialPort>

#include <functional>

namespace cmbvhp {

// The host's serial port through QSerialPort, on the thread that creates it.
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

    // QSerialPort's error notification. A lost device's report is queued and
    // dropped if the port has been closed, or opened again, by the time it runs.
    void onError(QSerialPort::SerialPortError error);
    bool lossPending() const { return lossQueued_; }

    // Test seam: runs inside open(), just before the modem lines are set.
    std::function<void()> onModemLines;

private:
    void reportLoss(unsigned opening);
    void setModemLine(bool (QSerialPort::*set)(bool), bool on, const char* name);

    QSerialPort port_;
    unsigned openings_ = 0; // counts opens and closes, so a late report knows its opening
    bool lossQueued_ = false;
    std::string lossReason_;
};

} // namespace cmbvhp
