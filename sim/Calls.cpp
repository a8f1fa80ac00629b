#include "Calls.h"

#include "link/LineCode.h"

#include <cmath>

namespace sim {

namespace {
bool AllDigits(const QString& s) {
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}
uint8_t Digit(QChar c) {
    return uint8_t(c.unicode() - u'0');
}

void PutKit(uint8_t* n, int kit) {
    n[5] = uint8_t(8 + (kit >> 8));
    n[6] = uint8_t((kit >> 4) & 15);
    n[7] = uint8_t(kit & 15);
}

// B digits reversed: the most significant at `top`, then downwards.
void PutReversed(uint8_t* n, int top, const QString& b) {
    const int k = std::min<int>(int(b.size()), 7);
    for (int i = 0; i < k; ++i)
        n[top - i] = Digit(b[i]);
}

template <size_t N>
std::array<uint8_t, N> ToCodes(const std::array<uint8_t, N>& nibbles, uint8_t last) {
    std::array<uint8_t, N> codes{};
    codes[0] = codes[1] = codes[2] = 11;
    codes[3] = last;
    for (size_t i = 4; i < N; ++i)
        codes[i] = LineCode::CodeOfNibble(nibbles[i]);
    return codes;
}

constexpr const char* kAreaCodes[] = {"495", "812", "343", "383", "831", "846",
                                      "861", "863", "351", "391", "473", "862"};
constexpr const char* kCountries[] = {"375", "380", "374", "994", "49", "33", "39", "86"};
} // namespace

std::optional<std::array<uint8_t, 28>> CallStartFrame(int kit, const QString& a, const QString& b,
                                                      int category) {
    if (kit < 0 || kit > kMaxKit || a.isEmpty() || b.isEmpty() || !AllDigits(a) || !AllDigits(b) ||
        category < 0 || category > 15)
        return std::nullopt;
    std::array<uint8_t, 28> n{};
    PutKit(n.data(), kit);
    n[8] = uint8_t(std::min<qsizetype>(a.size(), 15));
    const QString tail = a.right(7);
    for (int i = 0; i < tail.size(); ++i)
        n[size_t(16 - tail.size() + i)] = Digit(tail[i]);
    n[16] = uint8_t(std::min<qsizetype>(b.size(), 15));
    PutReversed(n.data(), 23, b);
    n[24] = uint8_t(category);
    return ToCodes(n, 17);
}

std::optional<std::array<uint8_t, 16>> CallEndFrame(int kit, const QString& b) {
    if (kit < 0 || kit > kMaxKit || b.isEmpty() || !AllDigits(b)) return std::nullopt;
    std::array<uint8_t, 16> n{};
    PutKit(n.data(), kit);
    PutReversed(n.data(), 15, b);
    return ToCodes(n, 1);
}

QString SubscriberNumber(int kit) {
    return QString::number(20000 + kit);
}

double CallGenerator::Uniform() {
    // 53 random bits in [0, 1), the same on every standard library.
    const uint64_t hi = m_rng() >> 5, lo = m_rng() >> 6;
    return double((hi << 26) | lo) / 9007199254740992.0;
}

int64_t CallGenerator::Interval(double perMinute) {
    if (perMinute <= 0) return -1;
    const double mean = 60000.0 / perMinute;
    return std::max<int64_t>(1, std::llround(-std::log(1.0 - Uniform()) * mean));
}

std::optional<CallPlan> CallGenerator::Next(const std::function<bool(int)>& usable) {
    CallPlan c;
    bool found = false;
    for (int attempt = 0; attempt < 32 && !found; ++attempt) {
        c.kit = int(m_rng() % (kMaxKit + 1));
        found = usable(c.kit);
    }
    if (!found) return std::nullopt;
    c.a = SubscriberNumber(c.kit);
    const uint32_t kind = m_rng() % 100;
    auto digits = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + char16_t(m_rng() % 10));
        return s;
    };
    if (kind < 70) {
        // Local: five digits, not starting with the access digits 0, 8 or 9.
        c.b = QChar(u'2' + char16_t(m_rng() % 6)) + digits(4);
        c.category = (m_rng() % 10 == 0) ? 3 : 1;
    } else if (kind < 90) {
        c.b = QStringLiteral("8") + QLatin1String(kAreaCodes[m_rng() % std::size(kAreaCodes)]) +
              digits(3);
        c.category = 8;
    } else {
        const QString country = QLatin1String(kCountries[m_rng() % std::size(kCountries)]);
        c.b = QStringLiteral("810") + country + digits(int(4 - country.size()));
        c.category = 9;
    }
    const double mean = std::max(0.05, m_meanHold) * 1000.0;
    c.holdMs = std::max<int64_t>(50, int64_t(-std::log(1.0 - Uniform()) * mean));
    return c;
}

} // namespace sim
