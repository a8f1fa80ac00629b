#include "central/CentralRecord.h"

#include <QList>
#include <QLocale>

#include <cstdio>
#include <cstdlib>

namespace {

// COPY text format: backslash, tab, newline and carriage return escaped.
void PutText(QByteArray& out, const QString& s) {
    const QByteArray u = s.toUtf8();
    for (const char c : u) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

std::optional<QString> TakeText(const QByteArray& f) {
    QByteArray u;
    u.reserve(f.size());
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i] != '\\') {
            u += f[i];
            continue;
        }
        if (++i >= f.size()) return std::nullopt;
        switch (f[i]) {
        case '\\':
            u += '\\';
            break;
        case 't':
            u += '\t';
            break;
        case 'n':
            u += '\n';
            break;
        case 'r':
            u += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return QString::fromUtf8(u);
}

// The moment in ISO 8601 with milliseconds and its UTC offset ("Z" for none),
// as Qt::ISODateWithMs writes it; by hand, as it runs for every billed call.
QByteArray TimeText(const QDateTime& t) {
    const int off = t.offsetFromUtc();
    const QDate d = t.date();
    if (off % 60 != 0 || d.year() < 0 || d.year() > 9999)
        return t.toOffsetFromUtc(off).toString(Qt::ISODateWithMs).toLatin1();
    const QTime c = t.time();
    char buf[40];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", d.year(),
                          d.month(), d.day(), c.hour(), c.minute(), c.second(), c.msec());
    if (off == 0)
        buf[n++] = 'Z';
    else
        n += std::snprintf(buf + n, sizeof buf - size_t(n), "%c%02d:%02d", off < 0 ? '-' : '+',
                           std::abs(off) / 3600, std::abs(off) % 3600 / 60);
    return QByteArray(buf, n);
}

} // namespace

QString CentralRecord::UnitOf(int timeMode) {
    switch (timeMode) {
    case 0:
        return QStringLiteral("min");
    case 2:
        return QStringLiteral("ms");
    default:
        return QStringLiteral("s");
    }
}

QByteArray CentralRecord::ToCopyLine() const {
    QByteArray out;
    out.reserve(160);
    const auto text = [&out](const QString& s) {
        PutText(out, s);
        out += '\t';
    };
    const auto time = [&out](const QDateTime& t) {
        out += t.isValid() ? TimeText(t) : QByteArray("\\N");
        out += '\t';
    };
    text(terminalId);
    out += QByteArray::number(epoch) + '\t' + QByteArray::number(seq) + '\t' +
           QByteArray::number(exchange) + '\t' + QByteArray::number(kit) + '\t';
    time(started);
    time(ended);
    out += QByteArray::number(duration) + '\t';
    text(durationUnit);
    text(aNumber);
    text(bDialled);
    text(bBilled);
    out += QByteArray::number(category) + '\t';
    text(destCode);
    text(destCodeForeign);
    out += QByteArray::number(tariff, 'g', 17) + '\n';
    return out;
}

std::optional<CentralRecord> CentralRecord::FromCopyLine(const QByteArray& line) {
    QByteArray body = line;
    if (body.endsWith('\n')) body.chop(1);
    const QList<QByteArray> f = body.split('\t');
    if (f.size() != 16) return std::nullopt;
    bool ok = true;
    const auto num = [&ok](const QByteArray& b) {
        bool good = false;
        const qint64 v = b.toLongLong(&good);
        ok = ok && good;
        return v;
    };
    const auto text = [&ok](const QByteArray& b) {
        const auto t = TakeText(b);
        ok = ok && t.has_value();
        return t.value_or(QString());
    };
    const auto time = [&ok](const QByteArray& b) {
        if (b == "\\N") return QDateTime();
        const QDateTime t = QDateTime::fromString(QString::fromLatin1(b), Qt::ISODateWithMs);
        ok = ok && t.isValid();
        return t;
    };
    CentralRecord r;
    r.terminalId = text(f[0]);
    r.epoch = num(f[1]);
    r.seq = num(f[2]);
    r.exchange = int(num(f[3]));
    r.kit = int(num(f[4]));
    r.started = time(f[5]);
    r.ended = time(f[6]);
    r.duration = num(f[7]);
    r.durationUnit = text(f[8]);
    r.aNumber = text(f[9]);
    r.bDialled = text(f[10]);
    r.bBilled = text(f[11]);
    r.category = int(num(f[12]));
    r.destCode = text(f[13]);
    r.destCodeForeign = text(f[14]);
    bool good = false;
    r.tariff = f[15].toDouble(&good);
    if (!ok || !good) return std::nullopt;
    return r;
}
