#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <termios.h>

namespace cmbvhp::sim {

// A raw pseudo-terminal pair. The console opens name(); the device side reads
// and writes the master end without blocking. Raw from the start, so that
// nothing is echoed or translated before the console opens the port; the slave
// end stays open here so that the console can close and reopen it.
class Pty {
public:
    Pty();
    ~Pty() { close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& name() const { return name_; }
    int fd() const { return master_; }
    // What the console sent, as much as fits; 0 when nothing waits.
    std::size_t read(std::span<std::uint8_t> into);
    // What the terminal takes now; the rest is the caller's.
    std::size_t write(std::span<const std::uint8_t> bytes);
    // Bytes written here that wait at the console's end, not yet read.
    std::size_t waiting() const;
    // The line settings the console gave the terminal, as it keeps them.
    termios settings() const;
    // The device goes away: both ends close, so that the console sees the hang-up.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

} // namespace cmbvhp::sim
