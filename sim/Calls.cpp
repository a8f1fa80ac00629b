#include "Calls.h"

#include <cmath>

namespace sim {

namespace {
constexpr const char* kAreaCodes[] = {"495", "812", "343", "383", "831", "846",
                                      "861", "863", "351", "391", "473", "862"};
constexpr const char* kCountries[] = {"375", "380", "374", "994", "49", "33", "39", "86"};
} // namespace

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
