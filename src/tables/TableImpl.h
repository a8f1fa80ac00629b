#pragma once
// Shared by the table store's implementations; not for use outside src/tables.
#include "tables/Table.h"
#include "tables/TxFile.h"

#include <QDate>

#include <functional>
#include <vector>

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

// A field as a Paradox header stores it: name (Windows-1251), type code and
// length byte (for a BCD field its digits).
struct PxFieldSpec {
    QByteArray name;
    int type = 0;
    int length = 0;
};

// The Paradox field of a field definition (a type this program does not write
// is stored as text).
PxFieldSpec PxFieldOf(const FieldDef& f);

// Writes a complete Paradox table with these fields and raw rows (and for a
// keyed one its primary index) into new files; nothing is left on failure.
// onRow is told how many rows have been written.
bool BuildParadoxFile(const QString& file, const QByteArray& tableName,
                      const std::vector<PxFieldSpec>& fields, int keyFields,
                      const std::vector<QByteArray>& rows, const QString& indexFile, QString* error,
                      const std::function<void(size_t)>& onRow = {});

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

// A table in one file that a format library reads and writes through a
// TxFile. The file's lifecycle (open, close, reading it again after an
// outside change or a discarded change) is common; a format opens and closes
// the library's view of the file (its handle) through the hooks.
class FileTable : public Table {
public:
    bool Open(bool readOnly) final;
    void Close() final;
    bool IsOpen() const final { return m_file.IsOpen(); }

protected:
    explicit FileTable(const QString& path);

    // Checks the file's structure before the library sees it.
    virtual bool Validate(QString* why) = 0;
    // Opens the handle on the validated file and reads the field list; a
    // failure is reported through LoadFailed.
    virtual bool OpenHandle() = 0;
    // Closing a closed handle is allowed.
    virtual void CloseHandle() = 0;
    virtual bool HasHandle() const = 0;

    bool Refresh() final;
    void DoCancel() final;

    // Validates the file and opens the handle; a failed load leaves none.
    bool Load();
    // Notes why the file cannot be loaded (Refresh repeats it); returns false.
    bool LoadFailed(const QString& cause);
    // Runs op as one change of the file; false with LastError set.
    bool Change(const std::function<bool()>& op);
    QString JournalDir() const;

    TxFile m_file;
    bool m_stale = false; // the handle must be opened again before use

private:
    QString m_loadError;
};

} // namespace tables
