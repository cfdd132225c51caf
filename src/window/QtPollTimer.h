#pragma once

#include "common/PollTimer.h"

#include <QTimer>

namespace cmbvhp {

// Timer1 as a QTimer on the window's thread. QTimer restarts its countdown
// when the interval of a running timer is set, and when it is started.
class QtPollTimer : public PollTimer {
public:
    explicit QtPollTimer(QObject* parent = nullptr) : timer_(parent) {}

    QTimer& timer() { return timer_; }

    void setInterval(std::chrono::milliseconds interval) override { timer_.setInterval(interval); }
    std::chrono::milliseconds interval() const override { return timer_.intervalAsDuration(); }
    void setEnabled(bool enabled) override
    {
        if (enabled && !timer_.isActive())
            timer_.start();
        else if (!enabled)
            timer_.stop();
    }
    bool isEnabled() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

} // namespace cmbvhp
