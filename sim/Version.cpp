#include "Version.h"

namespace sim {

Unloader::Unloader(const SimMemory& memory, std::vector<BlockRef> blocks, VersionType type)
    : m_memory(memory), m_blocks(std::move(blocks)), m_type(type) {
    m_done = m_blocks.empty();
}

void Unloader::Send(std::vector<uint8_t>& out) const {
    const BlockRef& b = m_blocks[size_t(m_index)];
    const uint8_t code = BankCode(b, m_type);
    const auto frame = MakeFrame(code, MakeRecord(m_memory, b, code));
    out.insert(out.end(), frame.begin(), frame.end());
}

void Unloader::Feed(uint8_t ch, std::vector<uint8_t>& out) {
    ch &= 31;
    if (m_done || (ch != kAnswerNext && ch != kAnswerAgain)) return;
    if (m_index < 0) {
        m_index = 0;
    } else if (ch == kAnswerNext) {
        if (size_t(m_index) + 1 >= m_blocks.size()) {
            m_done = true;
            return;
        }
        ++m_index;
    }
    Send(out);
}

void Loader::Feed(uint8_t ch, std::vector<uint8_t>& out) {
    m_frame[size_t(m_fill++)] = ch & 31;
    if (m_fill < kFrameChars) return;
    m_fill = 0;
    uint8_t code = 0;
    Record record{};
    if (!DecodeFrame(m_frame.data(), code, record)) {
        ++m_rejected;
        out.push_back(kAnswerAgain);
        return;
    }
    const uint16_t address = RecordAddress(record);
    int bank = 0;
    if (address >= kBankStart && address <= kBankEnd) {
        // The bank code names the bank; where it names none (RAM and main
        // area codes), a block at 0x8000 opens the next bank.
        bank = BankOfCode(code, VersionType::Planeta);
        if (!bank) bank = BankOfCode(code, VersionType::Vef);
        if (!bank) {
            if (address == kBankStart) m_bank = std::min(m_bank + 1, kExtraBanks);
            bank = std::max(m_bank, 1);
        }
    }
    if (!StoreRecord(m_memory, bank, record)) {
        ++m_rejected;
        out.push_back(kAnswerAgain);
        return;
    }
    ++m_accepted;
    m_last = address;
    out.push_back(kAnswerNext);
}

} // namespace sim
