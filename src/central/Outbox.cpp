#include "central/Outbox.h"

#include "platform/ProgramLog.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTimer>

#include <cstring>

using tables::Transaction;
using tables::TxFile;

namespace {

constexpr char kMagic[4] = {'V', 'C', 'Q', '1'};
constexpr qint64 kHeadSize = 32; // magic, epoch, acknowledged, base, checksum
constexpr qint64 kRecHead = 16;  // length, seq, checksum (of seq and line)
constexpr qint64 kMaxLine = 64 << 10;
// A pending tail this small behind an acknowledged head this large is moved
// to the front, so that a queue that is never quite empty stays small.
constexpr qint64 kCompactHead = 1 << 20;
constexpr qint64 kCompactTail = 256 << 10;

void PutU32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (8 * i));
}
void PutU64(char* p, quint64 v) {
    PutU32(p, uint32_t(v));
    PutU32(p + 4, uint32_t(v >> 32));
}
uint32_t GetU32(const char* p) {
    const auto* c = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}
qint64 GetI64(const char* p) {
    return qint64(quint64(GetU32(p)) | quint64(GetU32(p + 4)) << 32);
}

uint32_t RecordCrc(const char* head, const QByteArray& line) {
    // Length and seq, then the line.
    uint32_t crc = tables::Crc32(head, 12);
    return tables::Crc32(line.constData(), line.size(), crc);
}

QByteArray Frame(qint64 seq, const QByteArray& line) {
    QByteArray f(kRecHead, 0);
    PutU32(f.data(), uint32_t(line.size()));
    PutU64(f.data() + 4, quint64(seq));
    PutU32(f.data() + 12, RecordCrc(f.constData(), line));
    return f + line;
}

struct Scan {
    qint64 epoch = 0;
    qint64 acked = 0;
    qint64 base = 0;
    std::vector<qint64> offsets;
    qint64 end = kHeadSize;
    QString damage; // empty: the whole file is sound
};

bool ReadExact(TxFile& f, qint64 pos, char* buf, qint64 n) {
    return f.Read(pos, buf, n) == n;
}

// Reads the header and finds every whole record; stops at the first damage.
// False when the header itself is unusable.
bool ScanFile(TxFile& f, Scan& s) {
    const qint64 size = f.Size();
    char h[kHeadSize];
    if (size < kHeadSize || !ReadExact(f, 0, h, kHeadSize)) {
        s.damage = QStringLiteral("header cut short");
        return false;
    }
    if (std::memcmp(h, kMagic, 4) != 0) {
        s.damage = QStringLiteral("not a queue file (bad magic)");
        return false;
    }
    if (GetU32(h + 28) != tables::Crc32(h, 28)) {
        s.damage = QStringLiteral("header checksum wrong");
        return false;
    }
    s.epoch = GetI64(h + 4);
    s.acked = GetI64(h + 12);
    s.base = GetI64(h + 20);
    if (s.epoch <= 0 || s.base < 0 || s.acked < s.base) {
        s.damage = QStringLiteral("header values out of range");
        return false;
    }
    qint64 pos = kHeadSize;
    char r[kRecHead];
    while (pos < size) {
        const qint64 seq = s.base + qint64(s.offsets.size()) + 1;
        if (size - pos < kRecHead || !ReadExact(f, pos, r, kRecHead)) {
            s.damage = QStringLiteral("record %1 cut short").arg(seq);
            break;
        }
        const qint64 len = GetU32(r);
        if (len == 0 || len > kMaxLine || GetI64(r + 4) != seq) {
            s.damage = QStringLiteral("record %1 malformed").arg(seq);
            break;
        }
        if (size - pos - kRecHead < len) {
            s.damage = QStringLiteral("record %1 cut short").arg(seq);
            break;
        }
        QByteArray line(len, 0);
        if (!ReadExact(f, pos + kRecHead, line.data(), len) ||
            RecordCrc(r, line) != GetU32(r + 12)) {
            s.damage = QStringLiteral("record %1 checksum wrong").arg(seq);
            break;
        }
        s.offsets.push_back(pos);
        pos += kRecHead + len;
    }
    s.end = pos;
    if (s.damage.isEmpty() && s.acked > s.base + qint64(s.offsets.size()))
        s.damage = QStringLiteral("acknowledged number beyond the records");
    return true;
}

QByteArray ReadLine(TxFile& f, qint64 offset) {
    char r[kRecHead];
    if (!ReadExact(f, offset, r, kRecHead)) return {};
    QByteArray line(GetU32(r), 0);
    if (!ReadExact(f, offset + kRecHead, line.data(), line.size())) return {};
    return line;
}

