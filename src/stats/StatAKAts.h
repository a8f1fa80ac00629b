#pragma once
// Subscriber kit statistics ("АК"): 32 blocks ("БАЛ") of 64 kits, kit number
// = block * 64 + position. The overview reads which blocks are present; the
// detail of one block reads its blocked bits, then its free bits live (and
// again at each refresh while it is open).
#include "stats/StatProtocol.h"
#include "stats/StatValues.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TStatAKAts : public StatProtocol {
public:
    static constexpr int kBlocks = 32;
    static constexpr int kPositions = 64;
    enum : int { kBaseStep = 100, kBlocksStep = 1, kBlockedStep = 2, kFreeStep = 3 };

    // The overview: the base word into StatBase slot 14, the block bits.
    static const std::vector<StatStep>& OverviewSteps();
    // The detail of a block: its blocked bits (D80 + 4 * block), then its
    // free bits, live (E00 + 4 * block).
    static StatStep BlockedStep(int block);
    static StatStep FreeStep(int block);

    // StatProtocol
    const StatStep* Step(int code) const override;
    void Decode(const StatStep& step, const uint8_t* data, StatFields& fields) override;

    std::array<uint8_t, kBlocks> AkBlocks{};     // 1: block present
    std::array<uint8_t, kPositions> AkBlocked{}; // as read: element i is position 63 - i
    std::array<uint8_t, kPositions> AkFree{};    // by position: 1 free, 0 busy

    // What the windows paint.
    static stats::PanelLook BlockLook(bool present);
    stats::PanelLook BlockLook(int block) const { return BlockLook(AkBlocks[size_t(block)] == 1); }
    bool IsBlocked(int position) const;
    // After the blocked bits: purple for a blocked kit, else green.
    uint32_t BlockedColour(int position) const;
    // After a live frame: yellow busy, green free; none for a blocked kit
    // (it stays purple until the next blocked bits are read).
    std::optional<uint32_t> LiveColour(int position) const;
    // A block's kit range, the block panel's hint: "40-7F".
    static QString BlockRange(int block);

    // A step's frame has been decoded (the windows repaint).
    std::function<void(int code)> Decoded;
};
