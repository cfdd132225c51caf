#pragma once

#include "link/Context.h"

namespace cmbvhp {

// The bill validator's accepted replies into txt18 ... txt1b, the bill latches,
// bvAmount and bvStatFlag.
class BillValidatorDecoder {
public:
    explicit BillValidatorDecoder(Context& ctx) : ctx_(ctx) {}

    // Short reply, type 0x22: one status record.
    void decodeBvShortReply();
    // Record reply, type 0x33 (0x11 as the answer to a full-status request).
    void decodeBvReply();

    static constexpr int kPasses = 6;

private:
    void clearBills();

    Context& ctx_;
};

} // namespace cmbvhp
