#pragma once

#include "link/SerialBackend.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace cmbvhp::test {

using Bytes = std::vector<std::uint8_t>;

// A serial backend the test drives: it records every write, delivers the bytes
// the test feeds (whole, split into pieces, or with a byte corrupted), and can
// refuse an open or lose the device.
class ScriptedPort : public SerialBackend {
public:
    struct OpenCall {
        std::string device;
        LineSettings settings;
        bool dtr = false;
        bool rts = false;
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
        std::size_t n = 0;
        for (; n < into.size() && !incoming_.empty(); ++n) {
            into[n] = incoming_.front();
            incoming_.pop_front();
        }
        return n;
    }

    // Makes bytes wait without a notification.
    void queue(const Bytes& bytes) { incoming_.insert(incoming_.end(), bytes.begin(), bytes.end()); }
    // Delivers bytes in one notification.
    void feed(const Bytes& bytes)
    {
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
        if (listener())
            listener()->readable();
    }
    // Delivers bytes in notifications of at most `piece` bytes.
    void feedSplit(const Bytes& bytes, std::size_t piece)
    {
        for (std::size_t i = 0; i < bytes.size(); i += piece)
            feed(Bytes(bytes.begin() + static_cast<long>(i),
                       bytes.begin() + static_cast<long>(std::min(bytes.size(), i + piece))));
    }
    void loseDevice(const std::string& reason)
    {
        open_ = false;
        if (listener())
            listener()->lost(reason);
    }
    // Every byte written, in order, and forgets them.
    Bytes takeWire()
    {
        Bytes all;
        for (const auto& w : writes)
            all.insert(all.end(), w.begin(), w.end());
        writes.clear();
        return all;
    }

    std::vector<Bytes> writes; // one element per write call
    std::vector<OpenCall> opens;
    std::optional<std::string> refuseOpen;
    std::size_t pending = 0;

private:
    bool open_ = false;
    std::deque<std::uint8_t> incoming_;
};

} // namespace cmbvhp::test
