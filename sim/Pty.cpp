#include "Pty.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace cmbvhp::sim {

Pty::Pty()
{
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    name_ = name;
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

std::size_t Pty::read(std::span<std::uint8_t> into)
{
    const ssize_t n = master_ < 0 ? -1 : ::read(master_, into.data(), into.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t Pty::write(std::span<const std::uint8_t> bytes)
{
    const ssize_t n = master_ < 0 ? -1 : ::write(master_, bytes.data(), bytes.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t Pty::waiting() const
{
    int n = 0;
    return slave_ >= 0 && ::ioctl(slave_, FIONREAD, &n) == 0 && n > 0 ? static_cast<std::size_t>(n) : 0;
}

termios Pty::settings() const
{
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
}

void Pty::close()
{
    for (int* fd : {&master_, &slave_})
        if (*fd >= 0)
            ::close(std::exchange(*fd, -1));
}

} // namespace cmbvhp::sim
