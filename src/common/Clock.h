#pragma once

#include <cstdint>

namespace cmbvhp {

// A point in time as the logic reads it: the wall clock for what is shown and
// recorded, the steady clock for durations, which a change of the wall clock
// must not bend.
struct Moment {
    std::int64_t wallMs = 0;   // since the epoch
    std::int64_t steadyMs = 0; // since an arbitrary start
    // What it times may have happened up to this much before: bytes that
    // waited at a resting port. Zero when it was timed as it came.
    std::int64_t lateMs = 0;
};

// The window reads the time once per event, so that all one event does (a
// notification may bring many lines) carries the same time; tests set it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Moment now() const = 0;
};

} // namespace cmbvhp
