#include "link/Notation.h"

#include "platform/Clock.h"

QString GetDateTime(const QDateTime& t) {
    // Built from the system's time text "H:mm:ss" and short date "dd.MM.yy".
    const QString time = Clock::TimeText(t);
    const QString date = Clock::ShortDateText(t);
    const int colon = time.indexOf(QLatin1Char(':'));
    return time.left(colon) + QLatin1Char(',') + time.mid(colon + 1, 2) + QLatin1Char('|') +
           date.mid(0, 2) + QLatin1Char(',') + date.mid(3, 2) + QLatin1Char(',') + date.mid(6, 2) +
           QLatin1Char('|');
}

QString GetDateTime() {
    return GetDateTime(Clock::Now());
}

QString ShortHex(uint32_t value) {
    return QString::number(value & 0xFFFF, 16).toUpper();
}

QString ValueToVarnel(uint16_t v) {
    static const char* hex = "0123456789ABCDEF";
    QString s(5, QLatin1Char('0'));
    s[0] = QLatin1Char(char('0' + ((v >> 13) & 7)));
    s[1] = QLatin1Char(char('0' + ((v >> 10) & 7)));
    s[2] = QLatin1Char(char('0' + ((v >> 8) & 3)));
    s[3] = QLatin1Char(hex[(v >> 4) & 15]);
    s[4] = QLatin1Char(hex[v & 15]);
    return s;
}

std::optional<uint16_t> VarnelToValue(const QString& text) {
    if (text.size() != 5) return std::nullopt;
    auto digit = [&](int i, int max) -> int {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'0' + max) return -1;
        return c - u'0';
    };
    // The two low digits are upper-case hexadecimal, as ValueToVarnel writes
    // them; a sign, a blank or a small letter is not a digit here.
    auto hex = [&](int i) -> int {
        const char16_t h = text[i].unicode();
        if (h >= u'0' && h <= u'9') return h - u'0';
        if (h >= u'A' && h <= u'F') return h - u'A' + 10;
        return -1;
    };
    const int a = digit(0, 7), b = digit(1, 7), c = digit(2, 3);
    const int hi = hex(3), lo = hex(4);
    if (a < 0 || b < 0 || c < 0 || hi < 0 || lo < 0) return std::nullopt;
    return uint16_t((a << 13) | (b << 10) | (c << 8) | (hi << 4) | lo);
}

int ReadVarnel(const QString& text) {
    static constexpr int kWeight[5] = {1, 16, 256, 1024, 8192};
    int value = 0;
    int place = 0;
    for (qsizetype i = text.size() - 1; i >= 0 && place < 5; --i) {
        const char16_t c = text[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0) continue;
        value += d * kWeight[place++];
    }
    return value;
}
