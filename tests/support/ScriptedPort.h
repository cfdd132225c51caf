#pragma once

#include "link/SerialBackend.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace cmbvhp::test {

// A test that uses this namespace sees the project's as well.
using namespace cmbvhp;

using Bytes = std::vector<std::uint8_t>;

// Bytes from "5A A5" text, and back, for readable tables.
inline Bytes hex(std::string_view text)
{
    const QByteArray b = QByteArray::fromHex(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    return Bytes(b.begin(), b.end());
}
inline std::string toHex(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex(' ').toUpper().toStdString();
}

// A serial backend the test drives: it records every open and write, delivers
// the bytes the test feeds (whole or split into pieces), and can refuse an
// open, stop taking bytes (`pending`) or lose the device.
class ScriptedPort : public SerialBackend {
public:
    struct OpenCall {
        std::string device;
        LineSettings settings;
        bool dtr = false, rts = false;
    };

    void open(const std::string& device, const LineSettings& settings, bool dtr, bool rts) override
    {
        opens.push_back({device, settings, dtr, rts});
        if (refuseOpen)
            throw CommError(*refuseOpen);
        open_ = true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void write(std::span<const std::uint8_t> bytes) override { writes.emplace_back(bytes.begin(), bytes.end()); }
    std::size_t pendingWrite() const override { return pending; }
    std::size_t bytesAvailable() const override { return incoming_.size(); }
    std::size_t read(std::span<std::uint8_t> into) override
    {
        const std::size_t n = std::min(into.size(), incoming_.size());
        std::copy_n(incoming_.begin(), n, into.begin());
        incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<long>(n));
        return n;
    }

    // Delivers bytes in notifications of at most `piece` bytes.
    void feed(const Bytes& bytes, std::size_t piece = SIZE_MAX)
    {
        for (std::size_t i = 0; i < bytes.size(); i += piece) {
            incoming_.insert(incoming_.end(), bytes.begin() + static_cast<long>(i),
                             bytes.begin() + static_cast<long>(std::min(bytes.size(), i + std::min(piece, bytes.size()))));
            if (listener())
                listener()->readable();
        }
    }
    // Records each drain; the first `restsFor` say the port rests on.
    bool drain(AfterDrain after) override { return drains.push_back(after), drains.size() <= restsFor; }
    std::chrono::milliseconds waited() const override { return waitedFor; }
    void loseDevice(const std::string& reason)
    {
        open_ = false;
        if (listener())
            listener()->lost(reason);
    }
    std::vector<Bytes> writes; // one element per write call
    std::vector<OpenCall> opens;
    std::optional<std::string> refuseOpen;
    std::size_t pending = 0;
    std::vector<AfterDrain> drains;
    std::size_t restsFor = 0;
    std::chrono::milliseconds waitedFor{}; // how long what is fed waited at the port

private:
    bool open_ = false;
    std::deque<std::uint8_t> incoming_;
};

} // namespace cmbvhp::test

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
