#pragma once

#include "Frames.h"
#include "Context.h"

namespace cmbvhp {

// The six send operations: each builds one frame, writes it to ComeOne in one
// Output and logs it as one line of the transmit log.
class CommandSender {
public:
    explicit CommandSender(Context& ctx) : ctx_(ctx) {}

    // The party the frames of the slot being served go to: the scheduler
    // says so before it sends.
    void addressing(Party party) { addressed_ = party; }

    void sendShort(std::uint8_t code);
    void sendBvSet(std::uint8_t arg);
    void sendBvReturn(std::uint8_t arg);
    void sendCmSet(std::uint8_t arg);
    // The amount is the text of TxtCh.
    void sendCmChange();
    // The count is the text of hpCount(index).
    void sendHpCount(int index);

private:
    void send(const Frame& frame);

    Context& ctx_;
    Party addressed_ = Party::BillValidator;
};

} // namespace cmbvhp
