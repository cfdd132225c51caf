#pragma once

#include "SerialBackend.h"

#include <QObject>
#include <QSerialPort>

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

private:
    void onError(QSerialPort::SerialPortError error);
    void reportLoss();

    QSerialPort port_;
    bool lossQueued_ = false;
    std::string lossReason_;
};

} // namespace cmbvhp
