#include "versions/VersionChecksum.h"

#include "versions/VersionFormat.h"

#include <QFile>

namespace VersionChecksum {

namespace {
constexpr int kRamRecords = 128;
constexpr qint64 kUpperHalf = 1280LL * Vers::kRecordBytes; // record 1280
constexpr int kEndWordRecord = 5;                          // sixth record of bank 3
constexpr int kEndWordOffset = 108;

// Record reads as the sums make them: a read "with end test" is skipped at
// the end of the file; a strict read must find a whole record.
class Reader {
public:
    explicit Reader(QIODevice& f) : m_f(f) {}
    bool Failed() const { return m_failed; }

    // False when there was no record (end of file or an earlier failure).
    bool Next(Vers::Record& r, bool strict = false) {
        if (m_failed) return false;
        if (!strict && m_f.atEnd()) return false;
        if (m_f.read(reinterpret_cast<char*>(r.data()), Vers::kRecordBytes) != Vers::kRecordBytes)
            m_failed = true;
        return !m_failed;
    }
    // Adds data words first..last (1..64) of the next count records.
    uint16_t Sum(int count, uint16_t s = 0, bool strict = false) {
        Vers::Record r{};
        for (int i = 0; i < count; ++i)
            if (Next(r, strict)) s = AddWords(r, 1, 64, s);
        return s;
    }
    static uint16_t AddWords(const Vers::Record& r, int first, int last, uint16_t s) {
        for (int k = first; k <= last; ++k)
            s = Add(s, Vers::Word(r, 2 * k));
        return s;
    }
    // Past the end of the file there is nothing more to read.
    bool Seek(qint64 pos) { return m_f.seek(std::min(pos, m_f.size())); }

private:
    QIODevice& m_f;
    bool m_failed = false;
};
} // namespace

QString Caption(int label) {
    switch (label) {
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
        return QStringLiteral("%1 Доп").arg(label);
    case 4:
        return QStringLiteral("4 Доп (1)");
    case 7:
        return QStringLiteral("1 Осн (1)");
    case 8:
        return QStringLiteral("1 Осн (2)");
    case 9:
        return QStringLiteral("4 Доп (2)");
    default:
        return QString();
    }
}

Result Compute(QIODevice& file, const std::function<void(int, uint16_t)>& onSum) {
    Result res;
    if (file.size() == 0) return res;
    Reader in(file);
    auto show = [&](int label, uint16_t s) {
        if (in.Failed()) return false;
        res.sums[size_t(label - 1)] = s;
        if (onSum) onSum(label, s);
        return true;
    };
    auto failed = [&] {
        res.readFailed = true;
        return res;
    };

    in.Sum(kRamRecords); // "ОЗУ" is not summed
    // Main area, first part: records 128..155 must be there; of record 155
    // only the second half counts.
    uint16_t s = in.Sum(27, 0, true);
    Vers::Record r{};
    if (in.Next(r, true)) s = Reader::AddWords(r, 33, 64, s);
    s = in.Sum(80, s);
    if (!show(7, s)) return failed();
    if (!show(8, in.Sum(148))) return failed();
    if (!show(1, in.Sum(256))) return failed();
    if (!show(2, in.Sum(256))) return failed();

    // Bank 3, whose sixth record holds the end word of bank 4's summed part.
    uint16_t e = 0;
    s = 0;
    for (int i = 0; i < 256; ++i) {
        if (!in.Next(r)) continue;
        if (i == kEndWordRecord) e = Vers::Word(r, kEndWordOffset);
        s = Reader::AddWords(r, 1, 64, s);
    }
    if (!show(3, s)) return failed();

    // Bank 4 lower part: whole blocks up to e, then the last words of the
    // next block.
    const int d = int(e) - 0x8000;
    const int n = e > 0x8000 && e < 0xC000 ? d / 64 : 128;
    const int rest = d % 64; // the sign of d
    s = in.Sum(n);
    if (rest != 0 && in.Next(r, true) && rest > 0) s = Reader::AddWords(r, 65 - rest, 64, s);
    if (!show(4, s)) return failed();

    if (!in.Seek(kUpperHalf)) return failed();
    if (!show(9, in.Sum(128))) return failed();
    if (!show(5, in.Sum(256))) return failed();
    if (!show(6, in.Sum(256))) return failed();
    return res;
}

Result Compute(const QString& path, const std::function<void(int, uint16_t)>& onSum) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        Result res;
        res.readFailed = true;
        return res;
    }
    return Compute(f, onSum);
}

} // namespace VersionChecksum
