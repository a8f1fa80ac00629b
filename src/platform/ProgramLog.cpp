#include "platform/ProgramLog.h"

#include "platform/Clock.h"
#include "platform/Codec.h"

#include <QDir>
#include <QFile>

namespace {
QString g_dir;
}

void SetLogDir(const QString& dir) {
    g_dir = dir;
}

QString LogFilePath() {
    return (g_dir.isEmpty() ? QDir::currentPath() : g_dir) + QStringLiteral("/Zezozudaruduri.log");
}

void WriteLog(const QString& message) {
    QFile f(LogFilePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    const QDateTime now = Clock::Now();
    const QString line = Clock::ShortDateText(now) + QLatin1Char(' ') + Clock::TimeText(now) +
                         QStringLiteral("  ") + message + QStringLiteral("\r\n");
    f.write(Codec::ToCp1251(line));
    f.flush();
}
