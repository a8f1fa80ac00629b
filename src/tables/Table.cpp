#include "tables/Table.h"

#include "tables/TableImpl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <filesystem>
#include <system_error>

namespace tables {

QString FieldTypeName(FieldType type) {
    switch (type) {
    case FieldType::Integer:
        return QStringLiteral("Integer");
    case FieldType::Smallint:
        return QStringLiteral("Smallint");
    case FieldType::Float:
        return QStringLiteral("Float");
    case FieldType::Date:
        return QStringLiteral("Date");
    case FieldType::Time:
        return QStringLiteral("Time");
    case FieldType::DateTime:
        return QStringLiteral("DateTime");
    case FieldType::String:
        return QStringLiteral("String");
    case FieldType::Other:
        break;
    }
    return QStringLiteral("Other");
}

QString ValueText(const QVariant& v, FieldType type) {
    if (v.isNull() || !v.isValid()) return {};
    switch (type) {
    case FieldType::Integer:
    case FieldType::Smallint:
        return QString::number(v.toLongLong());
    case FieldType::Float:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case FieldType::Date:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case FieldType::Time:
        return v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case FieldType::DateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case FieldType::String:
    case FieldType::Other:
        break;
    }
    return v.toString();
}

bool ReplaceFile(const QString& from, const QString& to, QString* error) {
    // Journal records of the old file must not be replayed onto the new one:
    // the journals that may hold them are checkpointed first.
    FlushJournals(nullptr);
    CheckpointJournal(QFileInfo(to).absolutePath(), nullptr);
    CheckpointOpenJournals();
    {
        // The new content is on disk before its name is.
        QFile f(from);
        if (f.open(QIODevice::ReadOnly)) SyncFileHandle(f.handle());
    }
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), ec);
    if (ec && error)
        *error = QStringLiteral("cannot replace %1: %2")
                     .arg(to, QString::fromLocal8Bit(ec.message().c_str()));
    if (!ec) SyncFolder(QFileInfo(to).absolutePath());
    return !ec;
}

bool CopyFileOver(const QString& from, const QString& to, QString* error) {
    const QString tmp = to + QStringLiteral(".copy~");
    QFile::remove(tmp);
    if (!QFile::copy(from, tmp)) {
        if (error) *error = QStringLiteral("cannot copy %1 to %2").arg(from, tmp);
        return false;
    }
    // The copy inherits the template's permissions; it must be writable.
    QFile::setPermissions(tmp, QFile::permissions(tmp) | QFile::WriteOwner | QFile::ReadOwner);
    if (!ReplaceFile(tmp, to, error)) {
        QFile::remove(tmp);
        return false;
    }
    return true;
}

QString FindFileNoCase(const QString& dir, const QString& name) {
    const QString exact = dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(exact)) return exact;
    const QStringList all = QDir(dir).entryList(QDir::Files);
    for (const QString& f : all)
        if (f.compare(name, Qt::CaseInsensitive) == 0) return dir + QLatin1Char('/') + f;
    return exact;
}

Table::Table(const QString& path) : m_path(path) {}

Table::~Table() = default;

std::unique_ptr<Table> Table::ForFile(const QString& path) {
    if (path.endsWith(QStringLiteral(".dbf"), Qt::CaseInsensitive)) return MakeDbfTable(path);
    return MakeParadoxTable(path);
}

QString Table::FileName() const {
    return QFileInfo(m_path).fileName();
}

bool Table::Exists() const {
    return QFileInfo(m_path).isFile();
}

bool Table::Fail(const QString& cause) {
    m_error = FileName() + QStringLiteral(": ") + cause;
    return false;
}

bool Table::CheckOpen(bool toChange) {
    ClearError();
    if (!IsOpen()) return Fail(QStringLiteral("table is not open"));
    if (toChange && m_readOnly) return Fail(QStringLiteral("table is read-only"));
    return true;
}

int Table::FieldIndex(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

void Table::SetCurrent(int recno, QVariantList row) {
    m_cur = recno;
    m_row = std::move(row);
}

void Table::ForgetCurrent() {
    m_cur = -1;
    m_row.clear();
}

int Table::RecordCount() {
    if (!CheckOpen() || !Refresh()) return 0;
    return DoRecordCount();
}

bool Table::GoTo(int recno) {
    if (!CheckOpen() || !Refresh()) return false;
    if (recno < 0 || recno >= DoRecordCount()) return Fail(QStringLiteral("no row %1").arg(recno));
    QVariantList row;
    if (!DoRead(recno, row)) return false;
    SetCurrent(recno, std::move(row));
    return true;
}

bool Table::SetIndex(const QString& fieldName) {
    ClearError();
    const int f = FieldIndex(fieldName);
    if (f < 0) return Fail(QStringLiteral("no field %1 for an index").arg(fieldName));
    m_indexName = fieldName;
    m_indexField = f;
    m_indexValid = false;
    return true;
}

bool Table::BuildIndex() {
    m_index.clear();
    const int n = DoRecordCount();
    QVariantList row;
    for (int i = 0; i < n; ++i) {
        if (!DoRead(i, row)) return false;
        const QString key = ValueText(row.value(m_indexField), m_fields[m_indexField].type);
        if (!m_index.contains(key)) m_index.insert(key, i);
    }
    m_indexValid = true;
    return true;
}

bool Table::FindKey(const QString& key) {
    if (!CheckOpen()) return false;
    if (m_indexField < 0) return Fail(QStringLiteral("no index set"));
    if (!Refresh()) return false;
    if (!m_indexValid && !BuildIndex()) return false;
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd()) return false;
    QVariantList row;
    if (!DoRead(it.value(), row)) return false;
    SetCurrent(it.value(), std::move(row));
    return true;
}

