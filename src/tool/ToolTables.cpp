#include "ToolTables.h"

#include "ToolLine.h"
#include "tables/Aliases.h"
#include "tables/TableCsv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

QString TablePath(const QString& name, bool mustExist, QString* error) {
    if (name.trimmed().isEmpty()) {
        if (error) *error = QStringLiteral("no table named (an empty name)");
        return {};
    }
    // Reading a table makes no folder.
    QString path = tables::ResolveTablePath(name, QDir::currentPath(), error, !mustExist);
    if (path.isEmpty()) return {};
    if (QFileInfo(path).isDir()) {
        if (error)
            *error =
                QStringLiteral("%1: is a folder, not a table").arg(QDir::toNativeSeparators(path));
        return {};
    }
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) {
        for (const char* ext : {".db", ".DB", ".dbf", ".DBF"})
            if (QFileInfo::exists(path + QLatin1String(ext))) return path + QLatin1String(ext);
        if (!mustExist) return path + QStringLiteral(".db");
    }
    if (mustExist && !QFileInfo(path).isFile()) {
        if (error) *error = QStringLiteral("%1: no such table").arg(QDir::toNativeSeparators(path));
        return {};
    }
    return path;
}

} // namespace

int ToolDump(const QStringList& args) {
    if (args.size() != 1) {
        ToolErr() << "usage: varnel-tool dump TABLE\n";
        return 2;
    }
    QString e;
    if (!QFileInfo(args[0]).isDir() && !RegularFileOrSay(args[0])) return 1;
    const QString path = TablePath(args[0], true, &e);
    if (path.isEmpty()) {
        ToolErr() << e << '\n';
        return 1;
    }
    auto table = tables::Table::ForFile(path);
    if (!table->Open(true)) {
        ToolErr() << table->LastError() << '\n';
        return 1;
    }
    const QByteArray csv = tables::DumpCsv(*table, &e);
    if (!e.isEmpty()) {
        ToolErr() << e << '\n';
        return 1;
    }
    std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout);
    std::fflush(stdout);
    return 0;
}

int ToolLoad(const QStringList& args) {
    if (args.size() != 2) {
        ToolErr() << "usage: varnel-tool load TABLE FILE.csv\n";
        return 2;
    }
    QString e;
    const QString path = TablePath(args[0], false, &e);
    if (path.isEmpty()) {
        ToolErr() << e << '\n';
        return 1;
    }
    if (args[1] != QLatin1String("-") && !RegularFileOrSay(args[1])) return 1;
    QFile in;
    const bool ok = args[1] == QLatin1String("-")
                        ? in.open(stdin, QIODevice::ReadOnly)
                        : (in.setFileName(args[1]), in.open(QIODevice::ReadOnly));
    if (!ok) {
        ToolErr() << args[1] << ": " << in.errorString() << '\n';
        return 1;
    }
    QString text;
    if (!tables::CsvText(in.readAll(), text, &e)) {
        ToolErr() << e << "\nnothing stored: the file must be UTF-8\n";
        return 1;
    }
    int rows = 0;
    QStringList notes;
    if (!tables::LoadCsv(path, text, &rows, &e, &notes)) {
        ToolErr() << e << '\n';
        return 1;
    }
    for (const QString& n : notes)
        ToolErr() << n << '\n';
    ToolErr() << rows << " rows appended to " << QDir::toNativeSeparators(path) << '\n';
    return 0;
}