qint64 NewEpoch() {
    qint64 e = 0;
    while (e <= 0)
        e = qint64(QRandomGenerator::global()->generate64() & 0x7FFFFFFFFFFFFFFFull);
    return e;
}

QString OneLine(QString s) {
    for (QChar& c : s)
        if (c.unicode() < 32) c = QLatin1Char(' ');
    return s;
}

// The queue file opened for writing through the journal.
std::unique_ptr<TxFile> OpenTx(const QString& path, QString* error) {
    auto f = std::make_unique<TxFile>(path);
    QString e;
    if (f->Open(true, &e)) return f;
    if (error) *error = path + QStringLiteral(": ") + e;
    return nullptr;
}

} // namespace

Outbox::Outbox(const QString& dir, const QString& terminalId, QObject* parent)
    : QObject(parent), m_dir(dir), m_terminalId(terminalId) {
    m_notify.setSingleShot(true);
    m_notify.setInterval(0);
    connect(&m_notify, &QTimer::timeout, this, [this] { emit DurableAdvanced(m_durable); });
}

Outbox::~Outbox() = default;

QString Outbox::Path() const {
    return m_dir + QLatin1Char('/') + QLatin1String(kFileName);
}

bool Outbox::IsOpen() const {
    return m_file && m_file->IsOpen();
}

bool Outbox::Open(QString* error) {
    if (Transaction::Current()) {
        if (error) *error = QStringLiteral("a transaction is running");
        return false;
    }
    m_file.reset();
    const QString path = Path();
    const QFileInfo fi(path);
    if (fi.exists() && fi.isFile() && fi.size() > 0) {
        m_file = OpenTx(path, error);
        if (!m_file) return false;
        QString why;
        QList<QByteArray> salvaged;
        if (Load(&why, &salvaged)) {
            m_file->OnDiscard = [this] { Resync(); };
            return true;
        }
        // Damaged: set aside, and a new epoch carries what could be read.
        m_file.reset();
        const QString stem =
            path + QStringLiteral(".damaged-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
        QString aside = stem;
        for (int n = 2; QFileInfo::exists(aside); ++n)
            aside = stem + QStringLiteral("~%1").arg(n);
        if (!QFile::rename(path, aside)) {
            if (error)
                *error = path + QStringLiteral(": damaged (") + why +
                         QStringLiteral(") and cannot be set aside");
            return false;
        }
        tables::SyncFolder(m_dir);
        WriteLog(QStringLiteral("%1: damaged (%2), set aside as %3; a new epoch begins, %4 "
                                "unacknowledged record(s) carried into it")
                     .arg(QDir::toNativeSeparators(path), why, QFileInfo(aside).fileName())
                     .arg(salvaged.size()));
        return Create(salvaged, error);
    } else if (fi.exists() && !fi.isFile()) {
        if (error) *error = path + QStringLiteral(": not a file");
        return false;
    }
    return Create({}, error);
}

// Reads the open file into memory. False (why set) when it is damaged; the
// unacknowledged records before the damage go to salvaged, as lines.
bool Outbox::Load(QString* why, QList<QByteArray>* salvaged) {
    Scan s;
    const bool headerOk = ScanFile(*m_file, s);
    if (!s.damage.isEmpty()) {
        *why = s.damage;
        if (headerOk && salvaged)
            for (size_t i = 0; i < s.offsets.size(); ++i)
                if (s.base + qint64(i) + 1 > s.acked) *salvaged << ReadLine(*m_file, s.offsets[i]);
        return false;
    }
    m_epoch = s.epoch;
    m_acked = s.acked;
    m_base = s.base;
    m_offsets = std::move(s.offsets);
    m_end = s.end;
    m_committedLast = Last();
    m_durable = Last(); // what a sound file holds has been synced or replayed
    return true;
}

// A new queue with a new epoch; carried lines become its first records.
bool Outbox::Create(const QList<QByteArray>& carried, QString* error) {
    const QString path = Path();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (error) *error = path + QStringLiteral(": ") + f.errorString();
            return false;
        }
    }
    tables::SyncFolder(m_dir);
    m_file = OpenTx(path, error);
    if (!m_file) return false;
    m_epoch = NewEpoch();
    m_acked = m_base = 0;
    m_offsets.clear();
    m_end = kHeadSize;
    m_committedLast = m_durable = 0;
    Transaction tx(m_dir);
    bool ok = WriteHeader();
    QString e;
    for (const QByteArray& line : carried) {
        auto r = CentralRecord::FromCopyLine(line);
        if (!r) continue; // its checksum held; a line that does not parse is not ours
        ok = ok && Stage(*r);
    }
    if (!ok || !tx.Commit(&e)) {
        tx.Rollback();
        if (error)
            *error =
                path + QStringLiteral(": ") + (e.isEmpty() ? QStringLiteral("write failed") : e);
        m_file.reset();
        return false;
    }
    m_committedLast = m_durable = Last();
    m_file->OnDiscard = [this] { Resync(); };
    return true;
}

