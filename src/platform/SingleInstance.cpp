#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
}

QString SingleInstance::NameForExecutable(const QString& executablePath) {
    const QString abs = QFileInfo(executablePath).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(abs.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("varnel-") + QString::fromLatin1(hash.toHex().left(16));
}

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent) {
    m_name = name;
    if (m_name.isEmpty()) m_name = qEnvironmentVariable("VARNEL_INSTANCE");
    if (m_name.isEmpty()) m_name = NameForExecutable(QCoreApplication::applicationFilePath());
}

SingleInstance::~SingleInstance() {
    if (m_server) m_server->close();
    if (m_lock) m_lock->unlock();
}

bool SingleInstance::TryBecomePrimary() {
    if (m_primary) return true;
    m_lock = std::make_unique<QLockFile>(QDir::temp().filePath(m_name + QStringLiteral(".lock")));
    // A lock left by a process that no longer runs is taken over.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
        return false;
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket of that name is a leftover.
    QLocalServer::removeServer(m_name);
    m_server->listen(m_name);
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
    m_primary = true;
    return true;
}

bool SingleInstance::SendActivate(int timeoutMs) const {
    QLocalSocket s;
    s.connectToServer(m_name);
    if (!s.waitForConnected(timeoutMs)) return false;
    s.write(kActivate);
    if (!s.waitForBytesWritten(timeoutMs)) return false;
    // The first instance closes the connection once it has read the request.
    s.waitForDisconnected(timeoutMs);
    return true;
}

void SingleInstance::OnNewConnection() {
    while (QLocalSocket* s = m_server->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QLocalSocket::readyRead, this, [this, s] {
            while (s->canReadLine()) {
                if (s->readLine().trimmed() == "activate") emit activateRequested();
                s->disconnectFromServer();
            }
        });
    }
}
