#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace cmbvhp {

// The three parties on the line: the hoppers share one reply and count as one.
enum class Party { BillValidator, Coin, Hoppers };
inline constexpr std::size_t kParties = 3;
static_assert(static_cast<std::size_t>(Party::Hoppers) + 1 == kParties);
inline constexpr const char* kPartyNames[] = {"Bill Validator", "Coin mechanism or Selector", "Hopper"};
static_assert(std::size(kPartyNames) == kParties);

// How one party answered since the port was opened.
struct PartyHealth {
    // Reply times in whole milliseconds; the last bucket holds the rest.
    static constexpr std::size_t kBuckets = 4096;

    std::uint64_t frames = 0;   // sent to it, commands included
    std::uint64_t answered = 0; // a reply the framer accepted came before the next frame
    std::uint64_t bad = 0;      // bytes came, but no accepted reply
    std::uint64_t silent = 0;   // nothing came before the next frame
    std::array<std::uint32_t, kBuckets> replyMs{}; // of the answered frames: frame out to first byte
    std::int64_t maxMs = 0;

    // The reply time at or below which `share` of the answered frames came
    // (nearest rank); none before the first answer.
    std::optional<std::int64_t> replyTime(double share) const;
    // "1200 frames, 1188 answered, 3 bad, 9 silent; reply after median 18 ms,
    // p99 25 ms, max 31 ms", or "...; no reply" when nothing was answered.
    QString summary() const;
};

// Keeps per party, from the opening of the port on: the frames sent and what
// came after each before the next frame went out. Fixed memory whatever the
// traffic. A frame is judged when the next one goes out; the one still
// waiting when the port closes is not counted, nor one whose reply came while
// the receive log was not framing (it cannot say whether it was good).
class LineHealth {
public:
    void reset();
    // A frame went out to `party`.
    void frameSent(Party party, std::int64_t steadyMs);
    // Bytes came; `framed` is false while the receive log's view does not frame.
    void bytesArrived(std::int64_t steadyMs, bool framed);
    // The framer accepted a complete reply.
    void replyAccepted() { accepted_ = true; }
    // The port closed: the frame still waiting is left uncounted.
    void close() { waiting_.reset(); }

    const PartyHealth& party(Party p) const { return parties_[static_cast<std::size_t>(p)]; }

private:
    void judge();

    std::array<PartyHealth, kParties> parties_{};
    std::optional<Party> waiting_; // the party of the last frame, not yet judged
    std::int64_t sentMs_ = 0;
    std::optional<std::int64_t> firstByteMs_;
    bool accepted_ = false;
    bool unframed_ = false;
};

} // namespace cmbvhp
