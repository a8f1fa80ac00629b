// dBASE tables over shapelib's DBF API, with its file I/O routed through a
// TxFile (see TxFile.h). Deleted records (marked '*') are skipped.
#include "tables/TableImpl.h"

#include "platform/Clock.h"
#include "platform/Codec.h"

#include <cstring>
#include <functional>
#include <vector>

#include <shapefil.h>

namespace tables {

namespace {

class DbfTable;

// Shapelib's hooks carry no user pointer: the table in a shapelib call is
// noted here, and a file handle points back to its table.
DbfTable* g_active = nullptr;

struct Handle {
    TxFile* file;
    qint64 pos;
};

class DbfTable final : public FileTable {
public:
    explicit DbfTable(const QString& path) : FileTable(path) {
        SASetupDefaultHooks(&m_hooks);
        m_hooks.FOpen = &DbfTable::HookOpen;
        m_hooks.FRead = &DbfTable::HookRead;
        m_hooks.FWrite = &DbfTable::HookWrite;
        m_hooks.FSeek = &DbfTable::HookSeek;
        m_hooks.FTell = &DbfTable::HookTell;
        m_hooks.FFlush = &DbfTable::HookFlush;
        m_hooks.FClose = &DbfTable::HookClose;
        m_hooks.Error = &DbfTable::HookError;
        m_hooks.Atof = &DbfTable::HookAtof;
    }
    ~DbfTable() override { Close(); }

    bool Create(const FieldList& fields, int keyFields) override;
    bool Empty() override;

protected:
    int DoRecordCount() override { return int(m_phys.size()); }
    bool DoRead(int recno, QVariantList& row) override;
    bool DoLocate(const QList<int>& fields, const QVariantList& values, int& recno) override;
    bool DoAppend(const QVariantList& values, int& recno) override;
    bool DoUpdate(int& recno, const QVariantList& values) override;
    bool DoDelete(int recno) override;
    bool Validate(QString* why) override;
    bool OpenHandle() override;
    void CloseHandle() override;
    bool HasHandle() const override { return m_h != nullptr; }

private:
    struct Active {
        DbfTable* prev;
        explicit Active(DbfTable* t) : prev(g_active) {
            g_active = t;
            t->m_libError.clear();
        }
        ~Active() { g_active = prev; }
    };

    static SAFile HookOpen(const char* name, const char* access);
    static SAOffset HookRead(void* p, SAOffset size, SAOffset n, SAFile f);
    static SAOffset HookWrite(void* p, SAOffset size, SAOffset n, SAFile f);
    static SAOffset HookSeek(SAFile f, SAOffset off, int whence);
    static SAOffset HookTell(SAFile f);
    static int HookFlush(SAFile) { return 0; }
    static int HookClose(SAFile f);
    static void HookError(const char* msg);
    static double HookAtof(const char* s) { return QByteArray(s).trimmed().toDouble(); }

    QVariant Decode(int field, const char* rec) const;
    bool WriteRecord(int phys, const QVariantList& values, bool fresh);
    bool Commit(const std::function<bool()>& op);

