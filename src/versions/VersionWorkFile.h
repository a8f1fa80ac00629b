#pragma once
// The unloader's work file "versbyte.bin" in the work folder: the blocks of
// one transfer, in the order they were kept. It is replaced only by a
// complete transfer (Commit); a transfer that stops or fails leaves the
// previous file as it was. Saving copies it to the operator's file the same
// way: whole or not at all.
#include "versions/VersionFormat.h"

#include <QSaveFile>
#include <QString>

#include <memory>

class VersionWorkFile {
public:
    static QString FileName() { return QStringLiteral("versbyte.bin"); }

    // Makes the folder when it is missing and begins a new work file.
    bool Begin(const QString& folder);
    bool Append(const Vers::Record& record);
    // The blocks so far become the work file.
    bool Commit();
    // Forgets the blocks so far; the previous work file stays.
    void Cancel();
    bool Open() const { return m_file != nullptr; }
    QString Path() const { return m_path; }

    // Copies a file over dest (created or replaced whole, never left half
    // written). False when source cannot be read or dest written.
    static bool Save(const QString& source, const QString& dest);

private:
    std::unique_ptr<QSaveFile> m_file;
    QString m_path;
};
