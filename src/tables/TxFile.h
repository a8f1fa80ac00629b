#pragma once
// Crash-safe file access for the table libraries.
//
// pxlib and shapelib write a record, a block header and a file header with
// separate writes; a process killed between them leaves a table whose counts
// disagree with its rows (a deleted Paradox record can even leave its
// neighbour twice). Both libraries therefore do their I/O through a TxFile:
// a page cache whose writes are only staged. A Transaction commits the staged
// writes of every file it touched at once:
//   1. the after-images of all changed byte ranges, with a checksum, go to the
//      journal file of the transaction's directory in one write;
//   2. they are written to the files;
//   3. the journal is marked empty.
// A process killed during 1 leaves a journal whose checksum fails: nothing had
// reached the files. Killed during 2 or 3: the next start finds a complete
// journal and writes it again (RecoverJournal). So a commit is all or nothing
// across files, e.g. a tariff record, a day-file row and the deletion of the
// call start they bill.
//
// Flushing to the physical disk (fsync) is not done: the guarantee covers the
// death of the process, not a power cut.
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
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

    // Opens the file (it must exist); recovers the directory's journal first.
    bool Open(bool writable, QString* error);
    // Drops staged changes and the cache.
    void Close();
    bool IsOpen() const { return m_file.isOpen(); }
    bool Writable() const { return m_writable; }
    QString Path() const { return m_path; }

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
    bool ApplyStaged(QString* error);
    void DiscardStaged();
    void Detach() { m_tx = nullptr; }

private:
    friend class Transaction;
    static constexpr int kPage = 4096;
    struct Page {
        std::array<char, kPage> data{};
        int lo = kPage; // dirty byte range [lo, hi)
        int hi = 0;
    };
    Page* GetPage(qint64 index, bool* ok);
    void NoteDiskState();

    QString m_path;
    QFile m_file;
    bool m_writable = false;
    std::unordered_map<qint64, std::unique_ptr<Page>> m_pages;
    qint64 m_diskSize = 0;
    qint64 m_size = 0;
    bool m_staged = false;
    Transaction* m_tx = nullptr;
    qint64 m_statSize = -1;
    qint64 m_statTime = 0;
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
    bool Joined() const { return m_outer != nullptr; }

    // Crash simulation for tests: stop after writing the journal, or after
    // writing the first file, as if the process had been killed there (the
    // staged changes stay out of this process's caches).
    enum class Stop { None, AfterJournal, AfterFirstFile };
    bool Commit(QString* error, Stop stop = Stop::None);
    void Rollback();

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
// Writes a complete journal left by a cut-short commit into its files and
// marks it empty; a torn journal is discarded. True when the directory's
// files are consistent afterwards.
bool RecoverJournal(const QString& dir, QString* error);

uint32_t Crc32(const char* data, qint64 n, uint32_t crc = 0);

} // namespace tables
