#pragma once

#include "SerialBackend.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cmbvhp {

// Finds the host device for a port number 1 ... 16. When the number reaches no
// device it throws CommError saying why and what the operator can do.
using PortLocator = std::function<std::string(int port)>;

// Parses a line-settings text of the form the console builds: baud (19200, 9600,
// 4800, 2400, 1200, 600), then ",N|E|O|M|S", ",8" ... ",4" and ",1|1.5|2".
std::optional<LineSettings> parseSettings(std::string_view text);

// The serial-port component ComeOne: the configuration properties, Output,
// InBufferCount, Input, CommEvent and the OnComm notification, over a backend.
// Values it does not support and failed opens raise CommError.
class SerialComponent : private SerialBackend::Listener {
public:
    static constexpr int comEvReceive = 2;

    SerialComponent(std::unique_ptr<SerialBackend> backend, PortLocator locate);
    ~SerialComponent() override;
    SerialComponent(const SerialComponent&) = delete;
    SerialComponent& operator=(const SerialComponent&) = delete;

    // The configuration sequence. InBufferSize and SThreshold are accepted as
    // values only: received bytes are never discarded, and no send events are
    // raised.
    void setInputLen(int n);
    void setInBufferSize(int n);
    void setOutBufferSize(int n);
    void setSThreshold(int n);
    void setRThreshold(int n);
    void setEOFEnable(bool on);
    void setDTREnable(bool on);
    void setRTSEnable(bool on);
    void setNullDiscard(bool on);
    void setCommPort(int port);
    int CommPort() const { return commPort_; }
    void setSettings(std::string_view text);
    const LineSettings& Settings() const { return settings_; }
    void setInputMode(int mode);
    // Closing takes in first what the port received: OnComm hears of it.
    void setPortOpen(bool open);
    bool PortOpen() const;

    // Hands the whole frame to the port in one write. A frame that would
    // overfill the output buffer is dropped, so a device that stops reading
    // cannot grow it without bound. False when the frame did not go out.
    bool Output(std::span<const std::uint8_t> bytes);
    // Frames dropped for a full output buffer since the port was opened.
    int framesDropped() const { return framesDropped_; }
    int InBufferCount() { return inHead_ < inBuf_.size() ? static_cast<int>(inBuf_.size() - inHead_) : refill(); }
    // The next waiting byte; 0 when none waits.
    std::uint8_t Input() { return InBufferCount() == 0 ? 0 : inBuf_[inHead_++]; }
    // The bytes InBufferCount counts, in the order Input hands them out.
    std::span<const std::uint8_t> waiting() const { return std::span(inBuf_).subspan(inHead_); }
    int CommEvent() const { return commEvent_; }
    // Raises at once the notification of whatever the port holds back; true
    // when the port rests on and is to be drained again.
    bool drain(SerialBackend::AfterDrain after = SerialBackend::AfterDrain::Listen) { return backend_->drain(after); }
    // While OnComm is raised: how long the bytes may have waited at a resting
    // port before it.
    std::chrono::milliseconds waited() const { return backend_->waited(); }

    // Raised on the window's thread; CommEvent tells why.
    std::function<void()> OnComm;
    // The open port was lost; it is closed already.
    std::function<void(const std::string& reason)> OnPortLost;

    static constexpr int kMaxPort = 16;

private:
    void readable() override;
    void lost(const std::string& reason) override;
    void raise(int event);
    void dropInput(); // what was read and not yet taken

    std::unique_ptr<SerialBackend> backend_;
    PortLocator locate_;
    int commPort_ = 1;
    LineSettings settings_{};
    int outBufferSize_ = 512;
    int rThreshold_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    bool nullDiscard_ = false;
    int commEvent_ = 0;
    int framesDropped_ = 0;
    // Everything waiting was handed out: reads what the port holds.
    int refill();
    // Bytes taken from the backend and not yet handed out by Input.
    std::vector<std::uint8_t> inBuf_;
    std::size_t inHead_ = 0;
};

} // namespace cmbvhp
