// Paradox tables over pxlib. pxlib parses and creates the files and encodes
// the values; its reads and writes are routed through a TxFile (see TxFile.h),
// replacing its own buffered I/O, so that changes commit atomically.
#include "tables/TableImpl.h"

#include "platform/Codec.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <paradox.h>
}

namespace tables {

namespace {

// The stored types this program writes, with the field type each stands for.
struct PxType {
    FieldType type;
    int px;
};
constexpr PxType kPxTypes[] = {{FieldType::Integer, pxfLong}, {FieldType::Smallint, pxfShort},
                               {FieldType::Float, pxfNumber}, {FieldType::Date, pxfDate},
                               {FieldType::Time, pxfTime},    {FieldType::DateTime, pxfTimestamp},
                               {FieldType::String, pxfAlpha}};

FieldType FromPx(int t) {
    // Read as the plain types they extend.
    if (t == pxfAutoInc) t = pxfLong;
    if (t == pxfCurrency) t = pxfNumber;
    for (const auto& m : kPxTypes)
        if (m.px == t) return m.type;
    return FieldType::Other;
}

int ToPx(FieldType t) {
    for (const auto& m : kPxTypes)
        if (m.type == t) return m.px;
    return pxfAlpha;
}

int PxLen(const FieldDef& f) {
    switch (f.type) {
    case FieldType::Smallint:
        return 2;
    case FieldType::Float:
    case FieldType::DateTime:
        return 8;
    case FieldType::String:
    case FieldType::Other:
        return std::max(1, f.size);
    default:
        return 4;
    }
}

bool KnownPxType(int t) {
    switch (t) {
    case pxfAlpha:
    case pxfDate:
    case pxfShort:
    case pxfLong:
    case pxfCurrency:
    case pxfNumber:
    case pxfLogical:
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
    case pxfTime:
    case pxfTimestamp:
    case pxfAutoInc:
    case pxfBCD:
    case pxfBytes:
        return true;
    default:
        return false;
    }
}

// pxlib's field list for the first n fields, allocated in d (a file created
// from it owns it).
pxfield_t* PxFields(pxdoc_t* d, const std::vector<PxFieldSpec>& fields, int n) {
    auto* f = static_cast<pxfield_t*>(d->malloc(d, sizeof(pxfield_t) * size_t(n), "fields"));
    for (int i = 0; i < n; ++i) {
        const PxFieldSpec& s = fields[size_t(i)];
        f[i].px_fname = PX_strdup(d, s.name.constData());
        f[i].px_ftype = char(s.type);
        f[i].px_flen = s.type == pxfBCD ? 17 : s.length;
        f[i].px_fdc = s.type == pxfBCD ? s.length : 0;
    }
    return f;
}

int U16(const unsigned char* p) {
    return p[0] | p[1] << 8;
}
int S16(const unsigned char* p) {
    return int16_t(uint16_t(p[0] | p[1] << 8));
}
qint64 U32(const unsigned char* p) {
    return qint64(p[0]) | qint64(p[1]) << 8 | qint64(p[2]) << 16 | qint64(p[3]) << 24;
}

constexpr qint64 kMsPerDay = 86400000;

// A row as pxlib's value array (for inserts and updates).
struct PxValues {
    std::vector<pxval_t> vals;
    std::vector<pxval_t*> ptrs;
    std::vector<QByteArray> strs;

    PxValues(const std::vector<int>& types, const std::vector<int>& lens,
             const QVariantList& values)
        : vals(types.size()), ptrs(types.size()), strs(types.size()) {
        for (size_t i = 0; i < types.size(); ++i) {
            pxval_t& v = vals[i];
            std::memset(&v, 0, sizeof v);
            ptrs[i] = &v;
            v.type = types[i];
            const QVariant q = values.value(int(i));
            if (q.isNull() || !q.isValid()) {
                v.isnull = 1;
                continue;
            }
            switch (types[i]) {
            case pxfLong:
            case pxfShort:
                v.value.lval = long(q.toLongLong());
                break;
            case pxfDate:
                v.value.lval = long(DateOrdinal(q.toDate()));
                break;
            case pxfTime:
                v.value.lval = q.toTime().msecsSinceStartOfDay();
                break;
            case pxfTimestamp: {
                const QDateTime t = q.toDateTime();
                v.value.dval =
                    double(DateOrdinal(t.date()) * kMsPerDay + t.time().msecsSinceStartOfDay());
                break;
            }
            case pxfNumber:
                v.value.dval = q.toDouble();
                break;
            case pxfAlpha:
                // pxlib writes past the field for an over-long string: cut it first.
                strs[i] = Codec::ToCp1251(q.toString()).left(lens[i]);
                v.value.str.val = strs[i].data();
                v.value.str.len = int(strs[i].size());
                if (v.value.str.len == 0) v.isnull = 1;
                break;
            default:
                v.isnull = 1;
                break;
            }
        }
    }
};

class ParadoxTable final : public FileTable {
public:
    explicit ParadoxTable(const QString& path) : FileTable(path) {}
    ~ParadoxTable() override { Close(); }

