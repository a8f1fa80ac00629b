#pragma once
// Verify and rebuild of Paradox tables: the table utility's operations.
//
// Verify reads the file itself (not through pxlib, which trusts the header)
// and reports what it finds with a result code:
//   0  no errors;
//   1  damage found and fully assessed: a rebuild repairs it (a header count
//      that disagrees with the blocks, broken block links, a truncated file,
//      damaged block headers or field values, keys out of order);
//   2  part of the file could not be read (an I/O error): the check is
//      incomplete;
//   3  the header's field list is unreadable, or does not fit the blocks (its
//      record size is no whole share of what the blocks hold): a rebuild
//      needs the structure from elsewhere (a healthy table of the same kind,
//      or the program's own description of the table);
//   4  not a rebuildable data table (an encrypted table, or an index file).
// A header size or block size that does not explain the blocks is replaced
// by the one that does (the header's, or what a new table of the structure
// gets), a key count that disagrees with the primary index by the index's.
// Rebuild writes a new table of the given structure from every row that can
// still be read (rows a damaged block count hides included, when the header
// counts them), keeps the old file as "Backup.Db" and puts rejected rows
// into "KEYVIOL.DB" (duplicate keys) and "PROBLEM.DB" (rows of damaged
// blocks or with damaged values, rows of blocks outside the block chain).
// The table file is replaced in one step: it is always either the old or
// the complete new table.
#include "tables/Table.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tables {

// The table properties the utility window shows.
struct TableProps {
    int fields = 0;
    int recordSize = 0;
    int indexes = 0;
    int validities = 0;
    int references = 0;
    int restructureVersion = 0;
    int auxPasswords = 0;
    int codePage = 0;
    int blockSize = 0; // KB
    int tableLevel = 0;
};

// A table's structure as a rebuild writes it: each field with its stored
// Paradox type code and length byte.
struct TableDesc {
    struct Field {
        QString name;
        int type = 0;
        int length = 0;
        bool operator==(const Field&) const = default;
    };
    QList<Field> fields;
    int keyFields = 0;

    // The structure of a table the store creates from this field list.
    static TableDesc FromFields(const FieldList& fields, int keyFields = 0);
    int RecordSize() const;
    bool operator==(const TableDesc&) const = default;
};

struct TableDescCounts {
    int fields = 0;
    int indexes = 0;
    int security = 0;
    int validities = 0;
    int references = 0;
    int optParams = 0;
    int optDataLen = 0;
};

// Phases of the progress report, as the four progress bars show them.
enum class UtilPhase { Header = 0, Indexes = 1, Data = 2, Rebuild = 8 };

class TTableUtil {
public:
    enum Result {
        NoErrors = 0,
        Completed = 1,
        NotCompleted = 2,
        RebuildManually = 3,
        CannotRebuild = 4
    };
    static inline const QString kBackup = QStringLiteral("Backup.Db");
    static inline const QString kKeyViol = QStringLiteral("KEYVIOL.DB");
    static inline const QString kProblem = QStringLiteral("PROBLEM.DB");

    using Progress = std::function<void(UtilPhase phase, int percent)>;
    // Called during verify and rebuild; an empty function removes it.
    void SetProgress(Progress progress) { m_progress = std::move(progress); }

    // Each returns false when the operation itself fails (LastError says why).
    bool FillCurProps(const QString& path, TableProps& props);
    bool VerifyTable(const QString& path, int& result);
    bool GetTblDescCount(const QString& path, TableDescCounts& counts);
    bool FillTblDesc(const QString& path, TableDesc& desc);
    bool RebuildTable(const QString& path, const TableDesc& desc);

    // What the last verify or rebuild found, one line each.
    QStringList Findings() const { return m_findings; }
    struct RebuildStats {
        int kept = 0;
        int keyViolations = 0;
        int problems = 0;
        int lost = 0; // rows the header promised that are not in the file
    };
    RebuildStats LastRebuild() const { return m_stats; }
    QString LastError() const { return m_error; }

    // "Verification Successful. ..." for 0..4, else "Verification unsuccessful.".
    static QString VerifyMessage(int result);

private:
    bool Fail(const QString& path, const QString& cause);
    void Report(UtilPhase phase, int percent);

    Progress m_progress;
    QStringList m_findings;
    RebuildStats m_stats;
    QString m_error;
};

// The table utility's Verify and Rebuild as the window runs them.
struct UtilRun {
    enum Outcome { CallFailed, NoCounts, FillFailed, Done, NotDone };
    Outcome outcome = CallFailed;
    int result = -1; // verify result
    QString message; // the window's message text
    QString error;   // the failure's cause
};
// Removes what a rebuild of the table that was cut short left (its
// "*.rebuild~" work files); call it while the table is held or closed.
void RemoveRebuildLeftovers(const QString& path);

// Verify: the message of the result, or the failure.
UtilRun RunVerify(TTableUtil& util, const QString& path);
// Whether a rebuild takes the structure it is given over the header's.
enum class StructureUse {
    WhenHeaderUnfit, // the header's, unless unreadable or it does not fit the blocks
    Always           // a model table's structure (varnel-tool rebuild --like)
};
// Rebuild: verify, read the structure (the given one when the header's is
// unreadable or does not fit the blocks, or always; may be null), rebuild.
UtilRun RunRebuild(TTableUtil& util, const QString& path, const TableDesc* fallback,
                   StructureUse use = StructureUse::WhenHeaderUnfit);

inline const QString kRebuildDone = QStringLiteral("Rebuild was successful.");
inline const QString kRebuildFailed = QStringLiteral("Rebuild was not successful.");
inline const QString kFillFailed = QStringLiteral("Error Filling table structure");

} // namespace tables
