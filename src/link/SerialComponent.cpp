#include "SerialComponent.h"

#include <array>

namespace cmbvhp {

std::optional<LineSettings> parseSettings(std::string_view text)
{
    auto take = [&text](std::string_view piece) {
        if (!text.starts_with(piece))
            return false;
        text.remove_prefix(piece.size());
        return true;
    };

    LineSettings s;
    static constexpr std::array<std::pair<std::string_view, int>, 6> bauds{
        {{"19200", 19200}, {"9600", 9600}, {"4800", 4800}, {"2400", 2400}, {"1200", 1200}, {"600", 600}}};
    bool baud = false;
    for (const auto& [t, v] : bauds)
        if (take(t)) {
            s.baud = v;
            baud = true;
            break;
        }
    if (!baud || !take(","))
        return std::nullopt;

    if (text.empty())
        return std::nullopt;
    switch (text.front()) {
    case 'N': s.parity = Parity::None; break;
    case 'E': s.parity = Parity::Even; break;
    case 'O': s.parity = Parity::Odd; break;
    case 'M': s.parity = Parity::Mark; break;
    case 'S': s.parity = Parity::Space; break;
    default: return std::nullopt;
    }
    text.remove_prefix(1);
    if (!take(",") || text.empty() || text.front() < '4' || text.front() > '8')
        return std::nullopt;
    s.dataBits = text.front() - '0';
    text.remove_prefix(1);
    if (!take(","))
        return std::nullopt;
    if (text == "1")
        s.stopBits = StopBits::One;
    else if (text == "1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (text == "2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

SerialComponent::SerialComponent(std::unique_ptr<SerialBackend> backend, PortLocator locate)
    : backend_(std::move(backend)), locate_(std::move(locate))
{
    backend_->setListener(this);
}

SerialComponent::~SerialComponent()
{
    backend_->setListener(nullptr);
    backend_->close();
}

namespace {
void require(bool ok, const char* what)
{
    if (!ok)
        throw CommError(what);
}
} // namespace

// The console reads one byte per Input and wants the bytes unchanged; other
// modes are refused rather than silently ignored.
void SerialComponent::setInputLen(int n) { require(n == 1, "InputLen other than 1 is not supported"); }
void SerialComponent::setInBufferSize(int n) { require(n > 0 && n <= 32767, "invalid InBufferSize"); }
void SerialComponent::setOutBufferSize(int n)
{
    require(n > 0 && n <= 32767, "invalid OutBufferSize");
    outBufferSize_ = n;
}
void SerialComponent::setSThreshold(int n) { require(n >= 0 && n <= 32767, "invalid SThreshold"); }
void SerialComponent::setRThreshold(int n)
{
    require(n >= 0 && n <= 32767, "invalid RThreshold");
    rThreshold_ = n;
}
void SerialComponent::setEOFEnable(bool on) { require(!on, "EOFEnable is not supported"); }
void SerialComponent::setDTREnable(bool on) { dtr_ = on; }
void SerialComponent::setRTSEnable(bool on) { rts_ = on; }
void SerialComponent::setNullDiscard(bool on) { nullDiscard_ = on; }
void SerialComponent::setInputMode(int mode) { require(mode == 1, "only binary InputMode is supported"); }

void SerialComponent::setCommPort(int port)
{
    require(port >= 0 && port <= kMaxPort, "invalid port number");
    require(!PortOpen(), "port already open");
    commPort_ = port;
}

void SerialComponent::setSettings(std::string_view text)
{
    const auto parsed = parseSettings(text);
    require(parsed.has_value(), "invalid line settings");
    require(!PortOpen(), "port already open");
    settings_ = *parsed;
}

void SerialComponent::setPortOpen(bool open)
{
    if (!open) {
        // What came before the close is taken in, not dropped with the port.
        if (PortOpen())
            backend_->drain(SerialBackend::AfterDrain::Listen);
        backend_->close();
        dropInput();
        return;
    }
    require(!PortOpen(), "port already open");
    require(commPort_ >= 1, "no port selected");
    backend_->open(locate_(commPort_), settings_, dtr_, rts_);
    framesDropped_ = 0;
}

bool SerialComponent::PortOpen() const { return backend_->isOpen(); }

bool SerialComponent::Output(std::span<const std::uint8_t> bytes)
{
    if (!backend_->isOpen())
        return false;
    if (backend_->pendingWrite() + bytes.size() > static_cast<std::size_t>(outBufferSize_)) {
        ++framesDropped_;
        return false;
    }
    backend_->write(bytes);
    return true;
}

int SerialComponent::refill()
{
    dropInput();
    const std::size_t n = backend_->isOpen() ? backend_->bytesAvailable() : 0;
    if (n > 0) {
        inBuf_.resize(n);
        inBuf_.resize(backend_->read(inBuf_));
        if (nullDiscard_)
            std::erase(inBuf_, std::uint8_t{0});
    }
    return static_cast<int>(inBuf_.size());
}

void SerialComponent::readable()
{
    if (rThreshold_ > 0 && InBufferCount() >= rThreshold_)
        raise(comEvReceive);
}

void SerialComponent::dropInput()
{
    inBuf_.clear();
    inHead_ = 0;
}

void SerialComponent::lost(const std::string& reason)
{
    dropInput();
    if (OnPortLost)
        OnPortLost(reason);
}

void SerialComponent::raise(int event)
{
    commEvent_ = event;
    if (OnComm)
        OnComm();
}

} // namespace cmbvhp
