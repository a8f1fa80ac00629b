#include "versions/VersionWorkFile.h"

#include <QDir>
#include <QFile>

bool VersionWorkFile::Begin(const QString& folder) {
    Cancel();
    if (!QDir().mkpath(folder)) return false;
    m_path = QDir(folder).filePath(FileName());
    m_file = std::make_unique<QSaveFile>(m_path);
    if (!m_file->open(QIODevice::WriteOnly)) {
        m_file.reset();
        return false;
    }
    return true;
}

bool VersionWorkFile::Append(const Vers::Record& record) {
    return m_file && m_file->write(reinterpret_cast<const char*>(record.data()),
                                   Vers::kRecordBytes) == Vers::kRecordBytes;
}

bool VersionWorkFile::Commit() {
    if (!m_file) return false;
    const bool ok = m_file->commit();
    m_file.reset();
    return ok;
}

void VersionWorkFile::Cancel() {
    if (m_file) m_file->cancelWriting();
    m_file.reset();
}

bool VersionWorkFile::Save(const QString& source, const QString& dest) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QSaveFile out(dest);
    if (!out.open(QIODevice::WriteOnly)) return false;
    char buf[65536];
    for (;;) {
        const qint64 n = in.read(buf, sizeof buf);
        if (n < 0) {
            out.cancelWriting();
            return false;
        }
        if (n == 0) break;
        if (out.write(buf, n) != n) {
            out.cancelWriting();
            return false;
        }
    }
    return out.commit();
}
