#include "tables/TableCsv.h"

#include "platform/Codec.h"
#include "tables/TableImpl.h"
#include "tables/TxFile.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace tables {

namespace {

QString Quote(const QString& s) {
    const bool needs = s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')) ||
                       s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r')) ||
                       (!s.isEmpty() && (s.front().isSpace() || s.back().isSpace()));
    if (!needs) return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

QByteArray DumpCsv(Table& table, QString* error) {
    QString out;
    QStringList head;
    for (const FieldDef& f : table.Fields())
        head << Quote(f.name);
    out += head.join(QLatin1Char(',')) + QLatin1Char('\n');
    const int n = table.RecordCount();
    if (!table.LastError().isEmpty()) {
        if (error) *error = table.LastError();
        return {};
    }
    QStringList line;
    for (int r = 0; r < n; ++r) {
        if (!table.GoTo(r)) {
            if (error) *error = table.LastError();
            return {};
        }
        line.clear();
        for (int i = 0; i < table.Fields().size(); ++i)
            line << Quote(ValueText(table.Value(i), table.Fields()[i].type));
        out += line.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return out.toUtf8();
}

bool ParseCsv(const QString& text, QList<QStringList>& rows, QString* error) {
    rows.clear();
    QStringList row;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    int line = 1;
    int startLine = 1;
    auto endField = [&] {
        row << field;
        field.clear();
        wasQuoted = false;
    };
    auto endRow = [&] {
        endField();
        // A blank line carries no row.
        if (!(row.size() == 1 && row[0].isEmpty())) rows << row;
        row.clear();
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n') ||
                    (c == QLatin1Char('\r') &&
                     (i + 1 >= text.size() || text[i + 1] != QLatin1Char('\n'))))
                    ++line;
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = true;
            startLine = line;
        } else if (c == QLatin1Char(',')) {
            endField();
        } else if (c == QLatin1Char('\r')) {
            // CR LF ends a line like LF; so does a CR alone.
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) continue;
            endRow();
            ++line;
        } else if (c == QLatin1Char('\n')) {
            endRow();
            ++line;
        } else {
            field += c;
        }
    }
    if (quoted) {
        if (error) *error = QStringLiteral("line %1: quote not closed").arg(startLine);
        return false;
    }
    if (!field.isEmpty() || !row.isEmpty() || wasQuoted) endRow();
    return true;
}

QString FieldSpecText(const FieldDef& f) {
    QString t;
    switch (f.type) {
    case FieldType::Integer:
        t = QStringLiteral("I");
        break;
    case FieldType::Smallint:
        t = QStringLiteral("S");
        break;
    case FieldType::Float:
        t = QStringLiteral("F");
        break;
    case FieldType::Date:
        t = QStringLiteral("D");
        break;
    case FieldType::Time:
        t = QStringLiteral("T");
        break;
    case FieldType::DateTime:
        t = QStringLiteral("DT");
        break;
    case FieldType::String:
        t = QStringLiteral("A%1").arg(f.size);
        break;
    case FieldType::Other:
        t = QStringLiteral("?");
        break;
    }
    return f.name + QLatin1Char(':') + t;
}

namespace {

// Length of the valid UTF-8 sequence at p (at most n bytes), 0 when invalid.
int Utf8Sequence(const unsigned char* p, qsizetype n) {
    const unsigned c = p[0];
    int len = 0;
    unsigned min = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, min = 0x10000;
    else
        return 0;
    if (n < len) return 0;
    unsigned v = c & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        v = v << 6 | (p[i] & 0x3F);
    }
    if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    return len;
}

} // namespace

bool CsvText(const QByteArray& bytesIn, QString& text, QString* error) {
    QByteArray bytes = bytesIn;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QStringList bad;
    int line = 1;
    int column = 1;
    bool lineBad = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        if (p[i] == '\n' || (p[i] == '\r' && (i + 1 >= bytes.size() || p[i + 1] != '\n'))) {
            ++line;
            column = 1;
            lineBad = false;
            ++i;
            continue;
        }
        const int k = Utf8Sequence(p + i, bytes.size() - i);
        if (k == 0) {
            if (!lineBad)
                bad << QStringLiteral("line %1, column %2: invalid UTF-8 (byte 0x%3)")
                           .arg(line)
                           .arg(column)
                           .arg(p[i], 2, 16, QLatin1Char('0'));
            lineBad = true;
            ++i;
        } else {
            i += k;
        }
        ++column;
    }
    if (!bad.isEmpty()) {
        if (error) *error = bad.join(QLatin1Char('\n'));
        return false;
    }
    text = QString::fromUtf8(bytes);
    return true;
}

bool ParseFieldSpec(const QString& column, FieldDef& out, QString* error) {
    const int colon = column.lastIndexOf(QLatin1Char(':'));
    const QString name = (colon < 0 ? column : column.left(colon)).trimmed();
    const QString type = colon < 0 ? QString() : column.mid(colon + 1).trimmed().toUpper();
    out = FieldDef{name, FieldType::Integer, 0};
    static const QRegularExpression alpha(QStringLiteral("^A(\\d{1,3})$"));
    if (type == QLatin1String("I"))
        out.type = FieldType::Integer;
    else if (type == QLatin1String("S"))
        out.type = FieldType::Smallint;
    else if (type == QLatin1String("F"))
        out.type = FieldType::Float;
    else if (type == QLatin1String("D"))
        out.type = FieldType::Date;
    else if (type == QLatin1String("T"))
        out.type = FieldType::Time;
    else if (type == QLatin1String("DT"))
        out.type = FieldType::DateTime;
    else if (const auto m = alpha.match(type); m.hasMatch()) {
        out.type = FieldType::String;
        out.size = m.captured(1).toInt();
    } else {
        if (error)
            *error = type.isEmpty()
                         ? QStringLiteral("column %1 has no type (NAME:TYPE)").arg(name)
                         : QStringLiteral("column %1: unknown type %2 (I, S, F, D, T, DT or A<n>)")
                               .arg(name, type);
        return false;
    }
    if (name.isEmpty()) {
        if (error) *error = QStringLiteral("a column has no name");
        return false;
    }
    return true;
}

