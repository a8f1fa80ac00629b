#pragma once
// Start-up recovery after an unclean end: the table journal completes or
// drops the commit a killed process left, then each named table is rebuilt
// (verify, structure, rebuild) while it is closed, and opened again.
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

// Returns one run per table, in order. Failures are written to the program
// log; the journal's failure too (the rebuilds then still run).
QList<UtilRun> RecoverTables(const QString& tableDir, const QList<RecoveryTable>& list,
                             const RecoveryHooks& hooks);

} // namespace tables
