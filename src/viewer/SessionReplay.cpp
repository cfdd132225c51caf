#include "SessionReplay.h"

#include "common/TextForms.h"
#include "link/Frames.h"
#include "window/FormLayout.h"

#include <algorithm>

namespace cmbvhp {

// The received bytes of one RX line, handed to the serial component as one
// notification.
class SessionReplay::Feed : public SerialBackend {
public:
    void open(const std::string&, const LineSettings&, bool, bool) override { open_ = true; }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void write(std::span<const std::uint8_t>) override {}
    std::size_t pendingWrite() const override { return 0; }
    std::size_t bytesAvailable() const override { return bytes_.size() - at_; }
    std::size_t read(std::span<std::uint8_t> into) override
    {
        const std::size_t n = std::min(into.size(), bytes_.size() - at_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, into.begin());
        at_ += n;
        return n;
    }
    void deliver(std::span<const std::uint8_t> bytes)
    {
        bytes_.assign(bytes.begin(), bytes.end());
        at_ = 0;
        if (listener())
            listener()->readable();
    }

private:
    bool open_ = false;
    std::vector<std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

Party partyOfFrame(std::span<const std::uint8_t> frame)
{
    const std::uint8_t b = frame.empty() ? 0 : frame[0];
    for (const std::uint8_t c : {code::kBvStandBy, code::kBvAll, code::kBvData, address::kBillValidator})
        if (b == c)
            return Party::BillValidator;
    for (const std::uint8_t c : {code::kCmStandBy, code::kCmAll, code::kCmData, address::kCoinMech})
        if (b == c)
            return Party::Coin;
    return Party::Hoppers;
}

SessionReplay::SessionReplay()
    : feed_(new Feed), port_(std::unique_ptr<SerialBackend>(feed_), [](int) { return std::string(); }), engine_(*this, port_, *this, *this)
{
    port_.setRThreshold(1);
    port_.setPortOpen(true);
    port_.OnComm = [this] { engine_.ComeOne_OnComm(); };
    engine_.state().rxPos = 1; // as start-up leaves it
    for (Box b : {Box::TxtCh, Box::hpCount0, Box::hpCount1, Box::hpCount2, Box::hpCount3})
        setText(b, QStringLiteral("0"));
}

SessionReplay::~SessionReplay() = default;

void SessionReplay::setDevices(std::string_view devices)
{
    const auto has = [devices](std::string_view name) { return devices.find(name) != std::string_view::npos; };
    const bool none = has("No Selector");
    choices_ = {has("Bill Validator"), has("Hopper"), has("Coin Mechanism"), has("Selector") && !none, none};
}

void SessionReplay::play(const SessionEvent& e, std::int64_t ms)
{
    now_ = {ms, ms, 0};
    switch (e.kind) {
    case SessionEvent::Kind::Tx: sent(e, true); break;
    case SessionEvent::Kind::Drop: sent(e, false); break;
    case SessionEvent::Kind::Rx: feed_->deliver(e.bytes); break;
    case SessionEvent::Kind::Op: operatorDid(e.text); break;
    case SessionEvent::Kind::Note: {
        const QString text = QString::fromUtf8(e.text.data(), static_cast<qsizetype>(e.text.size()));
        // The notice of dropped frames stands where the frames would have.
        appendLogLine(text.endsWith(QStringLiteral("frames are dropped until it does.")) ? Log::Text1 : Log::txt수신, text);
        break;
    }
    }
}

// What the tick did around its frame: the total shown first, then the device
// addressed, a partial reply discarded, and what the request asks to follow.
void SessionReplay::sent(const SessionEvent& e, bool taken)
{
    WindowState& s = engine_.state();
    setText(Box::txtamount, plainNumber(s.bvAmount + s.cmAmount));
    const auto& f = e.bytes;
    const Party party = partyOfFrame(f);
    const auto is = [&f](std::initializer_list<std::uint8_t> head) { return f.size() >= head.size() && std::equal(head.begin(), head.end(), f.begin()); };
    if (party == Party::Hoppers) {
        s.hpPending = 0;
        s.curDevice = device::kHopper;
    } else {
        const bool bv = party == Party::BillValidator;
        s.curDevice = bv ? device::kBillValidator : device::kCoinMech;
        s.rxPos = 1;
        if (is({bv ? code::kBvAll : code::kCmAll}))
            (bv ? s.bvLongRead : s.cmLongRead) = 1;
        if (is({0x63, 0x9C, 0x04, 0x01}))
            s.changeAmount = parseNumber(text(Box::TxtCh)).value_or(s.changeAmount);
    }
    if (taken) {
        engine_.health().frameSent(party, now_.steadyMs);
        appendLog(Log::Text1, txLogLine(f));
    }
}

void SessionReplay::operatorDid(std::string_view what)
{
    const QString op = QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size()));
    const auto indexOf = [](const auto& captions, const QString& caption) {
        const auto it = std::find_if(captions.begin(), captions.end(), [&](const char* c) { return caption == QLatin1String(c); });
        return it == captions.end() ? -1 : static_cast<int>(it - captions.begin());
    };
    if (op.startsWith(QStringLiteral("View "))) {
        const int view = indexOf(kViewCaptions, op.mid(5));
        if (view >= 0 && !forcedView_)
            engine_.gblFlag().viewMode = static_cast<std::int16_t>(view);
        clearLog(Log::txt수신);
        return;
    }
    if (op == QStringLiteral("Clear Text")) {
        clearLog(Log::txt수신);
        clearLog(Log::Text1);
        setText(Box::txtamount, QString());
        setText(Box::TxtCh, QStringLiteral("0"));
        return;
    }
    // "Change 8" and "HP #2 10" carry what their box held; the captions the
    // two device rows share carry their frame's title.
    QString caption = op;
    QString frame;
    if (op.startsWith(QStringLiteral("Change ")) || op.startsWith(QStringLiteral("HP #"))) {
        const qsizetype blank = op.lastIndexOf(u' ');
        caption = op.left(blank);
        const int hp = indexOf(kHpCaptions, caption);
        setText(hp >= 0 ? hpCountBox(hp) : Box::TxtCh, op.mid(blank + 1));
    } else if (op.endsWith(u')') && op.contains(QStringLiteral(" ("))) {
        caption = op.section(QStringLiteral(" ("), 0, 0);
        frame = op.section(QStringLiteral(" ("), 1).chopped(1);
    }
    const bool bvFrame = frame.isEmpty() || frame == QStringLiteral("Bill Validator");
    const bool cmFrame = frame.isEmpty() || !bvFrame;
    if (const int i = indexOf(kBvCaptions, caption); i >= 0 && bvFrame)
        engine_.bvCmd_Click(static_cast<std::int16_t>(i));
    else if (const int j = indexOf(kCmCaptions, caption); j >= 0 && cmFrame)
        engine_.cmCmd_Click(static_cast<std::int16_t>(j));
    else if (const int k = indexOf(kHpCaptions, caption); k >= 0)
        engine_.cmdHp1_Click(static_cast<std::int16_t>(k));
}

void SessionReplay::appendLog(Log log, QStringView t)
{
    if (sink_.append)
        sink_.append(log, t);
}

void SessionReplay::appendLogLine(Log log, QStringView t)
{
    if (sink_.appendLine)
        sink_.appendLine(log, t);
}

void SessionReplay::clearLog(Log log)
{
    if (sink_.clear)
        sink_.clear(log);
}

SessionReplay::Snapshot SessionReplay::snapshot() const { return {engine_.state(), engine_.gblFlag(), texts_, choices_}; }

void SessionReplay::restore(const Snapshot& s)
{
    engine_.state() = s.state;
    engine_.gblFlag() = s.flags;
    texts_ = s.texts;
    choices_ = s.choices;
    forceView(forcedView_);
}

void SessionReplay::forceView(std::optional<std::int16_t> view)
{
    forcedView_ = view;
    if (view)
        engine_.gblFlag().viewMode = *view;
}

} // namespace cmbvhp
