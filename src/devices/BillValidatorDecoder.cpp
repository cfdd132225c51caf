#include "BillValidatorDecoder.h"

#include "ReplyText.h"

namespace cmbvhp {

namespace {
constexpr std::uint8_t kBills = 0x18;
constexpr std::uint8_t kCounts = 0x19;
constexpr std::uint8_t kInfo = 0x1A;
constexpr std::uint8_t kStatus = 0x1B;
constexpr std::uint8_t kClearedBit = 0x40;
} // namespace

void BillValidatorDecoder::clearBills()
{
    WindowState& s = ctx_.state;
    s.bvBill1 = s.bvBill2 = s.bvBill3 = 0;
    s.bvAmount = 0;
}

void BillValidatorDecoder::decodeBvShortReply()
{
    WindowState& s = ctx_.state;
    const RxBuffer& rx = s.rxBuf;
    if (rx(3) == kStatus) {
        ctx_.ui.setText(Box::txt1b, hexPairs(rx, 4, 2));
        if (s.clearPending == 1) {
            // While a "Stack" or "Data Clear" waits for its confirmation the
            // status flag is left alone.
            if (rx(4) & kClearedBit) {
                s.clearPending = 0;
                clearBills();
            }
        } else {
            s.bvStatFlag = (rx(4) & 0x01) ? kTrue : kFalse;
        }
    }
    ctx_.Timer1.setEnabled(true);
}

void BillValidatorDecoder::decodeBvReply()
{
    WindowState& s = ctx_.state;
    const RxBuffer& rx = s.rxBuf;
    std::uint8_t p = 1;
    auto advance = [&] {
        p = static_cast<std::uint8_t>(p + 6);
        if (p >= rx(2))
            p = 0;
    };
    // A record with an unknown code, or a 0x1B record, leaves P where it is, so
    // the remaining passes look at the same record again.
    for (int pass = 0; pass < kPasses; ++pass) {
        const int t = p + 3;
        switch (rx(t)) {
        case kBills:
            ctx_.ui.setText(Box::txt18, hexPairs(rx, t + 1, 4));
            if (rx(t + 1) & 0x01)
                s.bvBill1 = 10;
            else if (rx(t + 2) & 0x01)
                s.bvBill2 = 50;
            else if (rx(t + 3) & 0x01)
                s.bvBill3 = 10000;
            s.bvAmount = s.bvBill2 + s.bvBill1 + s.bvBill3;
            advance();
            break;
        case kCounts:
            ctx_.ui.setText(Box::txt19, hexPairs(rx, t + 1, 4));
            if (rx(t + 1) == 0 && rx(t + 2) == 0 && rx(t + 3) == 0)
                clearBills();
            advance();
            break;
        case kInfo:
            ctx_.ui.setText(Box::txt1a, hexPairs(rx, t + 1, 4));
            advance();
            break;
        case kStatus: ctx_.ui.setText(Box::txt1b, hexPairs(rx, t + 1, 2)); break;
        default: break;
        }
    }
}

} // namespace cmbvhp
