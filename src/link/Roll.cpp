#include "link/Roll.h"

#include "link/Notation.h"
#include "platform/Codec.h"

#include <QDir>
#include <QFileInfo>

Roll::Roll(const QString& fileName) : m_file(fileName) {}

bool Roll::Open() {
    if (m_file.isOpen()) m_file.close();
    // Opening for appending creates a missing file and never truncates an
    // existing roll: when it cannot be opened, the folder is made and the
    // open tried once more. Every write goes to the end, where another
    // writer may have left it, without asking the file's size: a size
    // asked before each write would cost the journal's next sync an inode
    // write (see TxFile's NoteDiskState).
    constexpr auto mode = QIODevice::WriteOnly | QIODevice::Append;
    if (!m_file.open(mode)) {
        QDir().mkpath(QFileInfo(m_file.fileName()).absolutePath());
        if (!m_file.open(mode)) return false;
    }
    return true;
}

bool Roll::Write(const QString& text) {
    if (!m_file.isOpen() && (m_file.fileName().isEmpty() || !Open())) return false;
    const QByteArray bytes = Codec::ToCp1251(text);
    if (m_file.write(bytes) != bytes.size()) return false;
    return m_file.flush();
}

QString Roll::EchoText(const QString& directive, bool lineStamped) {
    return lineStamped ? directive
                       : QStringLiteral("\r\n") + GetDateTime() + QStringLiteral("  ") + directive;
}
