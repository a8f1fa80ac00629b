#pragma once
// The frames an exchange embeds in its output stream, in one place: data
// frames (14, 14, 14, then payload codes) that answer memory reads, call start
// frames (11, 11, 11, 17; 28 codes) and call end frames (11, 11, 11, 1; 16
// codes) that report calls. Frame codes carry nibbles (LineCode::Nibble);
// nibble arrays are indexed from the first header code.
//
// Call start nibbles: 4 unused; 5-7 kit, (N5 - 8) * 256 + N6 * 16 + N7, negative
// (N5 below 8) for an unusable frame; 8 A digit count; 9-15 A digits
// right-aligned, most significant first; 16 B digit count; 17-23 B digits
// reversed (23 most significant); 24 category; 25-27 unused.
// Call end nibbles: 4 unused; 5-7 kit; 8 unused; 9-15 the B digits reversed
// (15 most significant).
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace frames {
constexpr uint8_t kCallHeader = 11;
constexpr uint8_t kDataHeader = 14;
constexpr uint8_t kStartMark = 17;
constexpr uint8_t kEndMark = 1;
constexpr int kHeaderLength = 3;
constexpr int kStartLength = 28;
constexpr int kEndLength = 16;
// Digits a number field of a call frame holds.
constexpr int kMaxDigits = 7;
} // namespace frames

using CallStartNibbles = std::array<uint8_t, frames::kStartLength>;
using CallEndNibbles = std::array<uint8_t, frames::kEndLength>;

// A call start frame read.
struct CallStart {
    int kit = -1;     // negative: unusable
    int aDigits = 0;  // N8 as sent (not limited to 7)
    int bDigits = 0;  // N16 as sent
    qint64 a = 0;     // from the last min(N8, 7) A digits
    qint64 b = 0;     // from the first min(N16, 7) B digits
    int category = 0; // N24
};
CallStart DecodeCallStart(const CallStartNibbles& n);

// A call end frame read. The end frame does not say how many B digits were
// dialled: the matching start row does.
struct CallEnd {
    int kit = -1;
    std::array<uint8_t, frames::kMaxDigits> digits{}; // B digits, most significant first
    // The number of the first min(count, 7) digits.
    qint64 B(int count) const;
};
CallEnd DecodeCallEnd(const CallEndNibbles& n);

// Nibble values of the codes of a whole frame, header included.
template <size_t N> std::array<uint8_t, N> FrameNibbles(const uint8_t* codes);

// Codes of a call frame as the exchange sends it. A and B are digit strings;
// A keeps its last seven digits, B its first seven; the digit counts are sent
// as they are (at most 15). nullopt for a kit outside 0..2047, an empty number,
// a non-digit or a category outside 0..15.
std::optional<std::array<uint8_t, frames::kStartLength>>
CallStartCodes(int kit, const QString& a, const QString& b, int category);
std::optional<std::array<uint8_t, frames::kEndLength>> CallEndCodes(int kit, const QString& b);
