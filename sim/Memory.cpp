#include "Memory.h"

#include "link/LineCode.h"

#include <QFile>

namespace sim {

namespace {
constexpr uint32_t kWords = 0x10000;
constexpr uint32_t kBankWords = kBankEnd - kBankStart + 1;

bool InBankRange(uint16_t a) {
    return a >= kBankStart && a <= kBankEnd;
}

constexpr std::array<uint8_t, 8> kPlanetaCodes = {0, 0, 0, 1, 2, 3, 4, 5};
constexpr std::array<uint8_t, 8> kVefCodes = {63, 63, 62, 61, 59, 55, 47, 31};
} // namespace

SimMemory::SimMemory() : m_main(kWords, 0) {
    for (auto& b : m_more)
        b.assign(kBankWords, 0);
}

uint16_t SimMemory::BankWord(int bank, uint16_t address) const {
    if (bank >= 2 && bank <= kExtraBanks && InBankRange(address))
        return m_more[size_t(bank - 2)][address - kBankStart];
    return m_main[address];
}

void SimMemory::SetBankWord(int bank, uint16_t address, uint16_t value) {
    if (bank >= 2 && bank <= kExtraBanks && InBankRange(address))
        m_more[size_t(bank - 2)][address - kBankStart] = value;
    else
        m_main[address] = value;
}

uint8_t SimMemory::ReadNibble(uint16_t address, uint32_t k) const {
    const uint16_t w = m_main[uint16_t(address + k / 4)];
    return uint8_t((w >> ((3 - k % 4) * 4)) & 15);
}

bool SimMemory::Bit(uint16_t base, int e) const {
    return (m_main[uint16_t(base + e / 16)] >> (15 - e % 16)) & 1;
}

void SimMemory::SetBit(uint16_t base, int e, bool on) {
    uint16_t& w = m_main[uint16_t(base + e / 16)];
    const uint16_t mask = uint16_t(1u << (15 - e % 16));
    w = on ? uint16_t(w | mask) : uint16_t(w & ~mask);
}

void SimMemory::SetNibble(uint16_t base, int e, uint8_t value) {
    uint16_t& w = m_main[uint16_t(base + e / 4)];
    const int shift = (3 - e % 4) * 4;
    w = uint16_t((w & ~(15u << shift)) | ((value & 15u) << shift));
}

void SimMemory::SetByte(uint16_t base, int e, uint8_t value) {
    uint16_t& w = m_main[uint16_t(base + e / 2)];
    w = (e % 2 == 0) ? uint16_t((w & 0x00FF) | (value << 8)) : uint16_t((w & 0xFF00) | value);
}

void SimMemory::Clear() {
    std::fill(m_main.begin(), m_main.end(), uint16_t(0));
    for (auto& b : m_more)
        std::fill(b.begin(), b.end(), uint16_t(0));
}

std::vector<BlockRef> VersionBlocks(int extraBanks) {
    std::vector<BlockRef> blocks;
    for (uint32_t a = 0x2000; a < 0x8000; a += kBlockWords)
        blocks.push_back({0, uint16_t(a)});
    for (int bank = 1; bank <= std::min(extraBanks, kExtraBanks); ++bank)
        for (uint32_t a = kBankStart; a < kBankEnd; a += kBlockWords)
            blocks.push_back({bank, uint16_t(a)});
    return blocks;
}

uint8_t BankCode(const BlockRef& block, VersionType type) {
    // Area index 0 (RAM), 1 (main), 2..7 (additional banks 1..6).
    int area =
        block.bank > 0 ? 1 + std::min(block.bank, kExtraBanks) : (block.address < 0x4000 ? 0 : 1);
    return type == VersionType::Vef ? kVefCodes[size_t(area)] : kPlanetaCodes[size_t(area)];
}

int BankOfCode(uint8_t code, VersionType type) {
    const auto& codes = type == VersionType::Vef ? kVefCodes : kPlanetaCodes;
    for (int area = 2; area < 8; ++area)
        if (codes[size_t(area)] == code) return area - 1;
    return 0;
}

uint16_t RecordChecksum(const Record& record, uint8_t bankCode) {
    uint32_t sum = bankCode;
    for (int i = 0; i <= 128; i += 2)
        sum += uint32_t(record[size_t(i)] | (record[size_t(i + 1)] << 8));
    return uint16_t(sum & 0xFFFF);
}

Record MakeRecord(const SimMemory& memory, const BlockRef& block, uint8_t bankCode) {
    Record r{};
    r[0] = uint8_t(block.address & 0xFF);
    r[1] = uint8_t(block.address >> 8);
    for (int i = 0; i < kBlockWords; ++i) {
        const uint16_t w = memory.BankWord(block.bank, uint16_t(block.address + i));
        r[size_t(2 + 2 * i)] = uint8_t(w & 0xFF);
        r[size_t(3 + 2 * i)] = uint8_t(w >> 8);
    }
    const uint16_t sum = RecordChecksum(r, bankCode);
    r[130] = uint8_t(sum & 0xFF);
    r[131] = uint8_t(sum >> 8);
    return r;
}

bool StoreRecord(SimMemory& memory, int bank, const Record& record) {
    const uint32_t a = RecordAddress(record);
    if (a + kBlockWords > kWords) return false;
    for (int i = 0; i < kBlockWords; ++i)
        memory.SetBankWord(bank, uint16_t(a + uint32_t(i)), RecordWord(record, i));
    return true;
}

std::array<uint8_t, kFrameChars> MakeFrame(uint8_t bankCode, const Record& record) {
    std::array<uint8_t, kFrameChars> f{};
    auto put = [&](int i, uint8_t byte) {
        f[size_t(2 * i)] = LineCode::CodeOfNibble(byte & 15);
        f[size_t(2 * i + 1)] = LineCode::CodeOfNibble(byte >> 4);
    };
    put(0, bankCode);
    for (int k = 0; k < kRecordBytes; ++k)
        put(k + 1, record[size_t(k)]);
    return f;
}

bool DecodeFrame(const uint8_t* chars, uint8_t& bankCode, Record& record) {
    auto byteAt = [&](int i) {
        return uint8_t(LineCode::Nibble(chars[2 * i] & 31) |
                       (LineCode::Nibble(chars[2 * i + 1] & 31) << 4));
    };
    bankCode = byteAt(0);
    for (int k = 0; k < kRecordBytes; ++k)
        record[size_t(k)] = byteAt(k + 1);
    return RecordChecksum(record, bankCode) == uint16_t(record[130] | (record[131] << 8));
}

bool SaveVersionFile(const SimMemory& memory, const QString& path, VersionType type,
                     QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error) *error = f.errorString();
        return false;
    }
    for (const BlockRef& b : VersionBlocks()) {
        const Record r = MakeRecord(memory, b, BankCode(b, type));
        if (f.write(reinterpret_cast<const char*>(r.data()), kRecordBytes) != kRecordBytes) {
            if (error) *error = f.errorString();
            return false;
        }
    }
    return true;
}

int LoadVersionFile(SimMemory& memory, const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return -1;
    }
    int bank = 0, count = 0;
    Record r{};
    while (f.read(reinterpret_cast<char*>(r.data()), kRecordBytes) == kRecordBytes) {
        const uint16_t a = RecordAddress(r);
        if (a == kBankStart) bank = std::min(bank + 1, kExtraBanks);
        const int target = InBankRange(a) ? std::max(bank, 1) : 0;
        if (StoreRecord(memory, target, r)) ++count;
    }
    return count;
}

} // namespace sim
