#pragma once

#include "LineHealth.h"
#include "Traffic.h"
#include "common/Clock.h"
#include "common/FormControls.h"
#include "common/PollTimer.h"
#include "common/WindowState.h"

namespace cmbvhp {

class SerialComponent;

// What every handler works on: the window-level state, the module flags, the
// window's controls, the serial component ComeOne and the poll timer Timer1;
// and the time, the line's health and whoever records the traffic (none when
// null).
struct Context {
    WindowState& state;
    GblFlag& gblFlag;
    FormControls& ui;
    SerialComponent& ComeOne;
    PollTimer& Timer1;
    const Clock& clock;
    LineHealth& health;
    TrafficObserver* traffic = nullptr;
};

} // namespace cmbvhp
