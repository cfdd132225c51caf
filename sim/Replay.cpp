#include "Replay.h"

#include <algorithm>

namespace cmbvhp::sim {

namespace {
std::string key(const Bytes& frame) { return std::string(frame.begin(), frame.end()); }
} // namespace

std::optional<Replay> Replay::load(SessionReader& file, std::string& error)
{
    Replay r;
    for (;;) {
        const SessionReader::Line line = file.next();
        if (line == SessionReader::Line::Refused) {
            error = file.error();
            return std::nullopt;
        }
        if (line == SessionReader::Line::End)
            break;
        if (line == SessionReader::Line::Comment)
            continue;
        const SessionEvent& e = file.event();
        if (e.kind == SessionEvent::Kind::Tx)
            r.exchanges_.push_back({e.bytes, {}});
        else if (e.kind == SessionEvent::Kind::Rx && !r.exchanges_.empty())
            r.exchanges_.back().replies.push_back({std::chrono::milliseconds(e.afterMs.value_or(0)), e.bytes});
    }
    if (r.exchanges_.empty()) {
        error = "no TX line: the session sent no frame to answer";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < r.exchanges_.size(); ++i)
        r.at_[key(r.exchanges_[i].frame)].push_back(i);
    return r;
}

const std::vector<Replay::Piece>* Replay::answer(const Bytes& frame)
{
    const auto it = at_.find(key(frame));
    if (it != at_.end()) {
        const auto& places = it->second;
        const auto next = std::lower_bound(places.begin(), places.end(), next_);
        if (next != places.end()) {
            next_ = *next + 1;
            ++answered_;
            return &exchanges_[*next].replies;
        }
    }
    ++unanswered_;
    return nullptr;
}

} // namespace cmbvhp::sim