    SAHooks m_hooks{};
    DBFHandle m_h = nullptr;
    bool m_ioError = false;
    QString m_libError;
    std::vector<char> m_types;
    std::vector<int> m_widths;
    std::vector<int> m_decimals;
    std::vector<int> m_offsets;
    std::vector<int> m_phys; // physical record of each live row
};

// The only file shapelib opens through these hooks is the table itself (it
// also asks for a ".cpg" side file, which is reported missing).
SAFile DbfTable::HookOpen(const char* name, const char* access) {
    if (!g_active || !g_active->m_file.IsOpen()) return nullptr;
    const QString n = QString::fromLocal8Bit(name);
    if (!n.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive)) return nullptr;
    if (std::strchr(access, 'w')) return nullptr;
    return reinterpret_cast<SAFile>(new Handle{&g_active->m_file, 0});
}

SAOffset DbfTable::HookRead(void* p, SAOffset size, SAOffset n, SAFile f) {
    auto* h = reinterpret_cast<Handle*>(f);
    if (size == 0 || n == 0 || !h->file) return 0;
    const qint64 want = qint64(size * n);
    const qint64 got = h->file->Read(h->pos, p, want);
    if (got < 0) {
        if (g_active) g_active->m_ioError = true;
        return 0;
    }
    h->pos += got;
    return SAOffset(got) / size;
}

SAOffset DbfTable::HookWrite(void* p, SAOffset size, SAOffset n, SAFile f) {
    auto* h = reinterpret_cast<Handle*>(f);
    const qint64 len = qint64(size * n);
    if (!h->file) return n;
    if (!h->file->Write(h->pos, p, len)) {
        if (g_active) g_active->m_ioError = true;
        return 0;
    }
    h->pos += len;
    return n;
}

SAOffset DbfTable::HookSeek(SAFile f, SAOffset off, int whence) {
    auto* h = reinterpret_cast<Handle*>(f);
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = h->pos;
    else if (whence == SEEK_END)
        base = h->file ? h->file->Size() : 0;
    h->pos = base + qint64(off);
    return 0;
}

SAOffset DbfTable::HookTell(SAFile f) {
    return SAOffset(reinterpret_cast<Handle*>(f)->pos);
}

int DbfTable::HookClose(SAFile f) {
    delete reinterpret_cast<Handle*>(f);
    return 0;
}

void DbfTable::HookError(const char* msg) {
    if (g_active) g_active->m_libError = QString::fromLocal8Bit(msg);
}

bool DbfTable::Validate(QString* why) {
    const qint64 size = m_file.Size();
    unsigned char h[32];
    if (size < 33 || m_file.Read(0, h, 32) != 32)
        return *why = QStringLiteral("not a dBASE table (file too short)"), false;
    const qint64 records =
        qint64(h[4]) | qint64(h[5]) << 8 | qint64(h[6]) << 16 | qint64(h[7]) << 24;
    const int headLen = h[8] | h[9] << 8;
    const int recLen = h[10] | h[11] << 8;
    if (headLen < 33 || headLen > size || recLen < 1)
        return *why = QStringLiteral("damaged dBASE header"), false;
    int sum = 1;
    int fields = 0;
    for (qint64 at = 32; at + 32 <= headLen; at += 32) {
        unsigned char d[32];
        if (m_file.Read(at, d, 32) != 32) return *why = QStringLiteral("read error"), false;
        if (d[0] == 0x0D) break;
        sum += d[16];
        ++fields;
    }
    if (fields == 0 || sum != recLen)
        return *why = QStringLiteral("damaged dBASE field list"), false;
    if (qint64(headLen) + records * recLen > size)
        return *why = QStringLiteral("damaged table (header counts %1 rows, file is shorter)")
                          .arg(records),
               false;
    return true;
}

bool DbfTable::OpenHandle() {
    Active a(this);
    m_h = DBFOpenLL(QFile::encodeName(m_path).constData(), m_readOnly ? "rb" : "rb+", &m_hooks);
    if (!m_h)
        return LoadFailed(m_libError.isEmpty() ? QStringLiteral("shapelib cannot read the header")
                                               : m_libError);
    m_fields.clear();
    m_types.clear();
    m_widths.clear();
    m_decimals.clear();
    m_offsets.clear();
    const int n = DBFGetFieldCount(m_h);
    int off = 1;
    for (int i = 0; i < n; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0;
        int dec = 0;
        DBFGetFieldInfo(m_h, i, name, &width, &dec);
        const char t = DBFGetNativeFieldType(m_h, i);
        FieldType type = FieldType::Other;
        if (t == 'C')
            type = FieldType::String;
        else if ((t == 'N' || t == 'F') && dec == 0)
            type = width <= 6    ? FieldType::Smallint
                   : width <= 11 ? FieldType::Integer
                                 : FieldType::Float;
        else if (t == 'N' || t == 'F')
            type = FieldType::Float;
        else if (t == 'D')
            type = FieldType::Date;
        m_fields.append(
            {Codec::FromCp1251(QByteArray(name)), type, type == FieldType::String ? width : 0});
        m_types.push_back(t);
        m_widths.push_back(width);
        m_decimals.push_back(dec);
        m_offsets.push_back(off);
        off += width;
    }
    m_keyFields = 0;
    m_phys.clear();
    const int records = DBFGetRecordCount(m_h);
    m_phys.reserve(size_t(records));
    for (int i = 0; i < records; ++i) {
        const char* rec = DBFReadTuple(m_h, i);
        if (!rec) return LoadFailed(QStringLiteral("cannot read row %1").arg(i));
        if (rec[0] != '*') m_phys.push_back(i);
    }
    return true;
}

void DbfTable::CloseHandle() {
    if (!m_h) return;
    // Everything was committed when it was written: shapelib's closing
    // writes (the header once more) go nowhere.
    reinterpret_cast<Handle*>(m_h->fp)->file = nullptr;
    Active a(this);
    DBFClose(m_h);
    m_h = nullptr;
    m_phys.clear();
}

QVariant DbfTable::Decode(int field, const char* rec) const {
    const QByteArray raw(rec + m_offsets[size_t(field)], m_widths[size_t(field)]);
    switch (m_types[size_t(field)]) {
    case 'C': {
        QByteArray s = raw;
        while (!s.isEmpty() && s.endsWith(' '))
            s.chop(1);
        if (s.isEmpty()) return {};
        return Codec::FromCp1251(s);
    }
    case 'N':
    case 'F': {
        const QByteArray t = raw.trimmed();
        if (t.isEmpty() || t.startsWith('*')) return {};
        bool ok = false;
        if (m_fields[field].type == FieldType::Float) {
            const double d = t.toDouble(&ok);
            return ok ? QVariant(d) : QVariant();
        }
        const qint64 v = t.toLongLong(&ok);
        return ok ? QVariant(v) : QVariant();
    }
    case 'D': {
        const QDate d =
            QDate::fromString(QString::fromLatin1(raw.trimmed()), QStringLiteral("yyyyMMdd"));
        return d.isValid() ? QVariant(d) : QVariant();
    }
    default:
        return {};
    }
}

bool DbfTable::DoRead(int recno, QVariantList& row) {
    if (recno < 0 || recno >= int(m_phys.size()))
        return Fail(QStringLiteral("no row %1").arg(recno));
    Active a(this);
    const char* rec = DBFReadTuple(m_h, m_phys[size_t(recno)]);
    if (!rec) return Fail(QStringLiteral("cannot read row %1").arg(recno));
    row.clear();
    for (int i = 0; i < m_fields.size(); ++i)
        row.append(Decode(i, rec));
    return true;
}

bool DbfTable::DoLocate(const QList<int>& fields, const QVariantList& values, int& recno) {
    QVariantList row;
    for (int r = 0; r < int(m_phys.size()); ++r) {
        if (!DoRead(r, row)) return false;
        bool match = true;
        for (int i = 0; i < fields.size() && match; ++i) {
            const FieldType t = m_fields[fields[i]].type;
            match = ValueText(row[fields[i]], t) == ValueText(values[i], t);
        }
        if (match) {
            recno = r;
            return true;
        }
    }
    return false;
}

// Fills a record (a fresh one starts blank: spaces) and writes it with the
// header, so the record count and the row reach the file together.
bool DbfTable::WriteRecord(int phys, const QVariantList& values, bool fresh) {
    Active a(this);
    m_ioError = false;
    bool wrote = false;
    for (int i = 0; i < m_fields.size(); ++i) {
        const QVariant& v = values.value(i);
        const int width = m_widths[size_t(i)];
        QByteArray text;
        if (v.isNull() || !v.isValid()) {
            if (fresh) continue;
            text = QByteArray(width, ' ');
        } else {
            switch (m_types[size_t(i)]) {
            case 'C':
                text = Codec::ToCp1251(v.toString()).left(width);
                break;
            case 'N':
            case 'F':
                text = m_decimals[size_t(i)] > 0
                           ? QByteArray::number(v.toDouble(), 'f', m_decimals[size_t(i)])
                           : QByteArray::number(v.toLongLong());
                if (text.size() > width)
                    return Fail(QStringLiteral("field %1: value %2 does not fit %3 characters")
                                    .arg(m_fields[i].name, QString::fromLatin1(text))
                                    .arg(width));
                break;
            case 'D':
                text = v.toDate().toString(QStringLiteral("yyyyMMdd")).toLatin1();
                break;
            default:
                return Fail(QStringLiteral("field %1 has a type this program does not write")
                                .arg(m_fields[i].name));
            }
        }
        // Strings are padded on the right, numbers on the left.
        const bool left = m_types[size_t(i)] == 'N' || m_types[size_t(i)] == 'F';
        text = left ? text.rightJustified(width, ' ') : text.leftJustified(width, ' ');
        if (!DBFWriteAttributeDirectly(m_h, phys, i, text.data()))
            return Fail(m_libError.isEmpty()
                            ? QStringLiteral("cannot write field %1").arg(m_fields[i].name)
                            : m_libError);
        wrote = true;
    }
    if (!wrote) {
        QByteArray blank(m_widths[0], ' ');
        if (!DBFWriteAttributeDirectly(m_h, phys, 0, blank.data()))
            return Fail(QStringLiteral("cannot write the row"));
    }
    const QDate today = Clock::Now().date();
    DBFSetLastModifiedDate(m_h, today.year() - 1900, today.month(), today.day());
    DBFUpdateHeader(m_h);
    if (m_ioError) return Fail(QStringLiteral("write error"));
    return true;
}

// A failed change leaves shapelib's view of the file behind: read it again.
bool DbfTable::Commit(const std::function<bool()>& op) {
    if (Change(op)) return true;
    m_stale = true;
    return false;
}

bool DbfTable::DoAppend(const QVariantList& values, int& recno) {
    const int phys = DBFGetRecordCount(m_h);
    if (!Commit([&] { return WriteRecord(phys, values, true); })) return false;
    m_phys.push_back(phys);
    recno = int(m_phys.size()) - 1;
    return true;
}

bool DbfTable::DoUpdate(int& recno, const QVariantList& values) {
    if (recno < 0 || recno >= int(m_phys.size()))
        return Fail(QStringLiteral("no row %1").arg(recno));
    return Commit([&] { return WriteRecord(m_phys[size_t(recno)], values, false); });
}

bool DbfTable::DoDelete(int recno) {
    if (recno < 0 || recno >= int(m_phys.size()))
        return Fail(QStringLiteral("no row %1").arg(recno));
    const int phys = m_phys[size_t(recno)];
    if (!Commit([&] {
            Active a(this);
            if (!DBFMarkRecordDeleted(m_h, phys, 1))
                return Fail(QStringLiteral("cannot delete row %1").arg(recno));
            DBFUpdateHeader(m_h);
            return !m_ioError;
        }))
        return false;
    m_phys.erase(m_phys.begin() + recno);
    return true;
}

bool DbfTable::Create(const FieldList& fields, int keyFields) {
    ClearError();
    if (keyFields != 0) return Fail(QStringLiteral("dBASE tables have no primary key"));
    if (fields.isEmpty()) return Fail(QStringLiteral("a table needs fields"));
    if (m_file.HasStaged()) return Fail(QStringLiteral("table has uncommitted changes"));
    const QString tmp = m_path + QStringLiteral(".new~.dbf");
    DBFHandle h = DBFCreateEx(QFile::encodeName(tmp).constData(), "LDID/201");
    if (!h) return Fail(QStringLiteral("cannot create %1").arg(tmp));
    bool ok = true;
    QString cause;
    for (const FieldDef& f : fields) {
        const QByteArray name = Codec::ToCp1251(f.name);
        if (name.isEmpty() || name.size() > XBASE_FLDNAME_LEN_WRITE) {
            cause = QStringLiteral("field name '%1' must have 1..10 characters").arg(f.name);
            ok = false;
            break;
        }
        int r = -1;
        switch (f.type) {
        case FieldType::String:
            if (f.size < 1 || f.size > 254)
                cause = QStringLiteral("field %1: string size must be 1..254").arg(f.name);
            else
                r = DBFAddNativeFieldType(h, name.constData(), 'C', f.size, 0);
            break;
        case FieldType::Smallint:
            r = DBFAddNativeFieldType(h, name.constData(), 'N', 6, 0);
            break;
        case FieldType::Integer:
            r = DBFAddNativeFieldType(h, name.constData(), 'N', 11, 0);
            break;
        case FieldType::Float:
            r = DBFAddNativeFieldType(h, name.constData(), 'N', 20, 6);
            break;
        case FieldType::Date:
            r = DBFAddNativeFieldType(h, name.constData(), 'D', 8, 0);
            break;
        default:
            cause = QStringLiteral("dBASE tables have no %1 field (%2)")
                        .arg(FieldTypeName(f.type), f.name);
            break;
        }
        if (r < 0) {
            if (cause.isEmpty()) cause = QStringLiteral("cannot add field %1").arg(f.name);
            ok = false;
            break;
        }
    }
    const QDate today = Clock::Now().date();
    DBFSetLastModifiedDate(h, today.year() - 1900, today.month(), today.day());
    DBFClose(h);
    if (!ok) {
        QFile::remove(tmp);
        return Fail(cause);
    }
    const bool wasOpen = IsOpen();
    Close();
    QString e;
    if (!ReplaceFile(tmp, m_path, &e)) {
        QFile::remove(tmp);
        return Fail(e);
    }
    m_fields = fields;
    return wasOpen ? Open(m_readOnly) : true;
}

bool DbfTable::Empty() {
    if (!CheckOpen(true) || !Refresh()) return false;
    const int headLen = m_h->nHeaderLength;
    QString e;
    const bool ok = RunChange(m_file, JournalDir(), &e, [&] {
        static const char zero[4] = {0, 0, 0, 0};
        static const char eof = 0x1A;
        return m_file.Write(4, zero, 4) && m_file.Resize(headLen) && m_file.Write(headLen, &eof, 1);
    });
    m_stale = true;
    if (!ok) return Fail(e.isEmpty() ? QStringLiteral("cannot empty the table") : e);
    ForgetCurrent();
    return Refresh();
}

} // namespace

std::unique_ptr<Table> MakeDbfTable(const QString& path) {
    return std::make_unique<DbfTable>(path);
}

} // namespace tables
