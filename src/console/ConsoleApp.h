#pragma once

#include "link/SerialComponent.h"

class QApplication;

namespace cmbvhp {

// The style and fonts the window is laid out for; the program, its tests and
// benchmarks all run with them.
void prepareApplication(QApplication& app);

// The host's port-number rule (see PortNames).
PortLocator hostPorts();

} // namespace cmbvhp