    bool Create(const FieldList& fields, int keyFields) override;
    bool Empty() override;

    // pxlib callbacks.
    static size_t HookRead(pxdoc_t* p, pxstream_t*, size_t n, void* buf);
    static int HookSeek(pxdoc_t* p, pxstream_t*, long off, int whence);
    static long HookTell(pxdoc_t* p, pxstream_t*);
    static size_t HookWrite(pxdoc_t* p, pxstream_t*, size_t n, void* buf);
    static void HookError(pxdoc_t*, int type, const char* msg, void* data);

protected:
    int DoRecordCount() override { return m_doc ? PX_get_num_records(m_doc) : 0; }
    bool DoRead(int recno, QVariantList& row) override;
    bool DoLocate(const QList<int>& fields, const QVariantList& values, int& recno) override;
    bool DoAppend(const QVariantList& values, int& recno) override;
    bool DoUpdate(int& recno, const QVariantList& values) override;
    bool DoDelete(int recno) override;
    bool Validate(QString* why) override;
    bool OpenHandle() override;
    void CloseHandle() override;
    bool HasHandle() const override { return m_doc != nullptr; }

private:
    static ParadoxTable* Self(pxdoc_t* p) {
        return static_cast<ParadoxTable*>(p->errorhandler_user_data);
    }
    QString IndexPath() const;
    bool LoadRows();
    bool RawRow(int recno, QByteArray& raw);
    QVariant Decode(int field, const QByteArray& row) const;
    QByteArray EncodeRow(const QVariantList& values) const;
    void EncodeField(int field, const QVariant& v, char* out) const;
    bool Insert(const QVariantList& values, int& recno);
    bool RewriteKeyed(std::vector<QByteArray> rows, const QByteArray& focus, int& recno);
    bool DropLastBlock();
    bool BuildFile(const QString& file, const FieldList& fields, int keyFields,
                   const std::vector<QByteArray>& rows, const QString& indexFile);
    // pxlib writes a header in some hundred pieces of a few bytes: runs of
    // adjacent pieces are combined and handed to the file in one write, at
    // the latest when pxlib reads or its call returns.
    bool FlushWrites();
    QString PxCause(const QString& fallback) const {
        return m_pxError.isEmpty() ? fallback : m_pxError;
    }

