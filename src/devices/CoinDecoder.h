#pragma once

#include "link/Context.h"

namespace cmbvhp {

// The coin mechanism's or selector's accepted replies into Txt08 ... Txt0b,
// cmAmount, and the change payout in TxtCh.
class CoinDecoder {
public:
    explicit CoinDecoder(Context& ctx) : ctx_(ctx) {}

    void decodeCmReply();
    void decodeCmShortReply();

    static constexpr int kMechPasses = 7;
    static constexpr int kSelectorPasses = 2;
    static constexpr std::uint8_t kDataClearRequest = 4;

private:
    void mechanismWalk();
    void selectorWalk();
    void followPayout();

    Context& ctx_;
};

} // namespace cmbvhp
