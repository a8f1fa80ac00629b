#pragma once
// Control sums of a version file, area by area, as the exchange reports them
// for its memory. Records are found by their place in the file (132 bytes
// each), not by their addresses; only data words are summed, each sum a
// 16-bit one's-complement sum (the carry goes round).
//
// Sums are named by the window label that shows them: 1, 2, 3 the first three
// additional banks, 4 the fourth bank's lower part up to the end word kept in
// the third bank, 5 and 6 the last two banks, 7 and 8 the two parts of the
// main area, 9 the fourth bank's upper half.
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QIODevice;

namespace VersionChecksum {

constexpr int kSums = 9;
// The order in which the sums are computed (label numbers).
constexpr std::array<int, kSums> kOrder = {7, 8, 1, 2, 3, 4, 9, 5, 6};

// One's-complement addition: 0xFFFF + 1 gives 1.
inline uint16_t Add(uint16_t sum, uint16_t word) {
    const uint32_t t = uint32_t(sum) + word;
    return uint16_t((t & 0xFFFF) + (t >> 16));
}

// What a sum covers, for listings ("1 Осн (1)").
QString Caption(int label);

struct Result {
    // Sum of label n at [n - 1]; empty where nothing was computed.
    std::array<std::optional<uint16_t>, kSums> sums{};
    // A record that must be there could not be read: "Cant read " + name.
    bool readFailed = false;
};

// Computes the sums of a file (an empty file gives none). onSum, when given,
// sees each sum as soon as it is known.
Result Compute(QIODevice& file, const std::function<void(int label, uint16_t sum)>& onSum = {});
// The same for a path; a file that cannot be opened is a failed read.
Result Compute(const QString& path, const std::function<void(int label, uint16_t sum)>& onSum = {});

} // namespace VersionChecksum