    pxdoc_t* m_doc = nullptr;
    qint64 m_pos = 0;
    char m_combined[16384];   // pending adjacent writes
    qint64 m_combinedLen = 0; // their length
    qint64 m_combinedAt = -1; // their position (-1: none)
    bool m_ioError = false;
    QString m_pxError;
    std::vector<int> m_offsets;
    std::vector<int> m_lens;
    std::vector<int> m_pxTypes;
    int m_recSize = 0;
    bool m_rowsLoaded = false;
    std::vector<QByteArray> m_rows;
    // Made elsewhere: an empty block pxlib cannot number rows across. Such a
    // table is read and appended to, not changed in place.
    bool m_emptyBlocks = false;
};

size_t ParadoxTable::HookRead(pxdoc_t* p, pxstream_t*, size_t n, void* buf) {
    ParadoxTable* t = Self(p);
    t->FlushWrites();
    const qint64 r = t->m_file.Read(t->m_pos, buf, qint64(n));
    if (r < 0) {
        t->m_ioError = true;
        std::memset(buf, 0, n);
        return 0;
    }
    if (r < qint64(n)) std::memset(static_cast<char*>(buf) + r, 0, size_t(qint64(n) - r));
    t->m_pos += r;
    return size_t(r);
}

int ParadoxTable::HookSeek(pxdoc_t* p, pxstream_t*, long off, int whence) {
    ParadoxTable* t = Self(p);
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = t->m_pos;
    else if (whence == SEEK_END)
        base = t->m_file.Size();
    if (base + off < 0) return -1;
    t->m_pos = base + off;
    return 0;
}

long ParadoxTable::HookTell(pxdoc_t* p, pxstream_t*) {
    return long(Self(p)->m_pos);
}

size_t ParadoxTable::HookWrite(pxdoc_t* p, pxstream_t*, size_t n, void* buf) {
    ParadoxTable* t = Self(p);
    const auto* in = static_cast<const char*>(buf);
    // pxlib writes a header field by field: a write that continues the
    // pending run joins it (the run was checked when it began).
    if (t->m_combinedAt >= 0 && t->m_pos == t->m_combinedAt + t->m_combinedLen &&
        t->m_combinedLen + qint64(n) <= qint64(sizeof t->m_combined)) {
        std::memcpy(t->m_combined + t->m_combinedLen, in, n);
        t->m_combinedLen += qint64(n);
        t->m_pos += qint64(n);
        return n;
    }
    if (!Transaction::Current() || !t->m_file.Writable() || !t->FlushWrites()) {
        t->m_ioError = true;
        return 0;
    }
    if (n > sizeof t->m_combined) {
        if (!t->m_file.Write(t->m_pos, in, qint64(n))) {
            t->m_ioError = true;
            return 0;
        }
    } else {
        t->m_combinedAt = t->m_pos;
        t->m_combinedLen = qint64(n);
        std::memcpy(t->m_combined, in, n);
    }
    t->m_pos += qint64(n);
    return n;
}

bool ParadoxTable::FlushWrites() {
    if (m_combinedAt < 0) return true;
    const bool ok = m_file.Write(m_combinedAt, m_combined, m_combinedLen);
    m_combinedAt = -1;
    m_combinedLen = 0;
    if (!ok) m_ioError = true;
    return ok;
}

void ParadoxTable::HookError(pxdoc_t*, int type, const char* msg, void* data) {
    if (type == PX_Warning || !data) return;
    static_cast<ParadoxTable*>(data)->m_pxError = QString::fromLocal8Bit(msg);
}

QString ParadoxTable::IndexPath() const {
    const QFileInfo fi(m_path);
    const bool upper = fi.suffix() == fi.suffix().toUpper();
    return fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() +
           (upper ? QStringLiteral(".PX") : QStringLiteral(".px"));
}

// Structural check before pxlib sees the file: pxlib trusts the header and
// would read wild on a damaged or half-written table (an unknown version
// byte even makes it spin), so a header it would misread is refused here.
bool ParadoxTable::Validate(QString* why) {
    auto damaged = [why](const QString& cause) {
        *why = QStringLiteral("damaged table: ") + cause;
        return false;
    };
    const qint64 size = m_file.Size();
    if (size < 0x78) return *why = QStringLiteral("not a Paradox table (file too short)"), false;
    const int headRead = int(std::min<qint64>(size, 0x10000));
    QByteArray headBytes(headRead, 0);
    if (m_file.Read(0, headBytes.data(), headRead) != headRead)
        return *why = QStringLiteral("read error"), false;
    const auto* h = reinterpret_cast<const unsigned char*>(headBytes.constData());
    const int recSize = U16(h);
    const int headSize = U16(h + 2);
    const int fileType = h[4];
    const int blockKb = h[5];
    const qint64 numRecords = U32(h + 6);
    const int fileBlocks = U16(h + 0x0C);
    const int firstBlock = U16(h + 0x0E);
    const int numFields = U16(h + 0x21);
    const int version = h[0x39];
    if (fileType != pxfFileTypIndexDB && fileType != pxfFileTypNonIndexDB)
        return *why = QStringLiteral("not a Paradox data table (file type %1)").arg(fileType),
               false;
    // 3 and 4: level 3; 5 to 9: level 4; 10, 11: level 5; 12: level 7.
    if (version < 3 || version > 12)
        return damaged(QStringLiteral("unknown version %1 in the header").arg(version));
    if (blockKb != 1 && blockKb != 2 && blockKb != 3 && blockKb != 4 && blockKb != 8 &&
        blockKb != 16 && blockKb != 32)
        return damaged(QStringLiteral("block size %1 KB").arg(blockKb));
    if (numFields < 1 || numFields > 255)
        return damaged(QStringLiteral("%1 fields").arg(numFields));
    // Password-protected tables are not supported (and a damaged byte here
    // would make pxlib "decrypt" every block).
    const qint64 enc1 = U32(h + 0x25);
    const qint64 enc2 = version >= 5 ? U32(h + 0x5C) : 0;
    if ((enc1 != 0 && enc1 != 0xFF00FF00) || enc2 != 0)
        return *why = QStringLiteral("encrypted table"), false;
    const int infoAt = version >= 5 ? 0x78 : 0x58;
    if (infoAt + 2 * numFields > headSize || headSize > size)
        return damaged(QStringLiteral("header size %1").arg(headSize));
    int sum = 0;
    for (int i = 0; i < numFields; ++i) {
        const int type = h[infoAt + 2 * i];
        const int len = h[infoAt + 2 * i + 1];
        if (!KnownPxType(type) || len == 0)
            return damaged(
                QStringLiteral("field %1 has type %2, length %3").arg(i + 1).arg(type).arg(len));
        sum += len;
    }
    const int blockSize = blockKb * 1024;
    if (sum != recSize || recSize <= 0 || recSize > blockSize - 6)
        return damaged(QStringLiteral("record size %1 disagrees with the fields (%2 bytes)")
                           .arg(recSize)
                           .arg(sum));
    // The field names follow the type list, the table name pointer, a
    // pointer per field and the table name (79 bytes, 261 from level 7 on):
    // where the version byte puts them, each must be there.
    int at = infoAt + 2 * numFields + 4 + 4 * numFields + (version >= 12 ? 261 : 79);
    const int namesEnd = std::min(headSize, headRead);
    for (int i = 0; i < numFields; ++i) {
        const int start = at;
        while (at < namesEnd && h[at] != 0)
            ++at;
        if (at >= namesEnd || at == start)
            return damaged(QStringLiteral("no name of field %1 where version %2 puts it")
                               .arg(i + 1)
                               .arg(version));
        ++at;
    }
    if (qint64(headSize) + qint64(fileBlocks) * blockSize > size)
        return damaged(QStringLiteral("file shorter than its %1 blocks").arg(fileBlocks));
    const qint64 perBlock = (blockSize - 6) / recSize;
    if (numRecords > qint64(fileBlocks) * perBlock)
        return damaged(
            QStringLiteral("%1 rows cannot fit in %2 blocks").arg(numRecords).arg(fileBlocks));
    if (fileBlocks > 0 && firstBlock == 0) return damaged(QStringLiteral("block chain"));
    std::vector<bool> seen(size_t(fileBlocks) + 1, false);
    m_emptyBlocks = false;
    qint64 total = 0;
    int block = firstBlock;
    for (int steps = 0; steps < fileBlocks && block > 0; ++steps) {
        if (block > fileBlocks || seen[size_t(block)])
            return damaged(QStringLiteral("block chain"));
        seen[size_t(block)] = true;
        unsigned char b[6];
        if (m_file.Read(headSize + qint64(block - 1) * blockSize, b, 6) != 6)
            return *why = QStringLiteral("read error"), false;
        const int add = S16(b + 4);
        if (add < -recSize || add > blockSize - 6 - recSize || (add + recSize) % recSize != 0)
            return damaged(QStringLiteral("block %1").arg(block));
        total += (add + recSize) / recSize;
        if (add == -recSize) m_emptyBlocks = true;
        block = U16(b);
    }
    if (total != numRecords)
        return damaged(
            QStringLiteral("header counts %1 rows, blocks hold %2").arg(numRecords).arg(total));
    return true;
}

bool ParadoxTable::OpenHandle() {
    FILE* fp = std::fopen(QFile::encodeName(m_path).constData(), "rb");
    if (!fp) return LoadFailed(QStringLiteral("cannot open file"));
    m_pxError.clear();
    m_doc = PX_new3(&ParadoxTable::HookError, nullptr, nullptr, nullptr, this);
    if (!m_doc || PX_open_fp(m_doc, fp) < 0) {
        const QString cause = PxCause(QStringLiteral("pxlib cannot read the header"));
        if (m_doc) PX_delete(m_doc);
        m_doc = nullptr;
        std::fclose(fp);
        return LoadFailed(cause);
    }
    std::fclose(fp);
    // From here on every read and write goes through the TxFile.
    m_doc->px_stream->s.fp = nullptr;
    m_doc->read = m_doc->px_stream->read = &ParadoxTable::HookRead;
    m_doc->seek = m_doc->px_stream->seek = &ParadoxTable::HookSeek;
    m_doc->tell = m_doc->px_stream->tell = &ParadoxTable::HookTell;
    m_doc->write = m_doc->px_stream->write = &ParadoxTable::HookWrite;
    m_doc->px_stream->mode = pxfFileRead | pxfFileWrite;

    const pxhead_t* head = m_doc->px_head;
    m_fields.clear();
    m_offsets.clear();
    m_lens.clear();
    m_pxTypes.clear();
    int off = 0;
    for (int i = 0; i < head->px_numfields; ++i) {
        const pxfield_t& f = head->px_fields[i];
        const FieldType type = FromPx(f.px_ftype);
        const QByteArray name(f.px_fname ? f.px_fname : "");
        m_fields.append({Codec::FromCp1251(name), type, type == FieldType::String ? f.px_flen : 0});
        m_offsets.push_back(off);
        m_lens.push_back(f.px_flen);
        m_pxTypes.push_back(f.px_ftype);
        off += f.px_flen;
    }
    m_recSize = head->px_recordsize;
    m_keyFields = head->px_primarykeyfields;
    // What pxlib made of the header must be what was checked: every field
    // inside the record.
    if (off != m_recSize || m_recSize <= 0)
        return LoadFailed(
            QStringLiteral("damaged table: the fields take %1 bytes of a %2-byte record")
                .arg(off)
                .arg(m_recSize));
    m_rowsLoaded = false;
    m_rows.clear();
    return true;
}

void ParadoxTable::CloseHandle() {
    if (m_doc) PX_delete(m_doc);
    m_combinedAt = -1; // what pxlib wrote on its way out has no transaction
    m_combinedLen = 0;
    m_doc = nullptr;
    m_rowsLoaded = false;
    m_rows.clear();
}

bool ParadoxTable::RawRow(int recno, QByteArray& raw) {
    if (!LoadRows()) return false;
    if (recno < 0 || recno >= int(m_rows.size()))
        return Fail(QStringLiteral("no row %1").arg(recno));
    raw = m_rows[size_t(recno)];
    return true;
}

// Rows in block-chain order, read block by block. (pxlib's own record lookup
// miscounts a block left empty by deletions.)
bool ParadoxTable::LoadRows() {
    if (m_rowsLoaded) return true;
    const pxhead_t* h = m_doc->px_head;
    const qint64 blockSize = qint64(h->px_maxtablesize) * 1024;
    std::vector<QByteArray> rows;
    rows.reserve(size_t(std::max(h->px_numrecords, 0)));
    int block = int(h->px_firstblock);
    for (int steps = 0; steps < int(h->px_fileblocks) && block > 0; ++steps) {
        const qint64 at = h->px_headersize + qint64(block - 1) * blockSize;
        unsigned char head[6];
        if (m_file.Read(at, head, 6) != 6)
            return Fail(QStringLiteral("cannot read block %1").arg(block));
        const int count = (S16(head + 4) + m_recSize) / m_recSize;
        if (count < 0 || qint64(count) * m_recSize > blockSize - 6)
            return Fail(QStringLiteral("damaged block %1").arg(block));
        QByteArray data(count * m_recSize, 0);
        if (m_file.Read(at + 6, data.data(), data.size()) != data.size())
            return Fail(QStringLiteral("cannot read block %1").arg(block));
        for (int i = 0; i < count; ++i)
            rows.push_back(data.mid(i * m_recSize, m_recSize));
        block = U16(head);
    }
    if (int(rows.size()) != h->px_numrecords)
        return Fail(QStringLiteral("damaged table (header counts %1 rows, blocks hold %2)")
                        .arg(h->px_numrecords)
                        .arg(rows.size()));
    m_rows = std::move(rows);
    m_rowsLoaded = true;
    return true;
}

QVariant ParadoxTable::Decode(int field, const QByteArray& row) const {
    const int len = m_lens[size_t(field)];
    if (field < 0 || size_t(field) >= m_offsets.size() ||
        m_offsets[size_t(field)] + len > row.size())
        return {};
    const char* p = row.constData() + m_offsets[size_t(field)];
    // pxlib misreads blanks on 64-bit systems: a blank is all zero bytes.
    bool blank = true;
    for (int i = 0; i < len && blank; ++i)
        blank = p[i] == 0;
    if (blank) return {};
    char buf[8] = {};
    std::memcpy(buf, p, size_t(std::min(len, 8)));
    switch (m_pxTypes[size_t(field)]) {
    case pxfLong:
    case pxfAutoInc: {
        long v = 0;
        PX_get_data_long(m_doc, buf, 4, &v);
        return qint64(v);
    }
    case pxfShort: {
        short v = 0;
        PX_get_data_short(m_doc, buf, 2, &v);
        return qint64(v);
    }
    case pxfDate: {
        long v = 0;
        PX_get_data_long(m_doc, buf, 4, &v);
        return DateFromOrdinal(v);
    }
    case pxfTime: {
        long v = 0;
        PX_get_data_long(m_doc, buf, 4, &v);
        return QTime::fromMSecsSinceStartOfDay(int(((v % kMsPerDay) + kMsPerDay) % kMsPerDay));
    }
    case pxfTimestamp: {
        double v = 0;
        PX_get_data_double(m_doc, buf, 8, &v);
        const qint64 ms = qint64(v);
        return QDateTime(DateFromOrdinal(ms / kMsPerDay),
                         QTime::fromMSecsSinceStartOfDay(int(ms % kMsPerDay)));
    }
    case pxfNumber:
    case pxfCurrency: {
        double v = 0;
        PX_get_data_double(m_doc, buf, 8, &v);
        return v;
    }
    case pxfAlpha: {
        const int n = int(qstrnlen(p, size_t(len)));
        return Codec::FromCp1251(p, n);
    }
    default:
        return {};
    }
}

bool ParadoxTable::DoRead(int recno, QVariantList& row) {
    QByteArray raw;
    if (!RawRow(recno, raw)) return false;
    row.clear();
    for (int i = 0; i < m_fields.size(); ++i)
        row.append(Decode(i, raw));
    return true;
}

void ParadoxTable::EncodeField(int field, const QVariant& v, char* out) const {
    const int len = m_lens[size_t(field)];
    std::memset(out, 0, size_t(len));
    if (v.isNull() || !v.isValid()) return;
    switch (m_pxTypes[size_t(field)]) {
    case pxfLong:
        PX_put_data_long(m_doc, out, 4, int(v.toLongLong()));
        break;
    case pxfShort:
        PX_put_data_short(m_doc, out, 2, short(v.toLongLong()));
        break;
    case pxfDate:
        PX_put_data_long(m_doc, out, 4, int(DateOrdinal(v.toDate())));
        break;
    case pxfTime:
        PX_put_data_long(m_doc, out, 4, v.toTime().msecsSinceStartOfDay());
        break;
    case pxfTimestamp: {
        const QDateTime t = v.toDateTime();
        PX_put_data_double(
            m_doc, out, 8,
            double(DateOrdinal(t.date()) * kMsPerDay + t.time().msecsSinceStartOfDay()));
        break;
    }
    case pxfNumber:
        PX_put_data_double(m_doc, out, 8, v.toDouble());
        break;
    case pxfAlpha: {
        // pxlib writes past the field for an over-long string: cut it first.
        QByteArray b = Codec::ToCp1251(v.toString()).left(len);
        PX_put_data_alpha(m_doc, out, len, b.data());
        break;
    }
    default:
        break;
    }
}

QByteArray ParadoxTable::EncodeRow(const QVariantList& values) const {
    QByteArray raw(m_recSize, 0);
    for (int i = 0; i < m_fields.size(); ++i)
        EncodeField(i, values.value(i), raw.data() + m_offsets[size_t(i)]);
    return raw;
}

bool ParadoxTable::DoLocate(const QList<int>& fields, const QVariantList& values, int& recno) {
    if (!LoadRows()) return false;
    std::vector<QByteArray> keys;
    for (int i = 0; i < fields.size(); ++i) {
        QByteArray k(m_lens[size_t(fields[i])], 0);
        EncodeField(fields[i], values[i], k.data());
        keys.push_back(std::move(k));
    }
    // A cheap first test: the last byte of the first field's key (for a
    // stored number its lowest byte, which differs most between rows).
    const int probeAt =
        fields.isEmpty() ? -1 : m_offsets[size_t(fields[0])] + int(keys[0].size()) - 1;
    const char probe = probeAt >= 0 ? keys[0].back() : 0;
    for (size_t r = 0; r < m_rows.size(); ++r) {
        const char* raw = m_rows[r].constData();
        if (probeAt >= 0 && raw[probeAt] != probe) continue;
        bool match = true;
        for (int i = 0; i < fields.size() && match; ++i)
            match = std::memcmp(raw + m_offsets[size_t(fields[i])], keys[size_t(i)].constData(),
                                size_t(keys[size_t(i)].size())) == 0;
        if (match) {
            recno = int(r);
            return true;
        }
    }
    return false;
}

bool ParadoxTable::Insert(const QVariantList& values, int& recno) {
    PxValues pv(m_pxTypes, m_lens, values);
    m_ioError = false;
    m_pxError.clear();
    const int r = PX_insert_record(m_doc, pv.ptrs.data());
    FlushWrites();
    if (r < 0 || m_ioError) {
        m_stale = true;
        return Fail(PxCause(QStringLiteral("cannot insert the row")));
    }
    recno = r;
    if (m_emptyBlocks) {
        m_rowsLoaded = false;
        recno = -1;
    } else if (m_rowsLoaded) {
        QByteArray raw(m_recSize, 0);
        if (r <= int(m_rows.size()) && PX_get_record(m_doc, r, raw.data()) &&
            raw == EncodeRow(values))
            m_rows.insert(m_rows.begin() + r, raw);
        else
            m_rowsLoaded = false;
    }
    return true;
}

bool ParadoxTable::DoAppend(const QVariantList& values, int& recno) {
    if (m_keyFields > 0) {
        if (!LoadRows()) return false;
        std::vector<QByteArray> rows = m_rows;
        const QByteArray raw = EncodeRow(values);
        rows.push_back(raw);
        return RewriteKeyed(std::move(rows), raw, recno);
    }
    return Change([&] { return Insert(values, recno); });
}

bool ParadoxTable::DoUpdate(int& recno, const QVariantList& values) {
    if (m_keyFields > 0) {
        if (!LoadRows()) return false;
        if (recno < 0 || recno >= int(m_rows.size()))
            return Fail(QStringLiteral("no row %1").arg(recno));
        std::vector<QByteArray> rows = m_rows;
        const QByteArray raw = EncodeRow(values);
        rows[size_t(recno)] = raw;
        return RewriteKeyed(std::move(rows), raw, recno);
    }
    if (m_emptyBlocks)
        return Fail(
            QStringLiteral("table has an empty data block; it can only be read and appended to"));
    return Change([&] {
        PxValues pv(m_pxTypes, m_lens, values);
        const QByteArray raw = EncodeRow(values);
        m_ioError = false;
        m_pxError.clear();
        const int r = PX_update_record(m_doc, pv.ptrs.data(), recno);
        FlushWrites();
        if (r < 0 || m_ioError) {
            m_stale = true;
            return Fail(PxCause(QStringLiteral("cannot update row %1").arg(recno)));
        }
        if (m_rowsLoaded) m_rows[size_t(recno)] = raw;
        return true;
    });
}

bool ParadoxTable::DoDelete(int recno) {
    if (m_keyFields > 0) {
        if (!LoadRows()) return false;
        if (recno < 0 || recno >= int(m_rows.size()))
            return Fail(QStringLiteral("no row %1").arg(recno));
        std::vector<QByteArray> rows = m_rows;
        rows.erase(rows.begin() + recno);
        int dummy = -1;
        return RewriteKeyed(std::move(rows), QByteArray(), dummy);
    }
    if (m_emptyBlocks)
        return Fail(
            QStringLiteral("table has an empty data block; it can only be read and appended to"));
    return Change([&] {
        m_ioError = false;
        m_pxError.clear();
        const int last = PX_get_num_records(m_doc) - 1;
        if (recno < 0 || recno > last) return Fail(QStringLiteral("no row %1").arg(recno));
        // The last row takes the deleted row's place and is removed from the
        // end of the last block: no block is ever left empty inside the chain.
        if (recno != last) {
            QByteArray lastRaw;
            if (!RawRow(last, lastRaw)) return false;
            QByteArray tmp(m_recSize, 0);
            pxdatablockinfo_t info{};
            int deleted = 0;
            if (!PX_get_record2(m_doc, recno, tmp.data(), &deleted, &info) || m_ioError)
                return Fail(PxCause(QStringLiteral("cannot find row %1").arg(recno)));
            if (!m_file.Write(info.recordpos, lastRaw.constData(), m_recSize))
                return Fail(QStringLiteral("write error"));
        }
        // Returns the rows left in the block, not 0.
        const int left = PX_delete_record(m_doc, last);
        FlushWrites();
        if (left < 0 || m_ioError) {
            m_stale = true;
            return Fail(PxCause(QStringLiteral("cannot delete row %1").arg(recno)));
        }
        if (left == 0 && !DropLastBlock()) {
            m_stale = true;
            return false;
        }
        if (m_rowsLoaded) {
            if (recno != last) m_rows[size_t(recno)] = m_rows[size_t(last)];
            m_rows.pop_back();
        }
        return true;
    });
}

// Unlinks the (now empty) last block of the chain and cuts it off the file:
// pxlib reads an empty block's row count as 2^16 / record size.
bool ParadoxTable::DropLastBlock() {
    pxhead_t* h = m_doc->px_head;
    const int block = int(h->px_lastblock);
    const qint64 blockSize = qint64(h->px_maxtablesize) * 1024;
    if (block <= 0 || block != int(h->px_fileblocks) || m_doc->px_indexdatalen < 1)
        return Fail(QStringLiteral("cannot drop the empty block %1").arg(block));
    unsigned char head[6];
    if (m_file.Read(h->px_headersize + qint64(block - 1) * blockSize, head, 6) != 6)
        return Fail(QStringLiteral("read error"));
    const int prev = U16(head + 2);
    if (prev > 0) {
        const char zero[2] = {0, 0};
        if (!m_file.Write(h->px_headersize + qint64(prev - 1) * blockSize, zero, 2))
            return Fail(QStringLiteral("write error"));
    }
    h->px_fileblocks -= 1;
    h->px_lastblock = unsigned(prev);
    if (prev == 0) h->px_firstblock = 0;
    m_doc->px_indexdatalen -= 1;
    // pxlib writes the header with the new block counts.
    const QByteArray name(h->px_tablename ? h->px_tablename : "");
    const int named = PX_set_tablename(m_doc, name.constData());
    FlushWrites();
    if (named < 0 || m_ioError) return Fail(PxCause(QStringLiteral("cannot write the header")));
    if (!m_file.Resize(h->px_headersize + qint64(h->px_fileblocks) * blockSize))
        return Fail(QStringLiteral("write error"));
    return true;
}

bool ParadoxTable::BuildFile(const QString& file, const FieldList& fields, int keyFields,
                             const std::vector<QByteArray>& rows, const QString& indexFile) {
    std::vector<PxFieldSpec> pxFields;
    for (const FieldDef& f : fields)
        pxFields.push_back(PxFieldOf(f));
    QString e;
    if (!BuildParadoxFile(file, Codec::ToCp1251(QFileInfo(m_path).fileName()), pxFields, keyFields,
                          rows, indexFile, &e))
        return Fail(e);
    return true;
}

bool ParadoxTable::Create(const FieldList& fields, int keyFields) {
    ClearError();
    if (fields.isEmpty() || fields.size() > 255)
        return Fail(QStringLiteral("a table needs 1 to 255 fields"));
    if (keyFields < 0 || keyFields > fields.size())
        return Fail(QStringLiteral("bad key field count"));
    int recSize = 0;
    for (const FieldDef& f : fields) {
        if (f.name.isEmpty() || f.name.size() > 25)
            return Fail(QStringLiteral("bad field name '%1'").arg(f.name));
        if (f.type == FieldType::Other)
            return Fail(QStringLiteral("field %1 has no storable type").arg(f.name));
        if (f.type == FieldType::String && (f.size < 1 || f.size > 255))
            return Fail(QStringLiteral("field %1: string size must be 1..255").arg(f.name));
        recSize += PxLen(f);
    }
    if (recSize > 4000) return Fail(QStringLiteral("record of %1 bytes is too long").arg(recSize));
    if (m_file.HasStaged()) return Fail(QStringLiteral("table has uncommitted changes"));
    const bool wasOpen = IsOpen();
    const QString tmp = m_path + QStringLiteral(".new~");
    const QString tmpIndex = IndexPath() + QStringLiteral(".new~");
    if (!BuildFile(tmp, fields, keyFields, {}, tmpIndex)) return false;
    Close();
    QString e;
    if (!ReplaceFile(tmp, m_path, &e)) {
        QFile::remove(tmp);
        QFile::remove(tmpIndex);
        return Fail(e);
    }
    if (keyFields > 0) {
        if (!ReplaceFile(tmpIndex, IndexPath(), &e)) return Fail(e);
    } else if (QFileInfo::exists(IndexPath())) {
        QFile::remove(IndexPath());
    }
    m_fields = fields;
    m_keyFields = keyFields;
    return wasOpen ? Open(m_readOnly) : true;
}

bool ParadoxTable::Empty() {
    if (!CheckOpen(true) || !Refresh()) return false;
    return Create(m_fields, m_keyFields);
}

bool ParadoxTable::RewriteKeyed(std::vector<QByteArray> rows, const QByteArray& focus, int& recno) {
    if (m_file.HasStaged() || Transaction::Current())
        return Fail(QStringLiteral("a keyed table is rewritten outside transactions"));
    // Paradox stores numbers big-endian with the sign bit flipped and text as
    // code-page bytes, so byte order of the key prefix is key order.
    int keyLen = 0;
    for (int i = 0; i < m_keyFields; ++i)
        keyLen += m_lens[size_t(i)];
    auto less = [keyLen](const QByteArray& a, const QByteArray& b) {
        return std::memcmp(a.constData(), b.constData(), size_t(keyLen)) < 0;
    };
    std::stable_sort(rows.begin(), rows.end(), less);
    for (size_t i = 1; i < rows.size(); ++i)
        if (!less(rows[i - 1], rows[i])) return Fail(QStringLiteral("key violation"));
    const QString tmp = m_path + QStringLiteral(".new~");
    const QString tmpIndex = IndexPath() + QStringLiteral(".new~");
    const FieldList fields = m_fields;
    const int keys = m_keyFields;
    if (!BuildFile(tmp, fields, keys, rows, tmpIndex)) return false;
    QString e;
    m_file.Close();
    CloseHandle();
    if (!ReplaceFile(tmp, m_path, &e) || !ReplaceFile(tmpIndex, IndexPath(), &e)) {
        m_file.Open(!m_readOnly, nullptr);
        Load();
        return Fail(e);
    }
    if (!m_file.Open(!m_readOnly, &e)) return Fail(e);
    if (!Load()) return false;
    m_rows = std::move(rows);
    m_rowsLoaded = true;
    recno = -1;
    for (size_t i = 0; i < m_rows.size() && !focus.isEmpty(); ++i)
        if (m_rows[i] == focus) recno = int(i);
    return true;
}

} // namespace

PxFieldSpec PxFieldOf(const FieldDef& f) {
    return {Codec::ToCp1251(f.name), ToPx(f.type), PxLen(f)};
}

namespace {
struct BuildErrors {
    QString text;
    static void Hook(pxdoc_t*, int type, const char* msg, void* data) {
        if (type != PX_Warning && data)
            static_cast<BuildErrors*>(data)->text = QString::fromLocal8Bit(msg);
    }
};
} // namespace

bool BuildParadoxFile(const QString& file, const QByteArray& tableName,
                      const std::vector<PxFieldSpec>& fields, int keyFields,
                      const std::vector<QByteArray>& rows, const QString& indexFile, QString* error,
                      const std::function<void(size_t)>& onRow) {
    BuildErrors errors;
    auto fail = [&](const QString& fallback) {
        if (error) *error = errors.text.isEmpty() ? fallback : errors.text;
        return false;
    };
    pxdoc_t* d = PX_new3(&BuildErrors::Hook, nullptr, nullptr, nullptr, &errors);
    if (!d) return fail(QStringLiteral("out of memory"));
    const QByteArray path = QFile::encodeName(file);
    const int n = int(fields.size());
    if (PX_create_file(d, PxFields(d, fields, n), n, path.constData(),
                       keyFields > 0 ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0) {
        PX_delete(d);
        return fail(QStringLiteral("cannot create %1").arg(file));
    }
    bool ok = true;
    d->px_head->px_doscodepage = 1251;
    if (keyFields > 0) ok = PX_set_value(d, "numprimkeys", float(keyFields)) == 0;
    ok = ok && PX_set_tablename(d, tableName.constData()) == 0;
    for (size_t i = 0; i < rows.size() && ok; ++i) {
        QByteArray copy = rows[i];
        ok = PX_put_record(d, copy.data()) >= 0;
        if (ok && onRow) onRow(i + 1);
    }
    if (ok && keyFields > 0) {
        pxdoc_t* pi = PX_new3(&BuildErrors::Hook, nullptr, nullptr, nullptr, &errors);
        const QByteArray ipath = QFile::encodeName(indexFile);
        ok = pi && PX_create_file(pi, PxFields(pi, fields, keyFields), keyFields, ipath.constData(),
                                  pxfFileTypPrimIndex) == 0;
        if (ok) {
            pi->px_head->px_doscodepage = 1251;
            ok = PX_write_primary_index(d, pi) == 0;
        }
        if (pi) PX_delete(pi);
    }
    PX_delete(d);
    if (!ok) {
        QFile::remove(file);
        if (keyFields > 0) QFile::remove(indexFile);
        return fail(QStringLiteral("cannot write %1").arg(file));
    }
    return true;
}

std::unique_ptr<Table> MakeParadoxTable(const QString& path) {
    return std::make_unique<ParadoxTable>(path);
}

} // namespace tables
