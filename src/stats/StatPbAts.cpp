#include "stats/StatPbAts.h"

#include <algorithm>

namespace {
constexpr int kExcludedTable = 0x5FC4;
constexpr int kBlockedTable = 0x2254;
constexpr int kBusyTable = 0x2224;

const StatStep kExcludedTemplate{
    .code = TStatPbAts::kExcludedStep, .address = kExcludedTable, .bitMode = true, .progress = 60};
const StatStep kBlockedTemplate{
    .code = TStatPbAts::kBlockedStep, .address = kBlockedTable, .bitMode = true, .progress = 100};
const StatStep kBusyTemplate{
    .code = TStatPbAts::kBusyStep, .address = kBusyTable, .bitMode = true, .live = true};

int Last(const StatFields& fields) {
    return std::clamp(int(fields.PbLastKit), 0, TStatPbAts::kMaxReceivers - 1);
}

StatStep Sized(StatStep s, int lastKit) {
    s.codes = TStatPbAts::TableCodes(lastKit);
    return s;
}
} // namespace

const StatStep& TStatPbAts::CountStep() {
    static const StatStep s{.code = kCountStep, .address = 0x5FA3, .codes = 4, .progress = 30};
    return s;
}

int TStatPbAts::TableCodes(int lastKit) {
    return (std::clamp(lastKit, 0, kMaxReceivers - 1) + 1 + 3) / 4;
}

std::vector<StatStep> TStatPbAts::TableSteps(int lastKit) {
    return {Sized(kExcludedTemplate, lastKit), Sized(kBlockedTemplate, lastKit)};
}

StatStep TStatPbAts::BusyStep(int lastKit) {
    return Sized(kBusyTemplate, lastKit);
}

const StatStep* TStatPbAts::Step(int code) const {
    switch (code) {
    case kCountStep:
        return &CountStep();
    case kExcludedStep:
        return &kExcludedTemplate;
    case kBlockedStep:
        return &kBlockedTemplate;
    case kBusyStep:
        return &kBusyTemplate;
    default:
        return nullptr;
    }
}

void TStatPbAts::Frame(const StatStep& step, const uint8_t* data, StatFields& fields) {
    if (step.code >= kCountStep) return;
    // The table is stored from the highest receiver down.
    const int last = Last(fields);
    for (int i = 0; i <= last; ++i)
        PbCurrent[size_t(i)] = data[last - i];
    if (Repaint) Repaint(step.code, last);
}

void TStatPbAts::Decode(const StatStep& step, const uint8_t* data, StatFields& fields) {
    if (step.code == kCountStep) {
        fields.PbLastKit = (data[2] & 3) * 16 + data[3];
        return;
    }
    const int last = Last(fields);
    auto* table = step.code == kExcludedStep  ? &PbExcluded
                  : step.code == kBlockedStep ? &PbBlocked
                                              : nullptr;
    if (!table) return;
    for (int i = 0; i <= last; ++i)
        (*table)[size_t(i)] = data[last - i];
}

std::optional<uint32_t> TStatPbAts::ReceiverColour(int i, int code) const {
    const size_t r = size_t(i);
    if (r >= PbCurrent.size()) return std::nullopt;
    const bool on = PbCurrent[r] == 1;
    const bool excluded = PbExcluded[r] == 1;
    switch (code) {
    case kExcludedStep:
        return on ? stats::colour::kButtonFace : stats::colour::kGreen;
    case kBlockedStep:
        if (on) return stats::colour::kPurple;
        if (!excluded) return stats::colour::kGreen;
        return std::nullopt;
    case kBusyStep:
        if (excluded || PbBlocked[r] == 1) return std::nullopt;
        return on ? stats::colour::kYellow : stats::colour::kGreen;
    default:
        return std::nullopt;
    }
}