bool Table::Locate(const QStringList& fields, const QVariantList& values) {
    if (!CheckOpen()) return false;
    if (fields.size() != values.size())
        return Fail(QStringLiteral("locate: fields and values differ"));
    QList<int> idx;
    QVariantList vals(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        const int f = FieldIndex(fields[i]);
        if (f < 0) return Fail(QStringLiteral("no field %1").arg(fields[i]));
        if (!CheckValue(f, values[i], vals[i])) return false;
        idx.append(f);
    }
    if (!Refresh()) return false;
    int recno = -1;
    if (!DoLocate(idx, vals, recno)) return false;
    QVariantList row;
    if (!DoRead(recno, row)) return false;
    SetCurrent(recno, std::move(row));
    return true;
}

namespace {

// A time or timestamp given as text, in whole seconds or with milliseconds.
template <class T> T FromText(const QVariant& v, const QString& format) {
    const QString s = v.toString().trimmed();
    return T::fromString(s,
                         s.contains(QLatin1Char('.')) ? format + QStringLiteral(".zzz") : format);
}

} // namespace

bool Table::CheckValues(const QVariantList& in, QVariantList& out) {
    out.clear();
    out.reserve(m_fields.size());
    if (in.size() > m_fields.size())
        return Fail(QStringLiteral("%1 values for %2 fields").arg(in.size()).arg(m_fields.size()));
    for (int i = 0; i < m_fields.size(); ++i) {
        out.append(QVariant());
        if (!CheckValue(i, in.value(i), out.back())) return false;
    }
    return true;
}

bool Table::CheckValue(int i, const QVariant& v, QVariant& out) {
    const FieldDef& fd = m_fields[i];
    if (v.isNull() || !v.isValid() ||
        (v.typeId() == QMetaType::QString && v.toString().isEmpty() &&
         fd.type != FieldType::String)) {
        out = QVariant();
        return true;
    }
    auto bad = [&] {
        return Fail(QStringLiteral("field %1: bad value '%2'").arg(fd.name, v.toString()));
    };
    bool ok = true;
    switch (fd.type) {
    case FieldType::Integer:
    case FieldType::Smallint: {
        qint64 x = 0;
        switch (v.typeId()) {
        case QMetaType::Double: {
            const double d = v.toDouble();
            if (d != std::floor(d) || std::fabs(d) > 9e15) return bad();
            x = qint64(d);
            break;
        }
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
            x = v.toLongLong();
            break;
        default:
            x = v.toString().trimmed().toLongLong(&ok);
            if (!ok) return bad();
            break;
        }
        // The most negative value of each width is the blank marker.
        const qint64 lim = fd.type == FieldType::Integer ? 2147483647 : 32767;
        if (x < -lim || x > lim)
            return Fail(QStringLiteral("field %1: value %2 out of range").arg(fd.name).arg(x));
        out = x;
        break;
    }
    case FieldType::Float: {
        const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok)
                                                          : v.toDouble(&ok);
        if (!ok || !std::isfinite(d)) return bad();
        out = d;
        break;
    }
    case FieldType::Date: {
        QDate d;
        if (v.typeId() == QMetaType::QDate)
            d = v.toDate();
        else if (v.typeId() == QMetaType::QDateTime)
            d = v.toDateTime().date();
        else
            d = QDate::fromString(v.toString().trimmed(), QStringLiteral("yyyy-MM-dd"));
        if (!d.isValid() || d.year() < 1) return bad();
        out = d;
        break;
    }
    case FieldType::Time: {
        QTime t;
        if (v.typeId() == QMetaType::QTime)
            t = v.toTime();
        else if (v.typeId() == QMetaType::QDateTime)
            t = v.toDateTime().time();
        else
            t = FromText<QTime>(v, QStringLiteral("HH:mm:ss"));
        if (!t.isValid()) return bad();
        out = t;
        break;
    }
    case FieldType::DateTime: {
        QDateTime t;
        if (v.typeId() == QMetaType::QDateTime)
            t = v.toDateTime();
        else if (v.typeId() == QMetaType::QDate)
            t = v.toDate().startOfDay();
        else
            t = FromText<QDateTime>(v, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        if (!t.isValid() || t.date().year() < 1) return bad();
        out = t;
        break;
    }
    case FieldType::String:
        out = v.toString().left(fd.size);
        break;
    case FieldType::Other:
        return Fail(QStringLiteral("field %1 has a type this program does not write").arg(fd.name));
    }
    return true;
}

