#pragma once

#include "common/Clock.h"

#include <cstdint>
#include <span>

namespace cmbvhp {

// What crosses the line, for whoever keeps a record of it.
class TrafficObserver {
public:
    virtual ~TrafficObserver() = default;
    // A frame was handed to the port; `taken` is false when the port did not take it.
    virtual void frameSent(std::span<const std::uint8_t> frame, bool taken, const Moment& at) = 0;
    // Bytes came with one notification, before the framer handles them, in
    // whatever view the receive log shows.
    virtual void bytesReceived(std::span<const std::uint8_t> bytes, const Moment& at) = 0;
};

} // namespace cmbvhp
