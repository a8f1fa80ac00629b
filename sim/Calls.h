#pragma once
// Call records as the exchange reports them: a start frame when a call is set
// up and an end frame when it is released, and a generator of plausible
// calls.
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>

namespace sim {

constexpr int kMaxKit = 0x7FF; // subscriber kits 0..2047

// 28 codes: 11, 11, 11, 17, then nibbles 4..27: 4 unused, 5-7 kit (high nibble
// + 8), 8 A digit count, 9-15 A digits right-aligned, 16 B digit count,
// 17-23 B digits reversed (23 most significant), 24 category. Digit strings
// longer than 7 keep the last 7 digits of A and the first 7 of B; the counts
// are sent as they are (at most 15). Returns nullopt for a kit out of range
// or a number with non-digits.
std::optional<std::array<uint8_t, 28>> CallStartFrame(int kit, const QString& a, const QString& b,
                                                      int category);
// 16 codes: 11, 11, 11, 1, then 4 unused, 5-7 kit, 8 unused, 9-15 the first
// seven B digits reversed (15 most significant).
std::optional<std::array<uint8_t, 16>> CallEndFrame(int kit, const QString& b);

// A call chosen by the generator.
struct CallPlan {
    int kit = 0;
    QString a, b;
    int category = 1;
    int64_t holdMs = 0;
};

// Subscriber number of a kit in the simulated exchange (five digits).
QString SubscriberNumber(int kit);

// Chooses calls: mostly local numbers, some long-distance ("8" + area code)
// and international ("810" + country) ones, held for an exponentially
// distributed time.
class CallGenerator {
public:
    explicit CallGenerator(uint32_t seed) : m_rng(seed) {}
    void SetMeanHoldSeconds(double s) { m_meanHold = s; }
    double MeanHoldSeconds() const { return m_meanHold; }
    // A call from one of the kits for which usable(kit) holds, or nullopt when
    // no usable kit was found.
    std::optional<CallPlan> Next(const std::function<bool(int)>& usable);
    // Milliseconds until the next call at the given rate (calls per minute).
    int64_t Interval(double perMinute);
    std::mt19937& Rng() { return m_rng; }

private:
    double Uniform();
    std::mt19937 m_rng;
    double m_meanHold = 40.0;
};

} // namespace sim
