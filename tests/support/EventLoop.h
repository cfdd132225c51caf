#pragma once

#include "Pty.h" // the simulator's pseudo-terminal: the test plays the device

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace cmbvhp::test {

using sim::Pty;

// Runs the event loop until `done` holds or the bound passes; false on timeout.
template <typename Done>
bool processUntil(Done done, std::chrono::milliseconds bound = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(bound);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(std::chrono::milliseconds(5));
    if (!done())
        loop.exec();
    return done();
}

} // namespace cmbvhp::test
