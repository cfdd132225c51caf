#pragma once

#include <array>
#include <cstdint>

namespace cmbvhp {

// The reply being received, addressed by 1-based position as the decoders name
// reply bytes. Positions outside 1 ... 1024 are never touched: a read there gives
// 0 and a write is dropped, so no byte stream can reach memory outside it.
class RxBuffer {
public:
    static constexpr int kSize = 1024;

    std::uint8_t operator()(int pos) const
    {
        return inRange(pos) ? bytes_[static_cast<std::size_t>(pos - 1)] : 0;
    }
    void set(int pos, std::uint8_t b)
    {
        if (inRange(pos))
            bytes_[static_cast<std::size_t>(pos - 1)] = b;
    }

private:
    static constexpr bool inRange(int pos) { return pos >= 1 && pos <= kSize; }
    std::array<std::uint8_t, kSize> bytes_{};
};

// Device numbers held in curDevice.
namespace device {
inline constexpr std::uint8_t kNone = 0;
inline constexpr std::uint8_t kBillValidator = 1;
inline constexpr std::uint8_t kCoinMech = 2;
inline constexpr std::uint8_t kHopper = 4;
} // namespace device

// Window-level state of frmBody: the one place every handler reads and writes.
// Widths are the console's own; the 8-bit counters behave as 8-bit values.
// Everything starts at 0 when the window is created.
struct WindowState {
    // Poll scheduler
    std::uint8_t curDevice = 0;  // device last addressed, see namespace device
    std::int16_t pollTurn = 0;   // next slot: 0 bill validator, -1 coin mechanism
    std::uint8_t bvCmdNo = 0;    // pending request per device, button index + 1
    std::uint8_t cmCmdNo = 0;
    std::uint8_t hpCmdNo = 0;
    std::uint8_t hpPending = 0;  // 1 = a hopper request waits for the next tick
    std::uint8_t bvMiss = 0;     // idle polls without an accepted reply
    std::uint8_t cmMiss = 0;
    std::uint8_t bvLongRead = 0; // 1 while a full-status reply is expected
    std::uint8_t cmLongRead = 0;
    std::uint8_t clearPending = 0; // 1 after "Stack" or "Data Clear" went out

    // Receive framer
    RxBuffer rxBuf;
    std::int16_t rxPos = 0;
    std::uint8_t rxLen = 0;
    std::uint8_t rxXor = 0;
    std::uint8_t bvSeq = 0; // start-up step: 0, 1, 2, 4 or 8
    std::uint8_t cmSeq = 0;

    // Bill validator
    double bvBill1 = 0;
    double bvBill2 = 0;
    double bvBill3 = 0;
    double bvAmount = 0;
    std::int16_t bvStatFlag = 0; // -1 or 0

    // Coin mechanism or selector; cmCoinCount(k) is element k - 1.
    double cmAmount = 0;
    double cmPaidAmount = 0;
    std::array<std::uint8_t, 4> cmCoinCount{};
    std::array<std::uint8_t, 4> cmPaidCount{};
    double changeAmount = 0; // amount of the last "Change" frame; 0 = no payout followed
};

// The module gblFlag: the console's two global flags.
struct GblFlag {
    std::int16_t portOpen = 0; // -1 while the port is held open
    std::int16_t viewMode = 0; // 0 hexadecimal, 1 characters, 2 decimal
};

inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

} // namespace cmbvhp
