#pragma once
// Start-up recovery after an unclean end: the table journal completes or
// drops the commit a killed process left, then each named table is verified
// and, when damaged, rebuilt while it is closed, and opened again.
#include "tables/TableUtil.h"

#include <QList>
#include <QString>

#include <functional>

namespace tables {

struct RecoveryTable {
    QString fileName;   // in the table folder, any case ("DestTar.db")
    TableDesc fallback; // the structure to use when the header's is unreadable
};

struct RecoveryHooks {
    // The owner closes its table before the rebuild and opens it again after.
    std::function<void(const QString& fileName)> closeTable;
    std::function<void(const QString& fileName)> reopenTable;
    // What a window shows: the table being worked on, progress, the outcome.
    std::function<void(const QString& path)> showLocation;
    TTableUtil::Progress progress;
    std::function<void(const UtilRun& run)> showResult;
};

// The copy of a table's old file a recovery keeps beside it ("DestTar.db.bak").
inline const QString kRecoveryCopySuffix = QStringLiteral(".bak");

// Each table is verified and rebuilt only when damage is found; its old file
// is then kept as its own copy (name + kRecoveryCopySuffix) as well as
// Backup.Db, and the work files of a rebuild cut short are removed.
// Returns one run per table, in order (the verify's run for a sound table). Failures are written to
// the program log; the journal's failure too (the rebuilds then still run).
QList<UtilRun> RecoverTables(const QString& tableDir, const QList<RecoveryTable>& list,
                             const RecoveryHooks& hooks);

} // namespace tables
