#include "platform/ProgramLog.h"

#include "platform/Clock.h"
#include "platform/Codec.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {
QString g_dir;
bool g_mirror = false;
} // namespace

void SetLogDir(const QString& dir) {
    g_dir = dir;
}

QString LogFilePath() {
    return (g_dir.isEmpty() ? QDir::currentPath() : g_dir) + QStringLiteral("/Zezozudaruduri.log");
}

void MirrorLogToStderr(bool on) {
    g_mirror = on;
}

void WriteLog(const QString& message) {
    if (g_mirror) {
        const QByteArray line = message.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
    QFile f(LogFilePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QDateTime now = Clock::Now();
    const QString line = Clock::ShortDateText(now) + QLatin1Char(' ') + Clock::TimeText(now) +
                         QStringLiteral("  ") + message + QStringLiteral("\r\n");
    f.write(Codec::ToCp1251(line));
    f.flush();
}
