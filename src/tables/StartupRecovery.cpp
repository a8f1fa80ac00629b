#include "tables/StartupRecovery.h"

#include "platform/ProgramLog.h"
#include "tables/TxFile.h"

#include <QDir>

namespace tables {

QList<UtilRun> RecoverTables(const QString& tableDir, const QList<RecoveryTable>& list,
                             const RecoveryHooks& hooks) {
    QString e;
    // A commit the killed process had journalled is written first, so the
    // rebuild reads every row it committed.
    if (!RecoverJournal(tableDir, &e))
        WriteLog(QStringLiteral("Ошибка восстановления журнала таблиц: ") + e);
    QList<UtilRun> runs;
    TTableUtil util;
    util.SetProgress(hooks.progress);
    for (const RecoveryTable& t : list) {
        if (hooks.closeTable) hooks.closeTable(t.fileName);
        const QString path = QDir::toNativeSeparators(FindFileNoCase(tableDir, t.fileName));
        if (hooks.showLocation) hooks.showLocation(path);
        RemoveRebuildLeftovers(QDir::fromNativeSeparators(path));
        // Only a damaged table is rebuilt, and its old file is kept beside
        // it (Backup.Db holds only the last table rebuilt).
        UtilRun run = RunVerify(util, path);
        if (run.outcome == UtilRun::Done && run.result != TTableUtil::NoErrors) {
            QString e;
            const QString keep = QDir::fromNativeSeparators(path) + kRecoveryCopySuffix;
            if (!CopyFileOver(QDir::fromNativeSeparators(path), keep, &e)) {
                run.outcome = UtilRun::NotDone;
                run.message = kRebuildFailed;
                run.error = e;
            } else {
                run = RunRebuild(util, path, &t.fallback);
            }
        }
        if (run.outcome != UtilRun::Done)
            WriteLog(QStringLiteral("Ошибка перестройки таблицы %1: %2")
                         .arg(t.fileName, run.error.isEmpty() ? run.message : run.error));
        if (hooks.showResult) hooks.showResult(run);
        if (hooks.reopenTable) hooks.reopenTable(t.fileName);
        runs.append(run);
    }
    return runs;
}

} // namespace tables
