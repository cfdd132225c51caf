#pragma once

#include "devices/BillValidatorDecoder.h"
#include "devices/CoinDecoder.h"
#include "devices/HopperDecoder.h"
#include "link/CommandSender.h"
#include "link/ReceiveFramer.h"
#include "polling/CommandButtons.h"
#include "polling/PollScheduler.h"

namespace cmbvhp {

// The event entry points of frmBody that need no widgets, wired to one window
// state: ticks, command clicks and receive notifications.
class Engine : private ReplyHandlers {
public:
    Engine(FormControls& ui, SerialComponent& port, PollTimer& timer1, const Clock& clock)
        : ctx_{state_, gblFlag_, ui, port, timer1, clock, health_},
          sender_(ctx_),
          scheduler_(ctx_, sender_),
          buttons_(ctx_),
          bv_(ctx_),
          cm_(ctx_),
          hp_(ctx_),
          framer_(ctx_, *this)
    {
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    WindowState& state() { return state_; }
    const WindowState& state() const { return state_; }
    GblFlag& gblFlag() { return gblFlag_; }
    const GblFlag& gblFlag() const { return gblFlag_; }
    LineHealth& health() { return health_; }
    const LineHealth& health() const { return health_; }
    // Who records the traffic; none when null.
    void setTraffic(TrafficObserver* traffic) { ctx_.traffic = traffic; }

    void Timer1_Timer() { scheduler_.Timer1_Timer(); }
    void ComeOne_OnComm() { framer_.ComeOne_OnComm(); }
    void bvCmd_Click(std::int16_t index) override { buttons_.bvCmd_Click(index); }
    void cmCmd_Click(std::int16_t index) override { buttons_.cmCmd_Click(index); }
    void cmdHp1_Click(std::int16_t index) { buttons_.cmdHp1_Click(index); }

    CommandSender& sender() { return sender_; }

private:
    void replyAccepted() override { health_.replyAccepted(); }
    void decodeBvShortReply() override { bv_.decodeBvShortReply(); }
    void decodeBvReply() override { bv_.decodeBvReply(); }
    void decodeCmShortReply() override { cm_.decodeCmShortReply(); }
    void decodeCmReply() override { cm_.decodeCmReply(); }
    void decodeHpReply() override { hp_.decodeHpReply(); }

    WindowState state_;
    GblFlag gblFlag_;
    LineHealth health_;
    Context ctx_;
    CommandSender sender_;
    PollScheduler scheduler_;
    CommandButtons buttons_;
    BillValidatorDecoder bv_;
    CoinDecoder cm_;
    HopperDecoder hp_;
    ReceiveFramer framer_;
};

} // namespace cmbvhp
