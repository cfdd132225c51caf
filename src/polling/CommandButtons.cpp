#include "CommandButtons.h"

#include "common/TextForms.h"

namespace cmbvhp {

void CommandButtons::bvCmd_Click(std::int16_t index)
{
    WindowState& s = ctx_.state;
    s.bvCmdNo = static_cast<std::uint8_t>(index + 1);
    if (s.curDevice == device::kHopper)
        s.curDevice = device::kBillValidator;
}

void CommandButtons::cmCmd_Click(std::int16_t index)
{
    WindowState& s = ctx_.state;
    if (s.curDevice == device::kHopper)
        s.curDevice = device::kCoinMech;
    if (index == kChange) {
        // Text that is no number gets the same answer as a zero amount.
        const auto amount = parseNumber(ctx_.ui.text(Box::TxtCh));
        if (!amount || *amount == 0) {
            ctx_.ui.tellOperator(QStringLiteral("type the change!"));
            return;
        }
    }
    s.cmCmdNo = static_cast<std::uint8_t>(index + 1);
}

void CommandButtons::cmdHp1_Click(std::int16_t index)
{
    ctx_.state.hpPending = 1;
    ctx_.state.hpCmdNo = static_cast<std::uint8_t>(index + 1);
}

} // namespace cmbvhp
