#pragma once

#include "Devices.h"
#include "record/SessionReader.h"

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace cmbvhp::sim {

// A recorded session file played back: each frame the console sends is
// answered with the bytes recorded after the next identical frame further on
// in the file, each piece after its recorded delay. A frame with no identical
// one ahead gets no answer.
class Replay {
public:
    struct Piece {
        std::chrono::milliseconds after; // from the frame going out
        Bytes bytes;
    };

    // Reads a session file. Refused, with the reason in `error`, when it is
    // not a whole session: one the reader refuses, or one without a frame.
    static std::optional<Replay> load(SessionReader& file, std::string& error);

    // The pieces answering `frame`; null when no identical frame is ahead.
    const std::vector<Piece>* answer(const Bytes& frame);

    std::size_t frames() const { return exchanges_.size(); }
    std::size_t answered() const { return answered_; }
    std::size_t unanswered() const { return unanswered_; }

private:
    struct Exchange {
        Bytes frame;
        std::vector<Piece> replies;
    };
    std::vector<Exchange> exchanges_;
    // Where each frame stands in the file, in order: the search for the next
    // identical frame does not walk the file.
    std::unordered_map<std::string, std::vector<std::size_t>> at_;
    std::size_t next_ = 0;
    std::size_t answered_ = 0;
    std::size_t unanswered_ = 0;
};

} // namespace cmbvhp::sim
