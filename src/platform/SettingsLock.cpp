#include "platform/SettingsLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

QString SettingsLock::LockPathFor(const QString& storePath) {
    const QString abs = QFileInfo(storePath).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(abs.toUtf8(), QCryptographicHash::Sha1);
    return QDir::temp().filePath(QStringLiteral("varnel-settings-") +
                                 QString::fromLatin1(hash.toHex().left(16)) +
                                 QStringLiteral(".lock"));
}

SettingsLock::SettingsLock(const QString& storePath) : m_path(LockPathFor(storePath)) {}

SettingsLock::~SettingsLock() {
    if (m_lock) m_lock->unlock();
}

bool SettingsLock::TryLock() {
    if (m_lock) return true;
    auto lock = std::make_unique<QLockFile>(m_path);
    lock->setStaleLockTime(0); // only a dead holder's lock is stale
    if (!lock->tryLock(0)) return false;
    m_lock = std::move(lock);
    return true;
}

QString SettingsLock::Holder() const {
    qint64 pid = 0;
    QString host, app;
    if (!QLockFile(m_path).getLockInfo(&pid, &host, &app)) return QString();
    return (app.isEmpty() ? QStringLiteral("?") : app) + QStringLiteral(", pid ") +
           QString::number(pid);
}
