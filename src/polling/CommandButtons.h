#pragma once

#include "link/Context.h"

namespace cmbvhp {

// The command button arrays. A click sends nothing: it leaves a request
// (button index + 1) for the device's next slot.
class CommandButtons {
public:
    explicit CommandButtons(Context& ctx) : ctx_(ctx) {}

    void bvCmd_Click(std::int16_t index);
    void cmCmd_Click(std::int16_t index);
    void cmdHp1_Click(std::int16_t index);

    static constexpr std::int16_t kChange = 4;

private:
    Context& ctx_;
};

} // namespace cmbvhp