bool Table::Append(const QVariantList& values) {
    if (!CheckOpen(true)) return false;
    QVariantList conv;
    if (!CheckValues(values, conv) || !Refresh()) return false;
    int recno = -1;
    if (!DoAppend(conv, recno)) return false;
    InvalidateIndex();
    QVariantList row;
    if (recno >= 0 && DoRead(recno, row))
        SetCurrent(recno, std::move(row));
    else
        ForgetCurrent();
    return true;
}

bool Table::Update(const QVariantList& values) {
    if (!CheckOpen(true)) return false;
    if (m_cur < 0) return Fail(QStringLiteral("no current row"));
    QVariantList conv;
    if (!CheckValues(values, conv) || !Refresh()) return false;
    if (m_cur < 0) return Fail(QStringLiteral("no current row"));
    int recno = m_cur;
    if (!DoUpdate(recno, conv)) return false;
    InvalidateIndex();
    QVariantList row;
    if (DoRead(recno, row)) SetCurrent(recno, std::move(row));
    return true;
}

bool Table::Delete() {
    if (!CheckOpen(true)) return false;
    if (m_cur < 0) return Fail(QStringLiteral("no current row"));
    if (!Refresh()) return false;
    if (m_cur < 0) return Fail(QStringLiteral("no current row"));
    const int recno = m_cur;
    if (!DoDelete(recno)) return false;
    InvalidateIndex();
    QVariantList row;
    if (recno < DoRecordCount() && DoRead(recno, row))
        SetCurrent(recno, std::move(row));
    else
        ForgetCurrent();
    return true;
}

void Table::Cancel() {
    DoCancel();
}

QVariant Table::Value(int field) const {
    return m_cur >= 0 ? m_row.value(field) : QVariant();
}

QVariant Table::Value(const QString& name) const {
    return Value(FieldIndex(name));
}

qint64 Table::AsInteger(const QString& name) const {
    const QVariant v = Value(name);
    if (v.typeId() == QMetaType::QString) return v.toString().trimmed().toLongLong();
    return v.toLongLong();
}

double Table::AsFloat(const QString& name) const {
    const QVariant v = Value(name);
    if (v.typeId() == QMetaType::QString) return v.toString().trimmed().toDouble();
    return v.toDouble();
}

QDateTime Table::AsDateTime(const QString& name) const {
    const QVariant v = Value(name);
    if (v.typeId() == QMetaType::QDate) return v.toDate().startOfDay();
    if (v.typeId() == QMetaType::QTime) return QDateTime(QDate(1899, 12, 30), v.toTime());
    return v.toDateTime();
}

QString Table::AsText(const QString& name) const {
    const int f = FieldIndex(name);
    if (f < 0) return {};
    return ValueText(Value(f), m_fields[f].type);
}

FileTable::FileTable(const QString& path) : Table(path), m_file(path) {
    m_file.OnDiscard = [this] { m_stale = true; };
}

bool FileTable::Open(bool readOnly) {
    Close();
    ClearError();
    m_readOnly = readOnly;
    QString e;
    if (!m_file.Open(!readOnly, &e)) return Fail(e);
    if (!Load()) {
        m_file.Close();
        return false;
    }
    return true;
}

void FileTable::Close() {
    m_file.Close();
    CloseHandle();
    ForgetCurrent();
    InvalidateIndex();
    m_stale = false;
}

bool FileTable::Load() {
    CloseHandle();
    m_loadError.clear();
    QString why;
    if (!Validate(&why)) return LoadFailed(why);
    if (!OpenHandle()) {
        CloseHandle();
        return false;
    }
    m_stale = false;
    return true;
}

bool FileTable::LoadFailed(const QString& cause) {
    m_loadError = cause;
    return Fail(cause);
}

bool FileTable::Refresh() {
    if (!m_file.IsOpen()) return Fail(QStringLiteral("table is not open"));
    const bool changed = !m_file.HasStaged() && m_file.ChangedOnDisk();
    if (!m_stale && !changed)
        return HasHandle() ||
               Fail(m_loadError.isEmpty() ? QStringLiteral("unreadable") : m_loadError);
    if (m_file.HasStaged()) return Fail(QStringLiteral("file changed during a transaction"));
    // Another program replaced or changed the file, or staged changes were
    // dropped: read it again.
    CloseHandle();
    ForgetCurrent();
    InvalidateIndex();
    QString e;
    if (!m_file.Open(!m_readOnly, &e)) return LoadFailed(e);
    return Load();
}

void FileTable::DoCancel() {
    if (Transaction* tx = m_file.Owner()) tx->Release(&m_file);
}

bool FileTable::Change(const std::function<bool()>& op) {
    QString e;
    if (RunChange(m_file, JournalDir(), &e, op)) return true;
    return LastError().isEmpty() ? Fail(e) : false;
}

QString FileTable::JournalDir() const {
    const QString open = m_file.CanonicalPath();
    return open.isEmpty() ? QFileInfo(m_path).absolutePath()
                          : open.left(open.lastIndexOf(QLatin1Char('/')));
}

} // namespace tables
