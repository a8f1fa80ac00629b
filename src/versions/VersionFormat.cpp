#include "versions/VersionFormat.h"

#include "link/LineCode.h"

#include <QDir>

namespace Vers {

namespace {
constexpr std::array<uint8_t, kAreas> kPlanetaCodes = {0, 0, 0, 1, 2, 3, 4, 5};
constexpr std::array<uint8_t, kAreas> kVefCodes = {63, 63, 62, 61, 59, 55, 47, 31};

bool ValidArea(int area) {
    return area >= 1 && area <= kAreas;
}
} // namespace

QString AreaLabel(int area) {
    if (area == 1) return QStringLiteral("ОЗУ");
    if (area == 2) return QStringLiteral("1 Осн");
    if (ValidArea(area)) return QStringLiteral("%1 Доп").arg(area - 2);
    return QString();
}

int ProgressMax(int area) {
    if (area == 1) return 8128;
    return ValidArea(area) ? 16320 : 0;
}

int ProgressPos(int area, uint32_t address) {
    const uint32_t base = area == 1 ? 0x2000 : area == 2 ? 0x4000 : 0x8000;
    if (!ValidArea(area) || address < base) return 0;
    return std::min(int(address - base), ProgressMax(area));
}

uint8_t BankCode(int area, Type type) {
    if (!ValidArea(area)) return 0;
    return (type == Type::Vef ? kVefCodes : kPlanetaCodes)[size_t(area - 1)];
}

uint16_t BlockSum(const Record& r) {
    uint32_t sum = 0;
    for (int i = 0; i <= 128; i += 2)
        sum += Word(r, i);
    return uint16_t(sum);
}

void SetSum(Record& r, uint16_t sum) {
    r[130] = uint8_t(sum & 0xFF);
    r[131] = uint8_t(sum >> 8);
}

Frame EncodeFrame(uint8_t bankCode, const Record& r) {
    Frame f{};
    auto put = [&](int i, uint8_t byte) {
        f[size_t(2 * i)] = LineCode::CodeOfNibble(byte & 15);
        f[size_t(2 * i + 1)] = LineCode::CodeOfNibble(uint8_t(byte >> 4));
    };
    put(0, bankCode);
    for (int k = 0; k < kRecordBytes; ++k)
        put(k + 1, r[size_t(k)]);
    return f;
}

bool DecodeFrame(const uint8_t* chars, uint8_t& bankCode, Record& r) {
    auto byteAt = [&](int i) {
        return uint8_t(LineCode::Nibble(chars[2 * i] & 31) |
                       (LineCode::Nibble(chars[2 * i + 1] & 31) << 4));
    };
    bankCode = byteAt(0);
    for (int k = 0; k < kRecordBytes; ++k)
        r[size_t(k)] = byteAt(k + 1);
    return uint16_t(BlockSum(r) + bankCode) == StoredSum(r);
}

QString WorkFolder(const QString& curDir) {
    return QDir(curDir).filePath(QStringLiteral("Vers"));
}

QString SendDialogFolder(const QString& curDir) {
#ifdef Q_OS_WIN
    Q_UNUSED(curDir);
    return QStringLiteral("c:\\Program Files\\Pelmark\\Varnel\\Vers");
#else
    return WorkFolder(curDir);
#endif
}

QString SaveDialogFolder(const QString& curDir) {
#ifdef Q_OS_WIN
    Q_UNUSED(curDir);
    return QStringLiteral("c:\\Program files\\Pelmark\\Varnel\\Vers");
#else
    return WorkFolder(curDir);
#endif
}

QString MinutesSeconds(int seconds) {
    seconds = std::max(seconds, 0);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60);
}

int RemainingSeconds(int64_t elapsedMs, int done, int total) {
    if (done <= 0 || elapsedMs < 0) return -1;
    const int64_t left = std::max(total - done, 0);
    return int((elapsedMs * left / done + 999) / 1000);
}

} // namespace Vers
