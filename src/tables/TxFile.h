#pragma once
// Crash-safe and power-cut-safe file access for the table libraries.
//
// pxlib and shapelib write a record, a block header and a file header with
// separate writes; a process killed between them leaves a table whose counts
// disagree with its rows (a deleted Paradox record can even leave its
// neighbour twice). Both libraries therefore do their I/O through a TxFile:
// a page cache whose writes are only staged. A Transaction commits the staged
// writes of every file it touched at once, through the journal of its folder
// ("Varnel.jnl", a redo log):
//   1. the after-images of all changed byte ranges go into one record of the
//      journal, with a checksum;
//   2. the journal is synced to stable storage (fdatasync, FlushFileBuffers;
//      on Linux the record is written past the page cache just before, so
//      the sync only flushes the disk's cache): from here on the commit
//      survives a power cut;
//   3. the ranges are written to the files (not synced).
// Records pile up in the journal until a checkpoint syncs the files they
// changed and starts the journal afresh (when it is full, when a table is
// closed or replaced). The journal's space is reused, so a sync writes data
// blocks only. A commit cut short anywhere is completed (its record is whole)
// or dropped (it is torn: its checksum fails, and nothing of it reached the
// files) by the next RecoverJournal. So a commit is all or nothing across
// files, e.g. a tariff record, a day-file row and the deletion of the call
// start they bill.
//
// A commit may defer step 2 and 3 (DeferSync): commits that arrive together
// then share one sync (FlushJournals, SyncJournals), and their changes wait
// in the cache; after SyncJournals they wait a little longer for step 3.
//
// A journal names the files of its own folder by name only, and files of
// another table folder by alias (":PelmarkEveryday:1205.dbf"); replay refuses
// anything else (a path, ".."), so a journal can change no file elsewhere.
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tables {

class Transaction;

class TxFile {
public:
    explicit TxFile(const QString& path);
    ~TxFile();
    TxFile(const TxFile&) = delete;
    TxFile& operator=(const TxFile&) = delete;

    // Opens the file (it must exist). A writable open recovers the folder's
    // journal first; a read-only open only when the journal holds a commit
    // of this very file.
    bool Open(bool writable, QString* error);
    // Drops staged changes and the cache; committed changes are written and
    // the journal checkpointed.
    void Close();
    bool IsOpen() const { return m_file.isOpen(); }
    bool Writable() const { return m_writable; }
    QString Path() const { return m_path; }
    // The file's path with links resolved (set by Open).
    QString CanonicalPath() const { return m_canonical; }

    // Size including staged growth.
    qint64 Size() const { return m_size; }
    // Reads up to n bytes at pos (staged data included); returns the count,
    // -1 on a read error.
    qint64 Read(qint64 pos, void* buf, qint64 n);
    // Stages a write. Needs a running transaction, which the file joins.
    bool Write(qint64 pos, const void* buf, qint64 n);
    // Stages a new size (a shrink drops the bytes after it).
    bool Resize(qint64 size);
    bool HasStaged() const { return m_staged; }
    // Committed changes not yet written to the file (a deferred sync).
    bool HasPending() const { return !m_pending.empty() || m_pendingSize >= 0; }
    Transaction* Owner() const { return m_tx; }

    // Whether the file on disk differs from what this object last read or
    // wrote (another program changed it). Forgets the cache when it does.
    bool ChangedOnDisk();
    void DropCache();

    // Called when staged changes are discarded (rollback), so the owner can
    // resynchronise a library's view of the file.
    std::function<void()> OnDiscard;

    // Used by Transaction.
    struct Extent {
        qint64 offset = 0;
        QByteArray data;
    };
    void CollectExtents(std::vector<Extent>& out) const;
    // Staged changes become committed ones, kept until WritePending.
    void MarkCommitted();
    bool WritePending(QString* error);
    void DiscardStaged();
    // Forgets staged and committed changes and the cache (a simulated crash).
    void ForgetAll();
    void Detach() { m_tx = nullptr; }
    bool SyncToDisk(QString* error);

private:
    friend class Transaction;
    static constexpr int kPage = 4096;
    struct Page {
        std::array<char, kPage> data{};
        int lo = kPage; // dirty byte range [lo, hi)
        int hi = 0;
    };
    Page* GetPage(qint64 index, bool* ok);
    void ForgetPages() {
        m_pages.clear();
        m_dirty.clear();
        m_lastPage = nullptr;
    }
    void NoteDiskState(bool ofHandle = false);
    qint64 CommittedSize() const { return m_pendingSize >= 0 ? m_pendingSize : m_diskSize; }

    QString m_path;
    QString m_canonical;
    QFile m_file;
    bool m_writable = false;
    std::unordered_map<qint64, std::unique_ptr<Page>> m_pages;
    // Pages that became dirty since the last commit or rollback (a commit
    // looks at these, not at every cached page).
    std::vector<qint64> m_dirty;
    // The page used last (the libraries write a header or a row in many
    // small pieces).
    qint64 m_lastIndex = -1;
    Page* m_lastPage = nullptr;
    // Committed images of pages not yet written, with their changed range.
    std::map<qint64, std::unique_ptr<Page>> m_pending;
    qint64 m_pendingSize = -1; // committed size while not yet written
    qint64 m_diskSize = 0;
    qint64 m_size = 0;
    bool m_staged = false;
    Transaction* m_tx = nullptr;
    qint64 m_statSize = -1;
    qint64 m_statTime = 0; // modification time, or the inode of a file written here
    quint64 m_statDev = 0;
    quint64 m_statGen = 0; // this process's writes to it
    // When a read-only file was last asked, and the process's file writes then.
    qint64 m_checkedAt = 0;
    quint64 m_checkedWrites = ~quint64(0);
};

// One unit of change over one or more TxFiles. At most one is current; a
// Transaction made while another is current joins it (its Commit does
// nothing, the outer one decides). Destroyed without Commit: rolled back.
class Transaction {
public:
    // journalDir: where the journal lives (the tariff database's directory).
    explicit Transaction(const QString& journalDir);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    static Transaction* Current();

    // Crash simulation for tests: stop as if the process had died there (the
    // changes stay out of this process's caches, its journal state is
    // forgotten): half way through the journal record, after the synced
    // record, after writing the first file, after writing all files.
    enum class Stop { None, TornJournal, AfterJournal, AfterFirstFile, AfterAllFiles };
    bool Commit(QString* error, Stop stop = Stop::None);
    void Rollback();

    // The commit is journalled, but synced and written to the files only by
    // the next FlushJournals (or the next commit that is not deferred).
    // Readers in this process see it at once.
    void DeferSync() { m_deferSync = true; }

    void Enlist(TxFile* f);
    // Drops one file's staged changes and takes it out of the transaction
    // (the cancel of one table's failed change).
    void Release(TxFile* f);
    // Marks the transaction as failed: Commit will roll back.
    void Doom() { m_doomed = true; }
    bool Doomed() const { return m_doomed; }

private:
    QString m_dir;
    Transaction* m_outer = nullptr;
    std::vector<TxFile*> m_files;
    bool m_done = false;
    bool m_doomed = false;
    bool m_deferSync = false;
};

// A table file held for exclusive use (a rebuild). Every TxFile holds a
// shared lock on its open file, so this fails while any program, this one
// included, has the table open through the store; and a table held so
// cannot be opened. Released in the destructor (or when the process dies).
class ExclusiveHold {
public:
    ExclusiveHold() = default;
    ~ExclusiveHold();
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;
    bool Acquire(const QString& path, QString* error);

private:
    QFile m_file;
};

// Journal file of a directory.
QString JournalPath(const QString& dir);
// Completes the commits a cut-short process left in the directory's journal
// (a torn last record is dropped), syncs the files and empties the journal.
// True when the directory's files are consistent afterwards.
bool RecoverJournal(const QString& dir, QString* error);
// Syncs the deferred commits of every journal and writes them to their files.
bool FlushJournals(QString* error = nullptr);
// Syncs the deferred commits of every journal: they are durable when it
// returns. Their changes reach the files at the next FlushJournals, at the
// latest a tenth of a second later from the event loop, so that the commits
// of a busy line share their writes of a table's header and blocks; until
// then the journal stays locked for other processes. Another object of such
// a file in this process writes them before it reads the file.
bool SyncJournals(QString* error = nullptr);
// Syncs the files the journal's commits changed and empties it.
bool CheckpointJournal(const QString& dir, QString* error = nullptr);
// Checkpoints every journal this process uses.
bool CheckpointOpenJournals();
// Syncs an open file's data, and a folder's entries (a rename in it).
bool SyncFileHandle(int fd);
void SyncFolder(const QString& dir);
// Journal syncs this process has made (tests, benchmarks).
quint64 JournalSyncCount();
// The folder of a table alias, so that a journal elsewhere can name its files
// (":ALIAS:FILE"). Set by AliasDirectory.
void RegisterAliasDir(const QString& alias, const QString& dir);

uint32_t Crc32(const char* data, qint64 n, uint32_t crc = 0);

} // namespace tables
