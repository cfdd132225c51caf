#include "HopperDecoder.h"

#include "ReplyText.h"

namespace cmbvhp {

bool HopperDecoder::countsReached() const
{
    const RxBuffer& rx = ctx_.state.rxBuf;
    bool all = true;
    for (int i = 0; i < 4; ++i) {
        // Numeric comparison ("05" matches 5); a box that is no number never
        // matches, so the turn goes on until the operator corrects it.
        const auto wanted = parseNumber(ctx_.ui.text(hpCountBox(i)));
        if (!wanted || *wanted != rx(4 + i))
            all = false;
    }
    return all;
}

void HopperDecoder::decodeHpReply()
{
    WindowState& s = ctx_.state;
    const RxBuffer& rx = s.rxBuf;
    if (rx(3) == 0x15) {
        ctx_.ui.setText(Box::txt14, hexPairs(rx, 4, 4));
        if (countsReached()) {
            const bool hopperOnly = !ctx_.ui.isSelected(Choice::checkBv) && ctx_.ui.isSelected(Choice::OptionCoin);
            s.curDevice = hopperOnly ? device::kHopper : device::kNone;
        }
    }
    if (rx(8) == 0x16)
        ctx_.ui.setText(Box::txt15, hexPairs(rx, 9, 4));
    if (rx(13) == 0x17)
        ctx_.ui.setText(Box::txt16, hexPairs(rx, 14, 4));
    if (rx(18) == 0x18)
        ctx_.ui.setText(Box::txt17, hexPairs(rx, 19, 2));
}

} // namespace cmbvhp
