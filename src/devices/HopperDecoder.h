#pragma once

#include "link/Context.h"

namespace cmbvhp {

// The hoppers' 20-byte reply into txt14 ... txt17; ends the hoppers' turn once
// the four counts match hpCount(0 ... 3).
class HopperDecoder {
public:
    explicit HopperDecoder(Context& ctx) : ctx_(ctx) {}

    void decodeHpReply();

private:
    bool countsReached() const;

    Context& ctx_;
};

} // namespace cmbvhp
