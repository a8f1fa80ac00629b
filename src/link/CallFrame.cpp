#include "link/CallFrame.h"

#include "link/LineCode.h"

#include <algorithm>

namespace {
constexpr int kMaxKit = 0x7FF;

template <size_t N> int KitOf(const std::array<uint8_t, N>& n) {
    return (int(n[5]) - 8) * 256 + n[6] * 16 + n[7];
}

bool Digits(const QString& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

uint8_t Digit(QChar c) {
    return uint8_t(c.unicode() - u'0');
}

void PutKit(uint8_t* n, int kit) {
    n[5] = uint8_t(8 + (kit >> 8));
    n[6] = uint8_t((kit >> 4) & 15);
    n[7] = uint8_t(kit & 15);
}

// The first seven digits of b, reversed: the most significant at `top`.
void PutReversed(uint8_t* n, int top, const QString& b) {
    const int k = std::min<int>(int(b.size()), frames::kMaxDigits);
    for (int i = 0; i < k; ++i)
        n[top - i] = Digit(b[i]);
}

template <size_t N> std::array<uint8_t, N> ToCodes(const std::array<uint8_t, N>& n, uint8_t mark) {
    std::array<uint8_t, N> codes{};
    codes[0] = codes[1] = codes[2] = frames::kCallHeader;
    codes[3] = mark;
    for (size_t i = 4; i < N; ++i)
        codes[i] = LineCode::CodeOfNibble(n[i]);
    return codes;
}
} // namespace

CallStart DecodeCallStart(const CallStartNibbles& n) {
    CallStart c;
    c.kit = KitOf(n);
    c.aDigits = n[8];
    c.bDigits = n[16];
    const int ka = std::min(c.aDigits, frames::kMaxDigits);
    for (int i = 16 - ka; i <= 15; ++i)
        c.a = c.a * 10 + n[size_t(i)];
    const int kb = std::min(c.bDigits, frames::kMaxDigits);
    for (int i = 23; i >= 24 - kb; --i)
        c.b = c.b * 10 + n[size_t(i)];
    c.category = n[24];
    return c;
}

CallEnd DecodeCallEnd(const CallEndNibbles& n) {
    CallEnd c;
    c.kit = KitOf(n);
    for (int i = 0; i < frames::kMaxDigits; ++i)
        c.digits[size_t(i)] = n[size_t(15 - i)];
    return c;
}

qint64 CallEnd::B(int count) const {
    qint64 b = 0;
    for (int i = 0; i < std::clamp(count, 0, frames::kMaxDigits); ++i)
        b = b * 10 + digits[size_t(i)];
    return b;
}

template <size_t N> std::array<uint8_t, N> FrameNibbles(const uint8_t* codes) {
    std::array<uint8_t, N> n{};
    for (size_t i = 0; i < N; ++i)
        n[i] = LineCode::Nibble(codes[i]);
    return n;
}
template CallStartNibbles FrameNibbles<frames::kStartLength>(const uint8_t*);
template CallEndNibbles FrameNibbles<frames::kEndLength>(const uint8_t*);

std::optional<std::array<uint8_t, frames::kStartLength>>
CallStartCodes(int kit, const QString& a, const QString& b, int category) {
    if (kit < 0 || kit > kMaxKit || !Digits(a) || !Digits(b) || category < 0 || category > 15)
        return std::nullopt;
    CallStartNibbles n{};
    PutKit(n.data(), kit);
    n[8] = uint8_t(std::min<qsizetype>(a.size(), 15));
    const QString tail = a.right(frames::kMaxDigits);
    for (int i = 0; i < tail.size(); ++i)
        n[size_t(16 - tail.size() + i)] = Digit(tail[i]);
    n[16] = uint8_t(std::min<qsizetype>(b.size(), 15));
    PutReversed(n.data(), 23, b);
    n[24] = uint8_t(category);
    return ToCodes(n, frames::kStartMark);
}

std::optional<std::array<uint8_t, frames::kEndLength>> CallEndCodes(int kit, const QString& b) {
    if (kit < 0 || kit > kMaxKit || !Digits(b)) return std::nullopt;
    CallEndNibbles n{};
    PutKit(n.data(), kit);
    PutReversed(n.data(), 15, b);
    return ToCodes(n, frames::kEndMark);
}
