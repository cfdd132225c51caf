#pragma once

#include "Context.h"

#include <array>

namespace cmbvhp {

// Where accepted replies and the start-up sequences lead: the decoders and the
// command buttons, which sit above the link, and what counts the replies.
class ReplyHandlers {
public:
    virtual ~ReplyHandlers() = default;
    // A reply was accepted: a framed reply on its check byte, a single-byte
    // reply, a hopper reply on its last byte.
    virtual void replyAccepted() = 0;
    virtual void bvCmd_Click(std::int16_t index) = 0;
    virtual void cmCmd_Click(std::int16_t index) = 0;
    virtual void decodeBvShortReply() = 0;
    virtual void decodeBvReply() = 0;
    virtual void decodeCmShortReply() = 0;
    virtual void decodeCmReply() = 0;
    virtual void decodeHpReply() = 0;
};

// ComeOne_OnComm: logs every received byte by the view mode and, in the
// hexadecimal view, reassembles the replies of the device in curDevice, checks
// them and hands accepted ones to that device's decoder.
class ReceiveFramer {
public:
    ReceiveFramer(Context& ctx, ReplyHandlers& handlers) : ctx_(ctx), on_(handlers) {}

    void ComeOne_OnComm();

    static constexpr std::uint8_t kPowerUp = 0x44;
    static constexpr std::uint8_t kAck = 0x11;
    static constexpr std::uint8_t kShortReply = 0x22;
    static constexpr std::uint8_t kRecordReply = 0x33;

private:
    // The device-specific halves of the framed-reply step.
    enum class Side { BillValidator, CoinMech };

    // One received byte: logged by the view, then stored and framed.
    void handleByte(std::uint8_t b);
    // Ends the reply's log line and tells that it was accepted.
    void accepted();
    bool logByte(std::uint8_t b); // false when the view does not frame
    // Hands the text of the bytes so far to the receive log.
    void flushLog();
    void deviceBranch(Side side);
    void decodeLongReply(Side side);
    void hopperBranch();
    // Runs accept() when the byte just stored is the check byte of a good reply,
    // while the reply is still intact and before the position is rewound.
    template <typename Accept>
    void framedStep(Side side, bool longRead, Accept accept);
    void bvStartupStep(std::uint8_t reply);
    void cmStartupStep(std::uint8_t reply);

    Context& ctx_;
    ReplyHandlers& on_;
    // The text of a read's bytes goes to the log in one append, not one per
    // byte. Nothing else reaches a log meanwhile: the buttons a reply clicks
    // queue their frames for a tick, and the decoders fill boxes.
    std::array<char16_t, 512> logText_{};
    std::size_t logUsed_ = 0;
};

} // namespace cmbvhp