bool Outbox::WriteHeader() {
    char h[kHeadSize];
    std::memcpy(h, kMagic, 4);
    PutU64(h + 4, quint64(m_epoch));
    PutU64(h + 12, quint64(m_acked));
    PutU64(h + 20, quint64(m_base));
    PutU32(h + 28, tables::Crc32(h, 28));
    return m_file->Write(0, h, kHeadSize);
}

// After a rollback: the file holds what was committed; so does the memory.
void Outbox::Resync() {
    if (!m_file) return;
    char h[kHeadSize];
    const qint64 size = m_file->Size();
    const bool sameHead = size >= kHeadSize && ReadExact(*m_file, 0, h, kHeadSize) &&
                          GetI64(h + 4) == m_epoch && GetI64(h + 20) == m_base;
    if (sameHead) {
        m_acked = GetI64(h + 12);
        while (!m_offsets.empty() && m_offsets.back() >= size)
            m_offsets.pop_back();
        m_end = m_offsets.empty() ? kHeadSize : std::min(size, m_end);
        if (!m_offsets.empty()) {
            char r[kRecHead];
            if (ReadExact(*m_file, m_offsets.back(), r, kRecHead))
                m_end = m_offsets.back() + kRecHead + GetU32(r);
        }
    } else {
        // A compaction was rolled back: read the file again.
        const qint64 durable = m_durable;
        QString why;
        if (!Load(&why, nullptr)) WriteLog(Path() + QStringLiteral(": ") + why);
        m_durable = std::min(durable, Last());
    }
    m_committedLast = Last();
    m_durable = std::min(m_durable, Last());
}

bool Outbox::Stage(CentralRecord r) {
    if (!IsOpen() || !Transaction::Current()) return false;
    if (!m_file->HasStaged()) m_committedLast = Last();
    r.terminalId = m_terminalId;
    r.epoch = m_epoch;
    r.seq = Last() + 1;
    const QByteArray line = r.ToCopyLine();
    if (line.size() > kMaxLine) return false;
    const QByteArray frame = Frame(r.seq, line);
    if (!m_file->Write(m_end, frame.constData(), frame.size())) return false;
    m_offsets.push_back(m_end);
    m_end += frame.size();
    return true;
}

void Outbox::MarkDurable() {
    if (!IsOpen()) return;
    if (!m_file->HasStaged()) m_committedLast = Last();
    if (m_committedLast <= m_durable) return;
    m_durable = m_committedLast;
    // Told from the event loop: the caller may still be inside the scope of
    // its transaction, and a listener that acknowledges needs one of its own.
    if (!m_notify.isActive()) m_notify.start();
}

QByteArray Outbox::LineAt(qint64 seq) const {
    const qint64 i = seq - m_base - 1;
    if (i < 0 || i >= qint64(m_offsets.size())) return {};
    return ReadLine(*m_file, m_offsets[size_t(i)]);
}

QList<QByteArray> Outbox::Read(qint64 fromSeq, int maxCount) const {
    QList<QByteArray> out;
    if (!IsOpen()) return out;
    for (qint64 seq = std::max(fromSeq, FirstKept()); seq <= m_durable && out.size() < maxCount;
         ++seq) {
        QByteArray line = LineAt(seq);
        if (line.isEmpty()) break;
        out << line;
    }
    return out;
}

