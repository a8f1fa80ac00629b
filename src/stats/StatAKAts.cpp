#include "stats/StatAKAts.h"

namespace {
constexpr int kBlockedTable = 0x0D80;
constexpr int kFreeTable = 0x0E00;
constexpr int kBlockWords = 4; // 64 bits a block
constexpr int kBlockCodes = 16;

const StatStep kBlockedTemplate{.code = TStatAKAts::kBlockedStep,
                                .address = kBlockedTable,
                                .codes = kBlockCodes,
                                .bitMode = true};
const StatStep kFreeTemplate{.code = TStatAKAts::kFreeStep,
                             .address = kFreeTable,
                             .codes = kBlockCodes,
                             .bitMode = true,
                             .live = true};

int BlockOffset(int block) {
    return (block & (TStatAKAts::kBlocks - 1)) * kBlockWords;
}
} // namespace

const std::vector<StatStep>& TStatAKAts::OverviewSteps() {
    static const std::vector<StatStep> steps{
        {.code = kBaseStep, .address = 0x408C, .codes = 4, .progress = 30, .storeSlot = 14},
        {.code = kBlocksStep, .address = 0x5F34, .codes = 8, .bitMode = true, .progress = 100}};
    return steps;
}

StatStep TStatAKAts::BlockedStep(int block) {
    StatStep s = kBlockedTemplate;
    s.address += BlockOffset(block);
    return s;
}

StatStep TStatAKAts::FreeStep(int block) {
    StatStep s = kFreeTemplate;
    s.address += BlockOffset(block);
    return s;
}

const StatStep* TStatAKAts::Step(int code) const {
    for (const StatStep& s : OverviewSteps())
        if (s.code == code) return &s;
    if (code == kBlockedStep) return &kBlockedTemplate;
    if (code == kFreeStep) return &kFreeTemplate;
    return nullptr;
}

void TStatAKAts::Decode(const StatStep& step, const uint8_t* data, StatFields& fields) {
    switch (step.code) {
    case kBaseStep:
        StatProtocol::Decode(step, data, fields);
        break;
    case kBlocksStep:
        for (int i = 0; i < kBlocks; ++i)
            AkBlocks[size_t(i)] = data[kBlocks - 1 - i];
        break;
    case kBlockedStep:
        for (int i = 0; i < kPositions; ++i)
            AkBlocked[size_t(i)] = data[i];
        break;
    case kFreeStep:
        for (int j = 0; j < kPositions; ++j)
            AkFree[size_t(j)] = data[kPositions - 1 - j];
        break;
    default:
        return;
    }
    if (Decoded) Decoded(step.code);
}

stats::PanelLook TStatAKAts::BlockLook(bool present) {
    if (present) return {stats::colour::kGreen, true};
    return {stats::colour::kButtonFace, false};
}

bool TStatAKAts::IsBlocked(int position) const {
    return AkBlocked[size_t(kPositions - 1 - (position & (kPositions - 1)))] == 1;
}

uint32_t TStatAKAts::BlockedColour(int position) const {
    return IsBlocked(position) ? stats::colour::kPurple : stats::colour::kGreen;
}

std::optional<uint32_t> TStatAKAts::LiveColour(int position) const {
    if (IsBlocked(position)) return std::nullopt;
    return AkFree[size_t(position & (kPositions - 1))] == 1 ? stats::colour::kGreen
                                                            : stats::colour::kYellow;
}

QString TStatAKAts::BlockRange(int block) {
    return stats::ShortHex(block * kPositions) + QLatin1Char('-') +
           stats::ShortHex(block * kPositions + kPositions - 1);
}
