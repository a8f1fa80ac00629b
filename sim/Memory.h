#pragma once
// The simulated exchange's memory: 64 Ki 16-bit words, plus the five further
// additional banks that share the address range 0x8000-0xBFFF with bank 1
// (bank 1 is the one the processor sees there). Version files and the
// loader/unloader move the image block by block: 64 words per block.
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

constexpr int kBlockWords = 64;
constexpr int kRecordBytes = 132;
constexpr int kFrameChars = 266;
constexpr int kExtraBanks = 6;
constexpr uint16_t kBankStart = 0x8000;
constexpr uint16_t kBankEnd = 0xBFFF;

// Version type: bank codes of the "Планета" (0) and "VEF" (1) loaders.
enum class VersionType { Planeta = 0, Vef = 1 };

// One block of a version: bank 0 for the RAM and main areas (0x2000-0x7FC0),
// 1..6 for the additional banks (0x8000-0xBFC0).
struct BlockRef {
    int bank = 0;
    uint16_t address = 0;
};

using Record = std::array<uint8_t, kRecordBytes>;

class SimMemory {
public:
    SimMemory();

    uint16_t Word(uint16_t address) const { return m_main[address]; }
    void SetWord(uint16_t address, uint16_t value) { m_main[address] = value; }
    // Word of an additional bank (1..6) at 0x8000-0xBFFF; bank 0 and
    // addresses outside the bank range read the main image.
    uint16_t BankWord(int bank, uint16_t address) const;
    void SetBankWord(int bank, uint16_t address, uint16_t value);

    // The k-th nibble of a memory read starting at address: word address +
    // k/4, high nibble first (addresses wrap at 0xFFFF).
    uint8_t ReadNibble(uint16_t address, uint32_t k) const;

    // Table element helpers. Element e of a bit table is bit 15 - e%16 of
    // word base + e/16; of a nibble table nibble e%4 (high first) of word
    // base + e/4; of a byte table the high (even e) or low byte of word
    // base + e/2.
    bool Bit(uint16_t base, int e) const;
    void SetBit(uint16_t base, int e, bool on);
    void SetNibble(uint16_t base, int e, uint8_t value);
    uint8_t Nibble(uint16_t base, int e) const { return ReadNibble(base, uint32_t(e)); }
    void SetByte(uint16_t base, int e, uint8_t value);

    void Clear();

private:
    std::vector<uint16_t> m_main;                              // 65536 words
    std::array<std::vector<uint16_t>, kExtraBanks - 1> m_more; // banks 2..6
};

// The blocks of a full version in transfer order: RAM 0x2000-0x3FC0, main
// area 0x4000-0x7FC0, then `extraBanks` additional banks of 0x8000-0xBFC0.
std::vector<BlockRef> VersionBlocks(int extraBanks = kExtraBanks);

// Bank code sent in front of a block (by area and version type).
uint8_t BankCode(const BlockRef& block, VersionType type);
// The additional bank (1..6) a bank code names, or 0 when it names none.
int BankOfCode(uint8_t code, VersionType type);

// Block record: address (LE), the 64 words (LE), checksum (LE) = sum of the
// 65 words at offsets 0..128 plus the bank code, modulo 65536.
uint16_t RecordChecksum(const Record& record, uint8_t bankCode);
Record MakeRecord(const SimMemory& memory, const BlockRef& block, uint8_t bankCode);
inline uint16_t RecordAddress(const Record& r) {
    return uint16_t(r[0] | (r[1] << 8));
}
inline uint16_t RecordWord(const Record& r, int i) {
    return uint16_t(r[2 + 2 * i] | (r[3 + 2 * i] << 8));
}
// Stores the record's 64 words into bank `bank` (0 = main image). False when
// the block would run past the end of memory.
bool StoreRecord(SimMemory& memory, int bank, const Record& record);

// Transfer frame: bank code and record as 133 bytes, each byte as two
// characters, low nibble first, a nibble travelling as code bits 4..1.
std::array<uint8_t, kFrameChars> MakeFrame(uint8_t bankCode, const Record& record);
// Decodes a frame (characters masked to five bits); true when its checksum
// is right.
bool DecodeFrame(const uint8_t* chars, uint8_t& bankCode, Record& record);

// Version files: a plain sequence of 132-byte records in transfer order.
// Saving writes the full version (all six banks) with the type's bank codes.
bool SaveVersionFile(const SimMemory& memory, const QString& path, VersionType type,
                     QString* error);
// Loading places each record at its address; a record at 0x8000 opens the
// next additional bank. Returns the number of records loaded, -1 on failure.
int LoadVersionFile(SimMemory& memory, const QString& path, QString* error);

} // namespace sim
