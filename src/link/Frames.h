#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <span>

namespace cmbvhp {

// One command frame as it goes on the wire; the longest has 9 bytes.
class Frame {
public:
    static constexpr std::size_t kMaxSize = 9;

    std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }
    std::size_t size() const { return size_; }
    void push(std::uint8_t b) { bytes_.at(size_++) = b; }

private:
    std::array<std::uint8_t, kMaxSize> bytes_{};
    std::size_t size_ = 0;
};

// Addresses of the addressed frames.
namespace address {
inline constexpr std::uint8_t kBillValidator = 0x5B;
inline constexpr std::uint8_t kCoinMech = 0x63;
inline constexpr std::uint8_t kHopper = 0x73;
} // namespace address

// Short commands and the payload arguments the scheduler passes.
namespace code {
inline constexpr std::uint8_t kBvStandBy = 0x58;
inline constexpr std::uint8_t kBvAll = 0x59;
inline constexpr std::uint8_t kBvData = 0x5A;
inline constexpr std::uint8_t kCmStandBy = 0x60;
inline constexpr std::uint8_t kCmAll = 0x61;
inline constexpr std::uint8_t kCmData = 0x62;
inline constexpr std::uint8_t kHpAll = 0x71;
inline constexpr std::uint8_t kHpStatus = 0x72;

inline constexpr std::uint8_t kBvCremOn = 0xE1;
inline constexpr std::uint8_t kBvCremOff = 0x00;
inline constexpr std::uint8_t kBvStack = 0x02;
inline constexpr std::uint8_t kBvReturn = 0x50;
inline constexpr std::uint8_t kCmCremOnSelector = 0x01;
inline constexpr std::uint8_t kCmCremOnMech = 0x03;
inline constexpr std::uint8_t kCmCremOff = 0x00;
inline constexpr std::uint8_t kCmDataClear = 0x02;
} // namespace code

// code, NOT code
Frame shortFrame(std::uint8_t code);
// address, NOT address, L, payload, XOR of L and the payload
Frame addressedFrame(std::uint8_t address, std::span<const std::uint8_t> payload);

Frame bvSetFrame(std::uint8_t arg);    // 5B A4 03 10 arg 00 X
Frame bvReturnFrame(std::uint8_t arg); // 5B A4 05 11 00 arg 01 00 X
Frame cmSetFrame(std::uint8_t arg);    // 63 9C 02 00 arg X

// The two packed-decimal amount bytes of a "Change" frame.
struct ChangeBytes {
    std::uint8_t lo = 0; // tens and units
    std::uint8_t hi = 0; // thousands and hundreds
};
ChangeBytes changeBytes(double amount);
Frame cmChangeFrame(double amount); // 63 9C 04 01 lo hi 00 X
Frame hpCountFrame(int index, std::uint8_t count); // 73 8C 05 00 c1 c2 c3 c4 X

// The transmit log's line for a frame: each byte in upper-case hexadecimal
// without a leading zero and a blank, then "\r\n".
QString txLogLine(std::span<const std::uint8_t> frame);

} // namespace cmbvhp
