#pragma once
// Helpers of the table suites: a new table with rows, bytes put into a file,
// the maintenance tool run in a folder, a table's row count.
#include "tables/Table.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <utility>

// A new table at path with the fields (the first `keys` of them the key) and
// rows, open for writing; null, with a test failure, when that does not work.
inline std::unique_ptr<tables::Table> NewTable(const QString& path, const tables::FieldList& fields,
                                               const QList<QVariantList>& rows = {}, int keys = 0) {
    auto t = tables::Table::ForFile(path);
    bool ok = t->Create(fields, keys) && t->Open();
    for (const QVariantList& r : rows)
        ok = ok && t->Append(r);
    if (ok) return t;
    ADD_FAILURE() << path.toStdString() << ": " << t->LastError().toStdString();
    return nullptr;
}

// Writes bytes at offset `at` of the file, or as its whole content when at < 0.
inline bool PutBytes(const QString& path, const QByteArray& bytes, qint64 at = -1) {
    QFile f(path);
    if (!f.open(at < 0 ? QIODevice::WriteOnly | QIODevice::Truncate : QIODevice::ReadWrite))
        return false;
    return (at < 0 || f.seek(at)) && f.write(bytes) == bytes.size();
}

// varnel-tool run in dir with `in` on its standard input: the exit code and
// all it printed.
inline std::pair<int, QString> RunTool(const QString& dir, const QStringList& args,
                                       const QByteArray& in = {}) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-tool"), args);
    p.write(in);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

// Rows of the table at path; -1 when it does not open.
// The "Id" field of every row, in order.
inline QList<int> Ids(const QString& path) {
    QList<int> ids;
    auto t = tables::Table::ForFile(path);
    EXPECT_TRUE(t->Open(true)) << t->LastError().toStdString();
    for (int i = 0; i < t->RecordCount(); ++i) {
        EXPECT_TRUE(t->GoTo(i));
        ids << int(t->AsInteger(QStringLiteral("Id")));
    }
    return ids;
}

inline int Rows(const QString& path) {
    auto t = tables::Table::ForFile(path);
    return t->Open(true) ? t->RecordCount() : -1;
}
