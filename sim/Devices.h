#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace cmbvhp::sim {

using Bytes = std::vector<std::uint8_t>;

// Reply builders, in the formats the console frames.
Bytes framedReply(std::uint8_t type, const Bytes& data); // type, N, data, XOR of N and data
Bytes packedCount(std::span<const std::uint8_t> counts); // 0 ... 99 each, one digit per nibble

// Splits the host's byte stream into command frames: short ones (code, NOT
// code) and addressed ones (address, NOT address, L, payload, check). Bytes
// that start no frame are skipped.
class FrameParser {
public:
    // Feeds bytes; returns the frames completed by them.
    std::vector<Bytes> feed(std::span<const std::uint8_t> bytes);

private:
    Bytes pending_;
};

enum class CoinKind { Mechanism, Selector, None };

enum class Fault { Silence, BadCheck, CutShort, RandomBytes, NoBillValidator, NoCoinMech, NoHoppers, HoppersEmpty };

struct Options {
    CoinKind coin = CoinKind::Mechanism;
    std::set<Fault> faults;
    unsigned seed = 1;
};

// The bill validator, the coin mechanism or selector and four hoppers on one
// line. Each host frame gets the reply its device gives, or none.
class Devices {
public:
    explicit Devices(Options options);

    // The reply to one complete host frame (empty: the device stays silent).
    Bytes answer(const Bytes& frame);

    // What a technician does at the devices, by the simulator's keys: b, f and
    // m insert a bill of 10, 50 and 10000; 1 to 4 a coin of that kind; e
    // makes the coin device report an error, or no longer. Other keys do nothing.
    void key(char c);
    // The --bill-every and --coin-every schedule: the three bill kinds, and
    // coin kinds 1 to 3, each in turn.
    void insertScheduledBill() { insertBill(scheduledBills_++ % 3); }
    void insertScheduledCoin() { insertCoin(scheduledCoins_++ % 3); }

    // Observable state, for tests and the simulator's own log.
    struct BillValidator {
        bool reportedPowerUp = false;
        bool enabled = false;
        bool statusChanged = false;
        bool clearedToReport = false;
        std::optional<int> newBill;
        std::array<std::uint8_t, 3> billCounts{};
    };
    struct CoinMech {
        bool reportedPowerUp = false;
        bool enabled = false;
        bool error = false;
        bool statusChanged = false; // a short status reply is due
        bool changed = false;       // a count moved: a record reply is due
        std::array<std::uint8_t, 4> coinCounts{};
        std::array<std::uint8_t, 4> paidCounts{};
        int changeToPay = 0;
    };
    struct Hoppers {
        std::array<std::uint8_t, 4> target{};
        std::array<std::uint8_t, 4> paid{};
    };
    const BillValidator& billValidator() const { return bv_; }
    const CoinMech& coinMech() const { return cm_; }
    const Hoppers& hoppers() const { return hp_; }

private:
    Bytes billValidatorAnswer(const Bytes& f);
    Bytes coinAnswer(const Bytes& f);
    Bytes hopperAnswer(const Bytes& f);
    Bytes bvRecords(std::uint8_t type) const;
    Bytes cmRecords(std::uint8_t type) const;
    Bytes selectorReply() const;
    Bytes coinStatusReply() const;
    std::uint8_t coinStatus() const;
    void setCoinEnabled(bool on);
    Bytes hopperReply() const;
    void payOneCoin();
    Bytes withFaults(Bytes reply, bool checked);
    bool has(Fault f) const { return options_.faults.count(f) != 0; }

    void insertBill(int kind); // 0: 10, 1: 50, 2: 10000
    void insertCoin(int kind); // 0 ... 3: coin kinds 1 ... 4
    void toggleCoinError();

    Options options_;
    std::mt19937 rng_;
    BillValidator bv_;
    CoinMech cm_;
    Hoppers hp_;
    unsigned replies_ = 0;
    unsigned scheduledBills_ = 0, scheduledCoins_ = 0;
};

} // namespace cmbvhp::sim
