#pragma once
// Version images and their transfer frames. A version file is a headerless
// sequence of 132-byte block records: the block address, the block's 64 words
// and the block checksum, all little-endian. On the line a block travels as a
// 266-character frame: the bank code and the record, each byte as two
// characters, low nibble first, a nibble's bits reversed into character bits
// 4..1.
#include <QString>

#include <array>
#include <cstdint>

namespace Vers {

constexpr int kRecordBytes = 132;
constexpr int kFrameChars = 266;
constexpr int kBlockStep = 0x40; // addresses of consecutive blocks

// Answers of the receiving side.
constexpr uint8_t kAnswerNext = 0;  // block accepted, send the next
constexpr uint8_t kAnswerAgain = 8; // send the current block (again)

// Memory areas 1..8: "ОЗУ", "1 Осн", "1 Доп" .. "6 Доп".
constexpr int kAreas = 8;

// The loader's bank codes: "Планета" (0) or "VEF" (1).
enum class Type { Planeta = 0, Vef = 1 };

using Record = std::array<uint8_t, kRecordBytes>;
using Frame = std::array<uint8_t, kFrameChars>;

// Label of area 1..8 under its progress bar; empty for other values.
QString AreaLabel(int area);
// Progress bar maximum of an area, and the position of a block in it.
int ProgressMax(int area);
int ProgressPos(int area, uint32_t address);
// Bank code sent in front of every block of an area (1..8); 0 for others.
uint8_t BankCode(int area, Type type);

// "ОЗУ" blocks that are never sent (0x3800-0x3BC0).
inline bool Skipped(uint32_t address) {
    return address >= 0x3800 && address < 0x3C00;
}

inline uint16_t Word(const Record& r, int offset) {
    return uint16_t(r[size_t(offset)] | (r[size_t(offset) + 1] << 8));
}
inline uint16_t Address(const Record& r) {
    return Word(r, 0);
}
inline uint16_t StoredSum(const Record& r) {
    return Word(r, 130);
}
// Sum of the 65 words at offsets 0..128 (address and data), modulo 65536.
uint16_t BlockSum(const Record& r);
void SetSum(Record& r, uint16_t sum);

// Frame of a bank code and a record.
Frame EncodeFrame(uint8_t bankCode, const Record& r);
// Decodes 266 characters (bit 0 and bits above 4 of each are ignored); true
// when the block checksum plus the bank code matches the stored sum.
bool DecodeFrame(const uint8_t* chars, uint8_t& bankCode, Record& r);

// Work folder of the unloader and the initial folder of the file dialogs:
// curDir + "/Vers" here; on Windows the dialogs start in the installation's
// folder.
QString WorkFolder(const QString& curDir);
QString SendDialogFolder(const QString& curDir);
QString SaveDialogFolder(const QString& curDir);

// Minutes and seconds, both without leading zeros: 125 gives "2:5".
QString MinutesSeconds(int seconds);
// Seconds left at the rate so far: done of total blocks in elapsedMs; -1
// while nothing is done.
int RemainingSeconds(int64_t elapsedMs, int done, int total);

} // namespace Vers
