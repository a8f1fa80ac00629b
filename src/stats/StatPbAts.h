#pragma once
// Battery receiver statistics ("ПБ"), at most 64 receivers: the count, then
// three bit tables (excluded, blocked, busy), the last one live. Every frame
// of the table steps, the unused ones of the one-shot steps too, repaints the
// receivers by the rules of its step.
//
// The tables hold one bit per receiver, four to a code. A count that is not a
// multiple of four is read with the codes rounded up, so every receiver has
// its bit in the frame.
#include "stats/StatProtocol.h"
#include "stats/StatValues.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TStatPbAts : public StatProtocol {
public:
    static constexpr int kMaxReceivers = 64;
    enum : int { kCountStep = 100, kExcludedStep = 1, kBlockedStep = 2, kBusyStep = 3 };

    // The count: PbLastKit from the cell 5FA3.
    static const StatStep& CountStep();
    // Payload codes of a table for receivers 0..lastKit: ceil((lastKit + 1) / 4).
    static int TableCodes(int lastKit);
    // The excluded (5FC4) and blocked (2254) bits, then the busy bits (2224, live).
    static std::vector<StatStep> TableSteps(int lastKit);
    static StatStep BusyStep(int lastKit);

    // StatProtocol
    const StatStep* Step(int code) const override;
    void Frame(const StatStep& step, const uint8_t* data, StatFields& fields) override;
    void Decode(const StatStep& step, const uint8_t* data, StatFields& fields) override;

    std::array<uint8_t, kMaxReceivers> PbExcluded{};
    std::array<uint8_t, kMaxReceivers> PbBlocked{};
    std::array<uint8_t, kMaxReceivers> PbCurrent{}; // bits of the latest frame

    // The colour of receiver i after a frame of step `code`; none where the
    // panel keeps its colour.
    std::optional<uint32_t> ReceiverColour(int i, int code) const;

    // A table frame has been taken: receivers 0..lastKit repaint.
    std::function<void(int code, int lastKit)> Repaint;
};
