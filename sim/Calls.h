#pragma once
// Call records as the exchange reports them: a start frame when a call is set
// up and an end frame when it is released, and a generator of plausible
// calls.
#include "link/CallFrame.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>

namespace sim {

// Subscriber kits 0..2047; their call frames are made with the terminal's own
// codec (link/CallFrame.h: CallStartCodes, CallEndCodes).
constexpr int kMaxKit = 0x7FF;

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
