#include "CoinDecoder.h"

#include "ReplyText.h"

namespace cmbvhp {

namespace {
constexpr std::uint8_t kCoins = 0x08;
constexpr std::uint8_t kInfo = 0x09;
constexpr std::uint8_t kPaid = 0x0A;
constexpr std::uint8_t kStatus = 0x0B;

// Packed decimal, nibbles not checked: 0x1F gives 25.
std::uint8_t bcdCount(std::uint8_t b) { return static_cast<std::uint8_t>((b >> 4) * 10 + (b & 0x0F)); }

// Kind 4 is left out of the coin mechanism's sums.
double mechSum(const std::array<std::uint8_t, 4>& c) { return c[0] + 2.0 * c[1] + 5.0 * c[2]; }
} // namespace

void CoinDecoder::decodeCmReply()
{
    if (ctx_.ui.isSelected(Choice::optionCm))
        mechanismWalk();
    else if (ctx_.ui.isSelected(Choice::optionSlt))
        selectorWalk();
}

void CoinDecoder::mechanismWalk()
{
    WindowState& s = ctx_.state;
    const RxBuffer& rx = s.rxBuf;
    int p = 1;
    // P is one byte wide. From 1, seven passes of 6 cannot carry it past 255,
    // but should it ever get there the walk ends instead of wrapping around.
    auto advance = [&] {
        p += 6;
        if (p > 255)
            return false;
        if (p >= rx(2))
            p = 0;
        return true;
    };
    for (int pass = 0; pass < kMechPasses; ++pass) {
        const int t = p + 3;
        switch (rx(t)) {
        case kCoins:
            ctx_.ui.setText(Box::Txt08, hexPairs(rx, t + 1, 4));
            for (int k = 0; k < 4; ++k)
                s.cmCoinCount[k] = bcdCount(rx(t + 1 + k));
            s.cmAmount = mechSum(s.cmCoinCount);
            break;
        case kInfo: ctx_.ui.setText(Box::Txt09, hexPairs(rx, t + 1, 4)); break;
        case kPaid:
            ctx_.ui.setText(Box::txt0a, hexPairs(rx, t + 1, 4));
            for (int k = 0; k < 4; ++k)
                s.cmPaidCount[k] = bcdCount(rx(t + 1 + k));
            s.cmPaidAmount = mechSum(s.cmPaidCount);
            followPayout();
            break;
        case kStatus:
            // P stays: the remaining passes show the same record again.
            ctx_.ui.setText(Box::Txt0b, hexPairs(rx, t + 1, 1));
            continue;
        default: continue;
        }
        if (!advance())
            return;
    }
}

void CoinDecoder::followPayout()
{
    WindowState& s = ctx_.state;
    if (s.changeAmount == 0)
        return;
    ctx_.ui.setText(Box::TxtCh, plainNumber(s.changeAmount - s.cmPaidAmount));
    const auto left = parseNumber(ctx_.ui.text(Box::TxtCh));
    if (left && *left == 0) {
        s.changeAmount = 0;
        s.cmCmdNo = kDataClearRequest;
    }
}

void CoinDecoder::selectorWalk()
{
    WindowState& s = ctx_.state;
    const RxBuffer& rx = s.rxBuf;
    int p = 1;
    for (int pass = 0; pass < kSelectorPasses; ++pass) {
        const int t = p + 2;
        switch (rx(t)) {
        case kCoins: {
            ctx_.ui.setText(Box::Txt08, hexPairs(rx, t + 1, 4));
            for (int k = 0; k < 4; ++k)
                s.cmCoinCount[k] = rx(t + 1 + k);
            const auto& c = s.cmCoinCount;
            s.cmAmount = c[0] + 2.0 * c[1] + 5.0 * c[2] + 10.0 * c[3];
            p += 5;
            break;
        }
        case kStatus:
            ctx_.ui.setText(Box::Txt0b, hexPairs(rx, t + 1, 1));
            p = 0; // the next pass reads the length byte as a code
            break;
        default: break;
        }
    }
}

void CoinDecoder::decodeCmShortReply()
{
    const RxBuffer& rx = ctx_.state.rxBuf;
    switch (rx(3)) {
    case kCoins: ctx_.ui.setText(Box::Txt08, hexPairs(rx, 4, 4)); break;
    case kInfo: ctx_.ui.setText(Box::Txt09, hexPairs(rx, 4, 4)); break;
    case kStatus: ctx_.ui.setText(Box::Txt0b, hexPairs(rx, 4, 1).chopped(1)); break;
    default: break;
    }
}

} // namespace cmbvhp
