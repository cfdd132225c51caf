#include "ReceiveFramer.h"

#include "SerialComponent.h"
#include "common/TextForms.h"

#include <utility>

namespace cmbvhp {

namespace {
// Button indexes the start-up sequences replay.
constexpr std::int16_t kStandBy = 0;
constexpr std::int16_t kCremOn = 1;
constexpr std::int16_t kData = 6;
} // namespace

void ReceiveFramer::ComeOne_OnComm()
{
    if (ctx_.ComeOne.CommEvent() != SerialComponent::comEvReceive)
        return;
    const Moment at = ctx_.clock.now();
    while (ctx_.ComeOne.InBufferCount() >= 1) {
        // What came is accounted for as it came, whatever the view.
        const auto batch = ctx_.ComeOne.waiting();
        ctx_.health.bytesArrived(at.steadyMs, ctx_.gblFlag.viewMode == 0);
        if (ctx_.traffic)
            ctx_.traffic->bytesReceived(batch, at);
        for (std::size_t n = batch.size(); n > 0 && ctx_.ComeOne.InBufferCount() >= 1; --n)
            handleByte(ctx_.ComeOne.Input());
        // Before the next read is accounted for: what that says in the log
        // (the session file's failure) comes after these bytes.
        flushLog();
    }
}

void ReceiveFramer::flushLog()
{
    if (logUsed_ > 0)
        ctx_.ui.appendLog(Log::txt수신, QStringView(logText_.data(), static_cast<qsizetype>(std::exchange(logUsed_, 0))));
}

// Only an accepted reply ends a line.
void ReceiveFramer::accepted()
{
    if (logUsed_ + 2 > logText_.size())
        flushLog();
    logText_[logUsed_++] = u'\r';
    logText_[logUsed_++] = u'\n';
    on_.replyAccepted();
}

bool ReceiveFramer::logByte(std::uint8_t b)
{
    if (logUsed_ + 4 > logText_.size())
        flushLog();
    char16_t* text = logText_.data() + logUsed_;
    std::size_t n = 0;
    switch (ctx_.gblFlag.viewMode) {
    case 1: text[n++] = asciiViewChar(b); break;
    case 2:
        if (b >= 100)
            text[n++] = static_cast<char16_t>(u'0' + b / 100);
        if (b >= 10)
            text[n++] = static_cast<char16_t>(u'0' + b / 10 % 10);
        text[n++] = static_cast<char16_t>(u'0' + b % 10);
        break;
    default:
        text[n++] = kHexDigits[b >> 4];
        text[n++] = kHexDigits[b & 0x0F];
        break;
    }
    text[n++] = u' ';
    logUsed_ += n;
    return ctx_.gblFlag.viewMode != 1 && ctx_.gblFlag.viewMode != 2;
}

void ReceiveFramer::handleByte(std::uint8_t b)
{
    if (!logByte(b))
        return;
    WindowState& s = ctx_.state;
    if (s.rxPos < 1 || s.rxPos > RxBuffer::kSize)
        s.rxPos = 1; // never set so by the console; keeps the buffer bounds whatever happened
    s.rxBuf.set(s.rxPos, b);
    if (s.rxPos >= RxBuffer::kSize)
        s.rxPos = 1;
    switch (s.curDevice) {
    case device::kBillValidator: deviceBranch(Side::BillValidator); break;
    case device::kCoinMech: deviceBranch(Side::CoinMech); break;
    case device::kHopper: hopperBranch(); break;
    default: break; // stored, position kept: the next byte overwrites it
    }
}

template <typename Accept>
void ReceiveFramer::framedStep(Side side, bool longRead, Accept accept)
{
    WindowState& s = ctx_.state;
    const int p = s.rxPos;
    if (p == 1) {
        s.rxXor = 0;
        s.rxLen = 0;
    }
    if (p == 2) {
        // The selector's replies outside a long read are always 7 data bytes,
        // whatever their length byte says.
        const bool fixedSeven = side == Side::CoinMech && !longRead && !ctx_.ui.isSelected(Choice::optionCm);
        s.rxLen = fixedSeven ? 7 : s.rxBuf(2);
    }
    if (p >= s.rxLen + 3 && s.rxXor == s.rxBuf(p) && s.rxLen != 0)
        accept();
    if (p >= 2)
        s.rxXor ^= s.rxBuf(p);
    s.rxPos = static_cast<std::int16_t>(p + 1);
    if (s.rxPos >= s.rxLen + 4) {
        s.rxPos = 1;
        if (longRead) {
            if (side == Side::BillValidator)
                s.bvLongRead = 0;
            else
                s.cmLongRead = 0;
        }
    }
}

// The bill validator and the coin mechanism frame their replies alike; they
// differ in their state, their decoders and what a long reply decodes to.
void ReceiveFramer::deviceBranch(Side side)
{
    WindowState& s = ctx_.state;
    const bool bv = side == Side::BillValidator;
    std::uint8_t& longRead = bv ? s.bvLongRead : s.cmLongRead;
    if (longRead == 1) {
        framedStep(side, true, [&] {
            longRead = 0;
            accepted();
            decodeLongReply(side);
        });
        return;
    }
    switch (s.rxBuf(1)) {
    case kPowerUp:
    case kAck:
        accepted();
        s.curDevice = device::kNone;
        if (bv)
            bvStartupStep(s.rxBuf(1));
        else
            cmStartupStep(s.rxBuf(1));
        break;
    case kShortReply:
    case kRecordReply:
        framedStep(side, false, [&] {
            accepted();
            (bv ? s.bvMiss : s.cmMiss) = 0;
            if (s.rxBuf(1) == kShortReply) {
                if (bv)
                    on_.decodeBvShortReply();
                else
                    on_.decodeCmShortReply();
            }
            if (s.rxBuf(1) == kRecordReply) {
                if (bv)
                    on_.decodeBvReply();
                else
                    on_.decodeCmReply();
            }
        });
        break;
    default: break; // position kept: the next byte replaces this one
    }
}

// The answer to a full-status request: the bill validator's comes as type 0x11,
// the coin mechanism's as 0x11 and the selector's as 0x33.
void ReceiveFramer::decodeLongReply(Side side)
{
    const std::uint8_t type = ctx_.state.rxBuf(1);
    if (side == Side::BillValidator) {
        if (type == kAck)
            on_.decodeBvReply();
        return;
    }
    if (ctx_.ui.isSelected(Choice::optionSlt) && type == kRecordReply)
        on_.decodeCmReply();
    if (ctx_.ui.isSelected(Choice::optionCm) && type == kAck)
        on_.decodeCmReply();
}

void ReceiveFramer::hopperBranch()
{
    WindowState& s = ctx_.state;
    s.rxLen = s.rxBuf(1) == kRecordReply ? 21 : 1;
    ++s.rxPos;
    if (s.rxPos >= s.rxLen) {
        if (s.rxLen == 21)
            on_.decodeHpReply();
        accepted();
        s.rxPos = 1;
    }
}

// One step of a device's start-up sequence on a single-byte reply; click
// queues a request as the device's button would. Returns true for a 0x11 that
// finds the sequence at its last step. The steps test single bits in this order;
// the step value only ever holds one of them.
template <typename Click>
static bool startupStep(std::uint8_t& seq, std::uint8_t reply, Click click)
{
    if (reply == ReceiveFramer::kPowerUp) {
        click(kStandBy);
        seq = 1;
    } else if (seq & 1) {
        click(kData);
        seq = 2;
    } else if (seq & 2) {
        click(kCremOn);
        seq = 4;
    } else if (seq & 4) {
        click(kData);
        seq = 8;
    } else {
        return (seq & 8) != 0;
    }
    return false;
}

void ReceiveFramer::bvStartupStep(std::uint8_t reply)
{
    WindowState& s = ctx_.state;
    const bool last = startupStep(s.bvSeq, reply, [this](std::int16_t i) { on_.bvCmd_Click(i); });
    if (last && s.bvStatFlag == kTrue) {
        ctx_.Timer1.setEnabled(true);
        ctx_.Timer1.setInterval(kPollInterval);
        s.pollTurn = -1; // the coin mechanism's slot comes next
    }
}

void ReceiveFramer::cmStartupStep(std::uint8_t reply)
{
    startupStep(ctx_.state.cmSeq, reply, [this](std::int16_t i) { on_.cmCmd_Click(i); });
}

} // namespace cmbvhp
