#pragma once

#include <chrono>

namespace cmbvhp {

// Timer1 as the logic drives it. Setting the interval, or enabling a stopped
// timer, restarts its countdown.
class PollTimer {
public:
    virtual ~PollTimer() = default;
    virtual void setInterval(std::chrono::milliseconds interval) = 0;
    virtual std::chrono::milliseconds interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

inline constexpr std::chrono::milliseconds kPollInterval{100};
inline constexpr std::chrono::milliseconds kLongReadInterval{300};

} // namespace cmbvhp
