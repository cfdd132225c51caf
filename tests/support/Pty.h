#pragma once

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <utility>
#include <string>
#include <vector>

namespace cmbvhp::test {

// A pseudo-terminal pair: the console opens `slave`, the test plays the device
// on the master side.
class Pty {
public:
    Pty()
    {
        char name[128] = {};
        if (::openpty(&master_, &slaveFd_, name, nullptr, nullptr) == 0) {
            slave = name;
            termios t{};
            ::tcgetattr(slaveFd_, &t);
            ::cfmakeraw(&t);
            ::tcsetattr(slaveFd_, TCSANOW, &t);
        }
    }
    ~Pty() { closeMaster(); }
    bool ok() const { return master_ >= 0 && !slave.empty(); }
    void write(const std::vector<std::uint8_t>& bytes) { (void)!::write(master_, bytes.data(), bytes.size()); }
    // Appends what the console has written since the last call; the total.
    std::size_t readInto(std::vector<std::uint8_t>& out)
    {
        std::uint8_t buf[256];
        for (pollfd fd{master_, POLLIN, 0}; ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out.size();
    }
    // The device goes away: both ends close, so that the console sees the hang-up.
    void closeMaster()
    {
        for (int* fd : {&master_, &slaveFd_})
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
    }

    std::string slave;

private:
    int master_ = -1;
    int slaveFd_ = -1;
};

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
