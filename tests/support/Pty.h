#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
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
    ~Pty()
    {
        closeMaster();
        if (slaveFd_ >= 0)
            ::close(slaveFd_);
    }
    bool ok() const { return master_ >= 0 && !slave.empty(); }
    void write(const std::vector<std::uint8_t>& bytes) { (void)!::write(master_, bytes.data(), bytes.size()); }
    // Everything the console has written so far.
    std::vector<std::uint8_t> readAvailable()
    {
        std::vector<std::uint8_t> out;
        std::uint8_t buf[256];
        for (;;) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(master_, &set);
            timeval none{0, 0};
            if (::select(master_ + 1, &set, nullptr, nullptr, &none) <= 0)
                break;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }
    // The device goes away; the slave side is closed too so that the console's
    // end sees the hang-up.
    void closeMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        if (slaveFd_ >= 0)
            ::close(slaveFd_);
        slaveFd_ = -1;
    }

    std::string slave;

private:
    int master_ = -1;
    int slaveFd_ = -1;
};

// Runs the event loop, idle between events, until `done` holds or the bound
// passes; false on timeout.
template <typename Done>
bool processUntil(Done done, std::chrono::milliseconds bound = std::chrono::seconds(5))
{
    const QDeadlineTimer deadline(bound);
    QEventLoop loop;
    QTimer check;
    check.setInterval(std::chrono::milliseconds(5));
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start();
    if (!done())
        loop.exec();
    return done();
}

} // namespace cmbvhp::test
