#pragma once

#include "Devices.h"

#include <chrono>
#include <istream>
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

    // Reads a session file. Refused, with the line number and the reason in
    // `error`, when it is malformed; only a last line without its line end (a
    // session ended by a kill) may be cut anywhere, and is then left out.
    static std::optional<Replay> load(std::istream& in, std::string& error);

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
