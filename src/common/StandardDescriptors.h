#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace cmbvhp {

// A program started with its input, output or error closed (as a service or a
// launcher may start it) hands those numbers to the next files it opens: a
// serial port or a session file would get what is printed, or be read as
// keys. They are held on /dev/null before anything else is opened.
inline void holdStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", O_RDWR);
}

} // namespace cmbvhp
