#include "Frames.h"

#include "common/TextForms.h"
#include "common/WindowState.h"

#include <cmath>

namespace cmbvhp {

Frame shortFrame(std::uint8_t code)
{
    Frame f;
    f.push(code);
    f.push(static_cast<std::uint8_t>(code ^ 0xFF));
    return f;
}

Frame addressedFrame(std::uint8_t address, std::span<const std::uint8_t> payload)
{
    Frame f;
    f.push(address);
    f.push(static_cast<std::uint8_t>(address ^ 0xFF));
    const auto length = static_cast<std::uint8_t>(payload.size());
    f.push(length);
    std::uint8_t check = length;
    for (std::uint8_t b : payload) {
        f.push(b);
        check ^= b;
    }
    f.push(check);
    return f;
}

Frame bvSetFrame(std::uint8_t arg)
{
    const std::uint8_t payload[] = {0x10, arg, 0x00};
    return addressedFrame(address::kBillValidator, payload);
}

Frame bvReturnFrame(std::uint8_t arg)
{
    const std::uint8_t payload[] = {0x11, 0x00, arg, 0x01, 0x00};
    return addressedFrame(address::kBillValidator, payload);
}

Frame cmSetFrame(std::uint8_t arg)
{
    const std::uint8_t payload[] = {0x00, arg};
    return addressedFrame(address::kCoinMech, payload);
}

namespace {
std::uint8_t packedPair(long long twoDigits)
{
    return static_cast<std::uint8_t>((twoDigits / 10) * 16 + twoDigits % 10);
}
} // namespace

ChangeBytes changeBytes(double amount)
{
    ChangeBytes out;
    if (!(amount >= 1 && amount < 10000))
        return out;
    const auto n = static_cast<long long>(roundHalfEven(amount));
    out.lo = packedPair(n % 100);
    if (amount >= 100)
        out.hi = packedPair((n % 10000) / 100);
    return out;
}

Frame cmChangeFrame(double amount)
{
    const ChangeBytes b = changeBytes(amount);
    const std::uint8_t payload[] = {0x01, b.lo, b.hi, 0x00};
    return addressedFrame(address::kCoinMech, payload);
}

Frame hpCountFrame(int index, std::uint8_t count)
{
    std::uint8_t payload[] = {0x00, 0x00, 0x00, 0x00, 0x00};
    if (index >= 0 && index <= 3)
        payload[index + 1] = count;
    return addressedFrame(address::kHopper, payload);
}

QString txLogLine(std::span<const std::uint8_t> frame)
{
    QString line;
    line.reserve(static_cast<qsizetype>(frame.size() * 3 + 2));
    for (std::uint8_t b : frame) {
        if (b >= 0x10)
            line.append(QChar(kHexDigits[b >> 4]));
        line.append(QChar(kHexDigits[b & 0x0F]));
        line.append(u' ');
    }
    line.append(u"\r\n");
    return line;
}

} // namespace cmbvhp
