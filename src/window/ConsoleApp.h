#pragma once

#include "frmBody.h"
#include "link/PortNames.h"

#include <functional>

class QApplication;

namespace cmbvhp {

// Before the application is made: the event loop and display path a busy line
// costs least on. A variable the environment already has is left as it is;
// prepareApplication takes back what this set.
void prepareEnvironment();

// The style and fonts the window is laid out for; the program, its tests and
// benchmarks all run with them.
void prepareApplication(QApplication& app);

// Once the application is made: room in the X connection's socket for what a
// busy beat draws, so that a flush does not wait for the server.
void widenDisplaySocket(QApplication& app);

// SIGTERM, SIGINT and SIGHUP end the console as "Finish" does, so that the
// session file gets its closing lines.
void finishOnSignals(frmBody& window);

// However else the program ends while the window stands (the display lost),
// its session closes as "Finish" closes it: what waits at the port taken in,
// the closing lines written and synced.
void finishAtExit(frmBody& window);

// The host's port-number rule (see PortNames), and what each number reaches.
PortLocator hostPorts(const PortNames& names = PortNames(PortNames::defaultLinkFolder()));
PortDescriber hostPortDescriptions(const PortNames& names = PortNames(PortNames::defaultLinkFolder()));
// The console once its application is made: the window, its port numbers
// reaching what `names` gives them, shown, and closing its session as
// "Finish" does however the program ends; `started` (a test's) acts on it
// before the event loop runs.
int runConsole(QApplication& app, const PortNames& names, const std::function<void(frmBody&)>& started = {});

} // namespace cmbvhp
