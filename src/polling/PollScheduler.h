#pragma once

#include "link/Context.h"
#include "link/CommandSender.h"

namespace cmbvhp {

// Timer1_Timer: each tick shows the total, then puts at most one frame on the
// line: the hoppers' while they hold it, otherwise the bill validator's and the
// coin mechanism's slots in turn, each with its pending request or idle poll.
class PollScheduler {
public:
    static constexpr std::uint8_t kMissLimit = 20;
    // "BV All" and "CM All": request 6 of either device.
    static constexpr std::uint8_t kFullStatusRequest = 6;

    PollScheduler(Context& ctx, CommandSender& send) : ctx_(ctx), send_(send) {}

    void Timer1_Timer();

private:
    void serveHopper();
    void serveBillValidator();
    void serveCoinMech();
    void longReadNext();
    void idlePoll(std::uint8_t code, std::uint8_t& miss, std::uint8_t& cmdNo);

    Context& ctx_;
    CommandSender& send_;
};

} // namespace cmbvhp
