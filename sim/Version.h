#pragma once
// The exchange's version programs: the unloader sends the memory image block
// by block to the terminal, the loader takes blocks from it. Both speak the
// block protocol: 266-character frames one way, one answer character (0 =
// block accepted / send the next, 8 = send it again) the other way.
#include "Memory.h"

#include <cstdint>
#include <vector>

namespace sim {

constexpr uint8_t kAnswerNext = 0;
constexpr uint8_t kAnswerAgain = 8;

class Unloader {
public:
    Unloader(const SimMemory& memory, std::vector<BlockRef> blocks, VersionType type);
    // One answer character from the terminal. 8 sends the current block (the
    // first one when nothing was sent yet), 0 moves to the next block and
    // sends it; after the last block is acknowledged the unloader falls
    // silent. Other characters are ignored. Frames are appended to out.
    void Feed(uint8_t ch, std::vector<uint8_t>& out);
    bool Done() const { return m_done; }
    // Index of the block last sent, -1 before the first.
    int Current() const { return m_index; }
    size_t Count() const { return m_blocks.size(); }

private:
    void Send(std::vector<uint8_t>& out) const;

    const SimMemory& m_memory;
    std::vector<BlockRef> m_blocks;
    VersionType m_type;
    int m_index = -1;
    bool m_done = false;
};

class Loader {
public:
    explicit Loader(SimMemory& memory) : m_memory(memory) {}
    // Asks for the current block: the loader speaks first.
    void Ask(std::vector<uint8_t>& out) const { out.push_back(kAnswerAgain); }
    // One character from the terminal. A complete frame is answered 0 and
    // stored when its checksum is right, 8 when it is wrong.
    void Feed(uint8_t ch, std::vector<uint8_t>& out);
    // Drops a partial frame (after a pause in the middle of one).
    void DiscardPartial() { m_fill = 0; }
    int Partial() const { return m_fill; }
    int Accepted() const { return m_accepted; }
    int Rejected() const { return m_rejected; }
    uint16_t LastAddress() const { return m_last; }

private:
    SimMemory& m_memory;
    std::array<uint8_t, kFrameChars> m_frame{};
    int m_fill = 0;
    int m_accepted = 0;
    int m_rejected = 0;
    int m_bank = 0; // additional bank opened by the last block at 0x8000
    uint16_t m_last = 0;
};

} // namespace sim
