#include "link/Roll.h"

#include "link/Notation.h"
#include "platform/Codec.h"

#include <QDir>
#include <QFileInfo>

Roll::Roll(const QString& fileName) : m_file(fileName) {}

bool Roll::Open() {
    if (m_file.isOpen()) m_file.close();
    // Opening for reading and writing creates a missing file. An existing
    // roll is never truncated: when it cannot be opened, the folder is made
    // and the open tried once more.
    if (!m_file.open(QIODevice::ReadWrite)) {
        QDir().mkpath(QFileInfo(m_file.fileName()).absolutePath());
        if (!m_file.open(QIODevice::ReadWrite)) return false;
    }
    return m_file.seek(m_file.size());
}

bool Roll::Write(const QString& text) {
    if (!m_file.isOpen() && (m_file.fileName().isEmpty() || !Open())) return false;
    const QByteArray bytes = Codec::ToCp1251(text);
    if (!m_file.seek(m_file.size())) return false;
    if (m_file.write(bytes) != bytes.size()) return false;
    return m_file.flush();
}

QString Roll::EchoText(const QString& directive, bool lineStamped) {
    return lineStamped ? directive
                       : QStringLiteral("\r\n") + GetDateTime() + QStringLiteral("  ") + directive;
}