bool LoadCsv(const QString& path, const QString& csv, int* appended, QString* error,
             QStringList* notes) {
    if (appended) *appended = 0;
    QList<QStringList> rows;
    if (!ParseCsv(csv, rows, error)) return false;
    if (rows.isEmpty()) {
        if (error) *error = QStringLiteral("no header row");
        return false;
    }
    const QStringList header = rows.takeFirst();
    auto table = Table::ForFile(path);
    const bool created = !table->Exists();
    QList<int> columns; // table field of each CSV column
    if (created) {
        FieldList fields;
        for (const QString& h : header) {
            FieldDef f;
            if (!ParseFieldSpec(h, f, error)) return false;
            fields << f;
        }
        if (!table->Create(fields)) {
            if (error) *error = table->LastError();
            return false;
        }
    }
    if (!table->Open()) {
        if (error) *error = table->LastError();
        return false;
    }
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        if (created) {
            table->Close();
            QFile::remove(path);
        }
        return false;
    };
    for (const QString& h : header) {
        const int colon = h.lastIndexOf(QLatin1Char(':'));
        const QString name = (colon < 0 ? h : h.left(colon)).trimmed();
        const int f = table->FieldIndex(name);
        if (f < 0) return fail(QStringLiteral("%1: no field %2").arg(table->FileName(), name));
        if (colon >= 0 && !created) {
            FieldDef column;
            QString e;
            if (ParseFieldSpec(h, column, &e) &&
                (column.type != table->Fields()[f].type || column.size != table->Fields()[f].size))
                return fail(
                    QStringLiteral("%1: column %2: the table has %3")
                        .arg(table->FileName(), h.trimmed(), FieldSpecText(table->Fields()[f])));
        }
        if (columns.contains(f)) return fail(QStringLiteral("column %1 named twice").arg(name));
        columns << f;
    }
    // A keyed table is rewritten on each change and cannot join a
    // transaction: a copy of its files restores it when a line fails.
    std::unique_ptr<Transaction> tx;
    QStringList saved;
    if (table->KeyFieldCount() == 0) {
        tx = std::make_unique<Transaction>(QFileInfo(path).absolutePath());
    } else if (!created) {
        const QFileInfo fi(path);
        for (const QString& f :
             {path,
              fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral(".PX"),
              fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() +
                  QStringLiteral(".px")}) {
            if (!QFileInfo::exists(f) || saved.contains(f)) continue;
            QFile::remove(f + QStringLiteral(".bak~"));
            if (!QFile::copy(f, f + QStringLiteral(".bak~")))
                return fail(QStringLiteral("cannot copy %1").arg(f));
            saved << f;
        }
    }
    auto restore = [&] {
        table->Close();
        for (const QString& f : saved)
            ReplaceFile(f + QStringLiteral(".bak~"), f, nullptr);
        saved.clear();
    };
    int line = 1;
    for (const QStringList& r : rows) {
        ++line;
        if (r.size() != header.size()) {
            restore();
            return fail(QStringLiteral("line %1: %2 values for %3 columns")
                            .arg(line)
                            .arg(r.size())
                            .arg(header.size()));
        }
        QVariantList values;
        for (int i = 0; i < table->Fields().size(); ++i)
            values << QVariant();
        for (int c = 0; c < columns.size(); ++c) {
            if (r[c].isEmpty()) continue;
            values[columns[c]] = r[c];
            const FieldDef& fd = table->Fields()[columns[c]];
            if (fd.type != FieldType::String || !notes) continue;
            const QString where =
                QStringLiteral("line %1, column %2 (%3): ").arg(line).arg(c + 1).arg(fd.name);
            QString missing;
            for (const QChar ch : r[c])
                if (ch != QLatin1Char('?') &&
                    Codec::FromCp1251(Codec::ToCp1251(QString(ch))) != ch && !missing.contains(ch))
                    missing += ch;
            if (!missing.isEmpty())
                *notes << where + QStringLiteral("\"%1\" not in Windows-1251, stored as \"?\"")
                                      .arg(missing);
            if (r[c].size() > fd.size)
                *notes << where + QStringLiteral("%1 characters cut to the field's %2")
                                      .arg(r[c].size())
                                      .arg(fd.size);
        }
        if (!table->Append(values)) {
            const QString why = QStringLiteral("line %1: %2").arg(line).arg(table->LastError());
            restore();
            return fail(why);
        }
    }
    for (const QString& f : saved)
        QFile::remove(f + QStringLiteral(".bak~"));
    if (tx) {
        QString e;
        if (!tx->Commit(&e)) return fail(e);
    }
    if (appended) *appended = int(rows.size());
    return true;
}

} // namespace tables
