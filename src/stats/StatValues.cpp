#include "stats/StatValues.h"

namespace stats {

QString ShortHex(int value) {
    return QString::number(uint32_t(value) & 0xFFFFu, 16).toUpper();
}

QString ReadDirective(int address, int codes) {
    return QStringLiteral("ТО_8,") + ShortHex(address) + QLatin1Char(',') + ShortHex(codes - 1) +
           QStringLiteral(",10,,1-");
}

int Word(const uint8_t* d) {
    return ((d[0] * 16 + d[1]) * 16 + d[2]) * 16 + d[3];
}

int Byte(const uint8_t* d) {
    return d[0] * 16 + d[1];
}

uint32_t DoubleWord(const uint8_t* d) {
    uint32_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = (v << 4) | (d[i] & 15u);
    return v;
}

int State(const uint8_t* d) {
    return (d[0] & 14) >> 1;
}

bool IsBlockedState(int state) {
    return state == 2 || state == 5;
}

QString KitStatusText(uint32_t c) {
    switch (c) {
    case colour::kButtonFace:
        return QStringLiteral("Исключен или отсутствует");
    case colour::kGreen:
        return QStringLiteral("Свободен");
    case colour::kPurple:
        return QStringLiteral("Блокирован");
    case colour::kYellow:
        return QStringLiteral("В работе");
    default:
        return QString();
    }
}

int LoadPercent(int busy, int blocked, int total) {
    if (total < 1) return 0;
    // Exact rounding of 100 * x / total, ties to even.
    const long long num = 100LL * (busy - blocked);
    long long q = num / total, r = num % total;
    if (r < 0) { // floor division
        q -= 1;
        r += total;
    }
    if (2 * r > total || (2 * r == total && (q & 1))) ++q;
    return int(q);
}

std::optional<uint32_t> LoadColour(int load) {
    if (load < 0) return std::nullopt;
    if (load == 0) return colour::kOlive;
    if (load < 30) return colour::kGreen;
    if (load <= 60) return colour::kLime;
    return colour::kYellow;
}

QString LoadHintText(uint32_t c) {
    switch (c) {
    case colour::kButtonFace:
        return QStringLiteral("Не задействовано");
    case colour::kOlive:
        return QStringLiteral("Загрузка 0%");
    case colour::kGreen:
        return QStringLiteral("Загрузка менее 30%");
    case colour::kLime:
        return QStringLiteral("Загрузка 30-60%");
    case colour::kYellow:
        return QStringLiteral("Загрузка более 60%");
    default:
        return QString();
    }
}

} // namespace stats