bool Outbox::Acknowledge(qint64 seq) {
    if (!IsOpen() || Transaction::Current()) return false;
    if (seq <= m_acked) return true;
    if (seq > m_durable) {
        WriteLog(QStringLiteral("%1: acknowledgement of %2 refused, the queue holds %3 of epoch %4")
                     .arg(QDir::toNativeSeparators(Path()))
                     .arg(seq)
                     .arg(m_durable)
                     .arg(m_epoch));
        return false;
    }
    const qint64 last = Last();
    qint64 base = m_base;
    std::vector<qint64> offsets;
    qint64 end = m_end;
    // The server's number is the one that counts (delivery resumes from it),
    // so the local copy need not be synced at once: it rides on the next
    // call's sync, or a flush within a second. Lost in a crash, it only
    // makes a batch go again, which the server drops as duplicates.
    Transaction tx(m_dir);
    tx.DeferSync();
    const qint64 oldAcked = m_acked;
    const qint64 oldBase = m_base;
    m_acked = seq;
    bool ok = true;
    if (seq == last) {
        // Everything delivered: back to the bare header.
        base = seq;
        end = kHeadSize;
        ok = m_file->Resize(kHeadSize);
    } else {
        const qint64 from = m_offsets[size_t(seq - m_base)]; // first pending record
        if (from - kHeadSize >= kCompactHead && m_end - from <= kCompactTail) {
            QByteArray tail(m_end - from, 0);
            ok = ReadExact(*m_file, from, tail.data(), tail.size()) &&
                 m_file->Write(kHeadSize, tail.constData(), tail.size()) &&
                 m_file->Resize(kHeadSize + tail.size());
            base = seq;
            for (size_t i = size_t(seq - m_base); i < m_offsets.size(); ++i)
                offsets.push_back(m_offsets[i] - from + kHeadSize);
            end = kHeadSize + tail.size();
        }
    }
    m_base = base;
    ok = ok && WriteHeader();
    m_acked = oldAcked;
    m_base = oldBase;
    QString e;
    if (!ok || !tx.Commit(&e)) {
        tx.Rollback();
        WriteLog(QDir::toNativeSeparators(Path()) + QStringLiteral(": ") +
                 (e.isEmpty() ? QStringLiteral("write failed") : e));
        return false;
    }
    m_acked = seq;
    if (base != m_base) {
        m_base = base;
        m_offsets = std::move(offsets);
        m_end = end;
    }
    if (!m_flushPending) {
        m_flushPending = true;
        QTimer::singleShot(kAckFlushMs, this, [this] {
            m_flushPending = false;
            QString e;
            if (!tables::FlushJournals(&e)) WriteLog(e);
        });
    }
    return true;
}

bool Outbox::SetAside(const QByteArray& line, const QString& reason) {
    QFile f(m_dir + QLatin1Char('/') + QLatin1String(kQuarantineName));
    QByteArray body = line;
    while (body.endsWith('\n'))
        body.chop(1);
    body.replace('\n', "\\n");
    const QByteArray text = QDateTime::currentDateTime().toString(Qt::ISODate).toUtf8() + '\t' +
                            OneLine(reason).toUtf8() + '\t' + body + '\n';
    const bool ok = f.open(QIODevice::WriteOnly | QIODevice::Append) &&
                    f.write(text) == text.size() && f.flush() && tables::SyncFileHandle(f.handle());
    WriteLog(QStringLiteral("%1: record refused by the central store (%2) set aside in %3%4")
                 .arg(QDir::toNativeSeparators(Path()), OneLine(reason),
                      QLatin1String(kQuarantineName),
                      ok ? QString() : QStringLiteral(", but the file cannot be written")));
    return ok;
}

OutboxStatus Outbox::ReadStatus(const QString& dir) {
    OutboxStatus st;
    {
        QFile q(dir + QLatin1Char('/') + QLatin1String(kQuarantineName));
        if (q.open(QIODevice::ReadOnly))
            while (!q.atEnd())
                if (!q.readLine().trimmed().isEmpty()) ++st.quarantined;
    }
    const QString path = dir + QLatin1Char('/') + QLatin1String(kFileName);
    if (!QFileInfo(path).isFile()) {
        st.error = QStringLiteral("no queue file");
        return st;
    }
    TxFile f(path);
    QString e;
    if (!f.Open(false, &e)) {
        st.error = e;
        return st;
    }
    Scan s;
    ScanFile(f, s);
    if (!s.damage.isEmpty()) {
        st.error = s.damage;
        if (s.epoch == 0) return st;
    }
    st.exists = true;
    st.epoch = s.epoch;
    st.last = s.base + qint64(s.offsets.size());
    st.acknowledged = s.acked;
    st.pending = std::max<qint64>(0, st.last - s.acked);
    if (st.pending > 0) {
        if (auto r = CentralRecord::FromCopyLine(ReadLine(f, s.offsets[size_t(s.acked - s.base)])))
            st.oldestPending = r->ended;
    }
    return st;
}
