// varnel-collect: the terminal without its window, as a service. It reads the
// terminal's settings, recovers the tariff tables after an unclean end, opens
// the lines that are switched on, keeps the rolls and bills every call as the
// window does, until SIGTERM or SIGINT ends it cleanly. Start, stop, line
// state and errors go to the program log and to standard error.
#include "app/ExitSignals.h"
#include "app/Terminal.h"
#include "link/Ats.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/SettingsLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {
const char kUsage[] =
    "Usage: varnel-collect [--dir DIR]\n"
    "Collects and bills the calls of the exchanges whose lines are switched on in\n"
    "the terminal's settings ($VARNEL_REGISTRY, else ~/.config/ZezozuDaruduri/registry.ini),\n"
    "without a window. Ends cleanly on SIGTERM or SIGINT.\n"
    "  --dir DIR  working folder (rolls, tables, day files, program log);\n"
    "             default: the current folder\n"
    "  --help     this text\n";

void Err(const QString& text) {
    const QByteArray line = QStringLiteral("varnel-collect: %1\n").arg(text).toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Clock::PinLocalZone();
    QCoreApplication::setApplicationName(QStringLiteral("varnel-collect"));

    QString dir;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--help") || args[i] == QStringLiteral("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[i] == QStringLiteral("--dir") && i + 1 < args.size()) {
            dir = args[++i];
            continue;
        }
        Err(QStringLiteral("unknown argument %1").arg(args[i]));
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!dir.isEmpty() && !QFileInfo(dir).isDir()) {
        Err(QStringLiteral("no such folder: %1").arg(dir));
        return 2;
    }

    const QString store = Registry().FilePath();
    SettingsLock lock(store);
    if (!lock.TryLock()) {
        const QString holder = lock.Holder();
        Err(QStringLiteral("already running on the settings %1 (%2)")
                .arg(store, holder.isEmpty() ? QStringLiteral("lock ") + lock.LockPath() : holder));
        return 1;
    }

    // From here on every log line goes to standard error as well. Signals
    // that come during the start are kept and acted on once the loop runs.
    MirrorLogToStderr(true);
    ExitSignals exitSignals;
    Terminal terminal(dir);
    SetLogDir(terminal.CurDir());
    WriteLog(QStringLiteral("varnel-collect: start, settings %1, working folder %2")
                 .arg(store, QDir::toNativeSeparators(terminal.CurDir())));
    if (!terminal.Start()) {
        WriteLog(
            QStringLiteral("varnel-collect: the settings store cannot be used: %1").arg(store));
        return 1;
    }
    for (int n = 1; n <= ExchangeSet::kCount; ++n) {
        if (TAts* ats = terminal.Ats(n)) {
            // Port lines name their exchange ("ATS 1 Порт открыт Com 3");
            // the others are given its name.
            const QString name = QStringLiteral("ATS %1").arg(n);
            QObject::connect(ats, &TAts::status, &app, [name](const QString& line) {
                WriteLog(line.startsWith(name) ? line.trimmed()
                                               : name + QStringLiteral(": ") + line.trimmed());
            });
        }
    }
    terminal.OpenLines();
    int open = 0;
    for (int n = 1; n <= ExchangeSet::kCount; ++n)
        if (TAts* ats = terminal.Ats(n); ats && ats->PortIsOpen()) ++open;
    WriteLog(QStringLiteral("varnel-collect: running, %1 line(s) open").arg(open));

    QObject::connect(&exitSignals, &ExitSignals::received, &app, [&terminal](int sig) {
        WriteLog(QStringLiteral("varnel-collect: signal %1, stopping").arg(sig));
        terminal.Shutdown();
        QCoreApplication::quit();
    });
    const int rc = app.exec();
    terminal.Shutdown();
    WriteLog(QStringLiteral("varnel-collect: stopped"));
    return rc;
}
