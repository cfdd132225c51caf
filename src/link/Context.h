#pragma once

#include "common/FormControls.h"
#include "common/PollTimer.h"
#include "common/WindowState.h"

namespace cmbvhp {

class SerialComponent;

// What every handler works on: the window-level state, the module flags, the
// window's controls, the serial component ComeOne and the poll timer Timer1.
struct Context {
    WindowState& state;
    GblFlag& gblFlag;
    FormControls& ui;
    SerialComponent& ComeOne;
    PollTimer& Timer1;
};

} // namespace cmbvhp
