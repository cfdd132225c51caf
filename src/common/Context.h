#pragma once

#include "FormControls.h"
#include "PollTimer.h"
#include "WindowState.h"

namespace cmbvhp {

class SerialComponent;

// What every handler works on: the window-level state, the window's controls,
// the serial component ComeOne and the poll timer Timer1.
struct Context {
    WindowState& state;
    FormControls& ui;
    SerialComponent& ComeOne;
    PollTimer& Timer1;
};

} // namespace cmbvhp
