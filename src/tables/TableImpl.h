#pragma once
// Shared by the table store's implementations; not for use outside src/tables.
#include "tables/Table.h"
#include "tables/TxFile.h"

#include <QDate>

namespace tables {

std::unique_ptr<Table> MakeParadoxTable(const QString& path);
std::unique_ptr<Table> MakeDbfTable(const QString& path);

// Day numbers as Paradox stores dates: 0001-01-01 is day 1.
inline qint64 DateOrdinal(const QDate& d) {
    return d.toJulianDay() - 1721425;
}
inline QDate DateFromOrdinal(qint64 n) {
    return QDate::fromJulianDay(n + 1721425);
}

// Moves from over to (replacing it in one step where the system allows).
bool ReplaceFile(const QString& from, const QString& to, QString* error);

// Runs op as one change of a table file: inside the running transaction, or
// in one of its own committed before returning. On failure the file's staged
// changes are dropped (or, if the transaction already held others for this
// file, the whole transaction is marked failed).
template <class Op>
bool RunChange(TxFile& file, const QString& journalDir, QString* error, Op&& op) {
    Transaction tx(journalDir);
    const bool had = file.HasStaged();
    if (!op()) {
        if (Transaction* cur = Transaction::Current()) {
            if (had)
                cur->Doom();
            else if (file.Owner())
                cur->Release(&file);
        }
        return false;
    }
    QString e;
    if (!tx.Commit(&e)) {
        if (error) *error = e.isEmpty() ? QStringLiteral("transaction failed") : e;
        return false;
    }
    return true;
}

} // namespace tables
