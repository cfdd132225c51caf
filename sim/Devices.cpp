#include "Devices.h"

namespace cmbvhp::sim {

namespace {
constexpr std::uint8_t kAck = 0x11;
constexpr std::uint8_t kPowerUp = 0x44;

bool isShortCode(std::uint8_t b)
{
    return (b >= 0x58 && b <= 0x5A) || (b >= 0x60 && b <= 0x62) || b == 0x71 || b == 0x72;
}
bool isAddress(std::uint8_t b) { return b == 0x5B || b == 0x63 || b == 0x73; }
// Counts are reported in packed decimal, two digits: 99 is the most a count
// can show. Returns whether the count moved.
bool bump(std::uint8_t& v)
{
    if (v >= 99)
        return false;
    ++v;
    return true;
}
} // namespace

Bytes framedReply(std::uint8_t type, const Bytes& data)
{
    Bytes out{type, static_cast<std::uint8_t>(data.size())};
    std::uint8_t x = static_cast<std::uint8_t>(data.size());
    for (std::uint8_t b : data) {
        out.push_back(b);
        x ^= b;
    }
    out.push_back(x);
    return out;
}

Bytes packedCount(std::span<const std::uint8_t> counts)
{
    Bytes out;
    for (std::uint8_t c : counts) {
        const int v = c > 99 ? 99 : c;
        out.push_back(static_cast<std::uint8_t>((v / 10) * 16 + v % 10));
    }
    return out;
}

std::vector<Bytes> FrameParser::feed(std::span<const std::uint8_t> bytes)
{
    std::vector<Bytes> frames;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t i = 0;
    while (i < pending_.size()) {
        const std::uint8_t b = pending_[i];
        const std::size_t left = pending_.size() - i;
        if (!isShortCode(b) && !isAddress(b)) {
            ++i;
            continue;
        }
        if (left < 2)
            break;
        if (pending_[i + 1] != static_cast<std::uint8_t>(b ^ 0xFF)) {
            ++i;
            continue;
        }
        if (isShortCode(b)) {
            frames.emplace_back(pending_.begin() + static_cast<long>(i), pending_.begin() + static_cast<long>(i + 2));
            i += 2;
            continue;
        }
        if (left < 3)
            break;
        const std::size_t total = std::size_t{pending_[i + 2]} + 4;
        if (left < total)
            break;
        std::uint8_t x = 0;
        for (std::size_t k = 2; k + 1 < total; ++k)
            x ^= pending_[i + k];
        if (x == pending_[i + total - 1])
            frames.emplace_back(pending_.begin() + static_cast<long>(i), pending_.begin() + static_cast<long>(i + total));
        i += x == pending_[i + total - 1] ? total : 1;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(i));
    return frames;
}

Devices::Devices(Options options) : options_(std::move(options)), rng_(options_.seed) {}

void Devices::key(char c)
{
    switch (c) {
    case 'b': insertBill(0); break;
    case 'f': insertBill(1); break;
    case 'm': insertBill(2); break;
    case '1': case '2': case '3': case '4': insertCoin(c - '1'); break;
    case 'e': toggleCoinError(); break;
    default: break;
    }
}

void Devices::insertBill(int kind)
{
    if (!bv_.enabled)
        return;
    bv_.newBill = kind;
    bump(bv_.billCounts[static_cast<std::size_t>(kind)]);
}

void Devices::insertCoin(int kind)
{
    if (!cm_.enabled)
        return;
    cm_.changed = bump(cm_.coinCounts[static_cast<std::size_t>(kind)]) || cm_.changed;
}

void Devices::toggleCoinError()
{
    if (!cm_.reportedPowerUp)
        return;
    cm_.error = !cm_.error;
    cm_.statusChanged = true;
}

Bytes Devices::answer(const Bytes& f)
{
    if (f.empty() || has(Fault::Silence))
        return {};
    const std::uint8_t first = f[0];
    if (first >= 0x58 && first <= 0x5B)
        return has(Fault::NoBillValidator) ? Bytes{} : withFaults(billValidatorAnswer(f), true);
    if (first >= 0x60 && first <= 0x63)
        return has(Fault::NoCoinMech) || options_.coin == CoinKind::None ? Bytes{} : withFaults(coinAnswer(f), true);
    // The hoppers' reply has no check byte.
    return has(Fault::NoHoppers) ? Bytes{} : withFaults(hopperAnswer(f), false);
}

// ---- Bill validator ----

// Records 18 (last bill), 19 (bill counts), 1A (device data), 1B (status), each
// 6 bytes behind a lead byte.
Bytes Devices::bvRecords(std::uint8_t type) const
{
    Bytes d{0x00};
    const int bill = bv_.newBill.value_or(-1);
    const Bytes records[] = {
        {0x18, std::uint8_t(bill == 0), std::uint8_t(bill == 1), std::uint8_t(bill == 2), 0x00, 0x00},
        {0x19, bv_.billCounts[0], bv_.billCounts[1], bv_.billCounts[2], 0x00, 0x00},
        {0x1A, 0x01, 0x00, 0x0A, 0x00, 0x00},
        {0x1B, std::uint8_t(bv_.enabled ? 0x01 : 0x00), 0x00, 0x00, 0x00, 0x00},
    };
    for (const Bytes& r : records)
        d.insert(d.end(), r.begin(), r.end());
    return framedReply(type, d);
}

Bytes Devices::billValidatorAnswer(const Bytes& f)
{
    if (!bv_.reportedPowerUp) {
        bv_.reportedPowerUp = true;
        return {kPowerUp};
    }
    const std::uint8_t code = f[0];
    if (code == 0x58) { // Stand By
        bv_.statusChanged = bv_.statusChanged || bv_.enabled;
        bv_.enabled = false;
        return {kAck};
    }
    if (code == 0x59) // BV All: the full status, as a long reply
        return bvRecords(kAck);
    if (code == 0x5A) { // data poll
        if (bv_.clearedToReport) {
            bv_.clearedToReport = false;
            return framedReply(0x22, {0x1B, std::uint8_t(0x40 | (bv_.enabled ? 1 : 0)), 0x00});
        }
        if (bv_.newBill) {
            Bytes r = bvRecords(0x33);
            bv_.newBill.reset();
            return r;
        }
        if (bv_.statusChanged) {
            bv_.statusChanged = false;
            return framedReply(0x22, {0x1B, std::uint8_t(bv_.enabled ? 0x01 : 0x00), 0x00});
        }
        return {kAck};
    }
    // Addressed: 5B A4 03 10 arg 00 X (set) or 5B A4 05 11 00 arg 01 00 X (return)
    if (f.size() == 7 && f[3] == 0x10) {
        const std::uint8_t arg = f[4];
        if (arg == 0xE1 || arg == 0x00) {
            const bool on = arg == 0xE1;
            bv_.statusChanged = bv_.statusChanged || on != bv_.enabled;
            bv_.enabled = on;
        } else if (arg == 0x02) { // Stack: the bills go to the box, the counts restart
            bv_.billCounts = {};
            bv_.newBill.reset();
            bv_.clearedToReport = true;
        }
    }
    return {kAck};
}

// ---- Coin mechanism or selector ----

Bytes Devices::cmRecords(std::uint8_t type) const
{
    Bytes d{0x00, 0x08};
    const Bytes coins = packedCount(cm_.coinCounts);
    d.insert(d.end(), coins.begin(), coins.end());
    d.push_back(0x00);
    d.push_back(0x0A);
    const Bytes paid = packedCount(cm_.paidCounts);
    d.insert(d.end(), paid.begin(), paid.end());
    d.push_back(0x00);
    const Bytes status{0x0B, coinStatus(), 0x00, 0x00, 0x00, 0x00};
    d.insert(d.end(), status.begin(), status.end());
    return framedReply(type, d);
}

// The selector's replies are always 10 bytes: 33 07 08 c1 c2 c3 c4 0B status X.
Bytes Devices::selectorReply() const
{
    const auto& c = cm_.coinCounts;
    return framedReply(0x33, {0x08, c[0], c[1], c[2], c[3], 0x0B, coinStatus()});
}

// Bit 0: taking coins; bit 1: an error (the terminal's key).
std::uint8_t Devices::coinStatus() const { return std::uint8_t((cm_.enabled ? 0x01 : 0x00) | (cm_.error ? 0x02 : 0x00)); }

// The short status reply, 7 data bytes as the selector's replies always have,
// so that the coin mechanism and the selector frame it alike.
Bytes Devices::coinStatusReply() const { return framedReply(0x22, {0x0B, coinStatus(), 0x00, 0x00, 0x00, 0x00, 0x00}); }

void Devices::setCoinEnabled(bool on)
{
    cm_.statusChanged = cm_.statusChanged || on != cm_.enabled;
    cm_.enabled = on;
}

// One coin a poll: the largest kind that does not overshoot what is left and
// whose paid count can still be reported (kind 4 is not counted in a payout).
// When none fits, the device has run out and pays no more.
void Devices::payOneCoin()
{
    auto& p = cm_.paidCounts;
    const int left = cm_.changeToPay - (p[0] + 2 * p[1] + 5 * p[2]);
    const std::pair<std::size_t, int> kinds[] = {{2, 5}, {1, 2}, {0, 1}};
    for (const auto& [kind, value] : kinds)
        if (value <= left && bump(p[kind])) {
            cm_.changed = true;
            return;
        }
}

Bytes Devices::coinAnswer(const Bytes& f)
{
    if (!cm_.reportedPowerUp) {
        cm_.reportedPowerUp = true;
        return {kPowerUp};
    }
    const bool selector = options_.coin == CoinKind::Selector;
    switch (f[0]) {
    case 0x60: setCoinEnabled(false); return {kAck};
    case 0x61: return selector ? selectorReply() : cmRecords(kAck);
    case 0x62:
        payOneCoin(); // nothing while no change is asked for
        // A status change first; the counts follow at the next poll.
        if (cm_.statusChanged) {
            cm_.statusChanged = false;
            return coinStatusReply();
        }
        if (!cm_.changed)
            return {kAck};
        cm_.changed = false;
        return selector ? selectorReply() : cmRecords(0x33);
    default: break;
    }
    if (f.size() == 6 && f[3] == 0x00) { // 63 9C 02 00 arg X
        const std::uint8_t arg = f[4];
        if (arg == 0x01 || arg == 0x03)
            setCoinEnabled(true);
        else if (arg == 0x00)
            setCoinEnabled(false);
        else if (arg == 0x02) { // Data Clear
            const bool counted = cm_.coinCounts != decltype(cm_.coinCounts){} || cm_.paidCounts != decltype(cm_.paidCounts){};
            cm_.coinCounts = {};
            cm_.paidCounts = {};
            cm_.changeToPay = 0;
            cm_.changed = cm_.changed || counted;
        }
    } else if (f.size() == 8 && f[3] == 0x01 && !selector) { // Change: 63 9C 04 01 lo hi 00 X
        auto digits = [](std::uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
        cm_.changeToPay = digits(f[5]) * 100 + digits(f[4]);
        cm_.paidCounts = {};
        cm_.changed = true;
    }
    return {kAck};
}

// ---- Hoppers ----

Bytes Devices::hopperReply() const
{
    const auto& p = hp_.paid;
    const auto& t = hp_.target;
    return {0x33, 0x00, 0x15, p[0], p[1], p[2], p[3], 0x16, t[0], t[1], t[2], t[3],
            0x17, 0x00, 0x00, 0x00, 0x00, 0x18, 0x00, 0x00};
}

Bytes Devices::hopperAnswer(const Bytes& f)
{
    if (f[0] == 0x72 || f[0] == 0x71) {
        // Each poll pays one more coin from every hopper short of its count,
        // unless the hoppers have run empty.
        for (std::size_t i = 0; i < 4 && !has(Fault::HoppersEmpty); ++i)
            if (hp_.paid[i] < hp_.target[i])
                ++hp_.paid[i];
        return hopperReply();
    }
    if (f.size() == 9 && f[0] == 0x73) { // 73 8C 05 00 c1 c2 c3 c4 X
        // A frame carries one hopper's count; 00 is no request for a hopper.
        for (std::size_t i = 0; i < 4; ++i)
            if (f[4 + i] != 0) {
                hp_.target[i] = f[4 + i];
                hp_.paid[i] = 0;
            }
    }
    return {kAck};
}

// ---- Faults ----

Bytes Devices::withFaults(Bytes reply, bool checked)
{
    if (reply.empty())
        return reply;
    ++replies_;
    if (has(Fault::BadCheck) && checked && reply.size() > 1)
        reply.back() ^= 0xFF;
    if (has(Fault::CutShort) && reply.size() > 2 && replies_ % 2 == 0)
        reply.resize(reply.size() / 2);
    if (has(Fault::RandomBytes) && replies_ % 3 == 0) {
        Bytes noise(1 + rng_() % 12);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(rng_());
        reply.insert(reply.begin() + static_cast<long>(rng_() % (reply.size() + 1)), noise.begin(), noise.end());
    }
    return reply;
}

} // namespace cmbvhp::sim
