#include "tables/TxFile.h"

#include "platform/ProgramLog.h"
#include "tables/Aliases.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace tables {

namespace {

// Journal layout: a header (magic, generation salt, checksum), then records
// (magic, salt, payload length, payload, checksum of salt, length and
// payload). A record belongs to the log while its salt is the header's and
// its checksum holds; a new salt (a checkpoint) ends every record at once.
// The payload lists files: name, size after the commit, changed extents.
constexpr char kHeadMagic[4] = {'V', 'J', 'N', '2'};
constexpr char kRecMagic[4] = {'V', 'R', 'E', 'C'};
constexpr char kOldMagic[4] = {'V', 'J', 'N', '1'};
constexpr qint64 kHeadSize = 16;
constexpr qint64 kRecHead = 16;                // magic, salt, length
constexpr qint64 kJournalLimit = 1 << 20;      // a checkpoint before the log passes this
constexpr qint64 kJournalGrow = kJournalLimit; // the file grows in steps of zeros
constexpr qint64 kMaxRecord = qint64(1) << 30; // a length beyond is damage
constexpr int kMaxPages = 4096;                // clean pages kept per file (16 MB)
constexpr qint64 kBlock = 4096;                // direct journal writes: alignment
constexpr qint64 kDirectMax = 1 << 18;         // and the most gathered (more: through the cache)
constexpr int kWriteBackMs = 100;              // synced commits wait so long for their files
constexpr qint64 kRecheckNs = 10'000'000;      // a read-only file is asked again after

Transaction* g_current = nullptr;
quint64 g_syncs = 0;
quint64 g_fileWrites = 0; // writes and replacements of table files by this process

QString CanonicalDir(const QString& dir) {
    // Resolving links costs a system call per path part; commits ask often.
    static QHash<QString, QString> known;
    if (const auto it = known.constFind(dir); it != known.constEnd()) return it.value();
    const QFileInfo fi(dir);
    const QString c = fi.canonicalFilePath();
    if (c.isEmpty()) return QDir::cleanPath(fi.absoluteFilePath());
    if (known.size() > 256) known.clear();
    known.insert(dir, c);
    return c;
}

QString CanonicalFile(const QString& path) {
    const QFileInfo fi(path);
    return CanonicalDir(fi.absolutePath()) + QLatin1Char('/') + fi.fileName();
}

// Directories whose journal this process has recovered.
QSet<QString>& RecoveredDirs() {
    static QSet<QString> s;
    return s;
}

QHash<QString, QString>& AliasDirs() {
    static QHash<QString, QString> s;
    return s;
}

void PutU32(QByteArray& b, uint32_t v) {
    char c[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    b.append(c, 4);
}
void PutU64(QByteArray& b, quint64 v) {
    PutU32(b, uint32_t(v));
    PutU32(b, uint32_t(v >> 32));
}
uint32_t GetU32(const char* p) {
    const auto* c = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
}
quint64 GetU64(const char* p) {
    return quint64(GetU32(p)) | quint64(GetU32(p + 4)) << 32;
}

// Bounds-checked reader over a record's payload.
struct Reader {
    const char* p;
    qint64 n;
    qint64 pos = 0;
    bool ok = true;
    uint32_t U32() {
        if (!ok || pos + 4 > n) return ok = false, 0;
        pos += 4;
        return GetU32(p + pos - 4);
    }
    qint64 I64() {
        if (!ok || pos + 8 > n) return ok = false, 0;
        pos += 8;
        return qint64(GetU64(p + pos - 8));
    }
    QByteArray Bytes(qint64 k) {
        if (!ok || k < 0 || pos + k > n) return ok = false, QByteArray();
        pos += k;
        return QByteArray(p + pos - k, k);
    }
};

// Why the last positioned write failed (QFile does not see those calls).
QString& LastIoError() {
    static QString s;
    return s;
}

// Positioned I/O: one system call, no seek (the journal and the tables are
// opened unbuffered, so QFile keeps no position of its own to go stale).
bool WriteAt(QFile& f, qint64 pos, const char* data, qint64 n) {
#ifdef Q_OS_UNIX
    while (n > 0) {
        const ssize_t w = ::pwrite(f.handle(), data, size_t(n), off_t(pos));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            LastIoError() = QString::fromLocal8Bit(std::strerror(w < 0 ? errno : ENOSPC));
            return false;
        }
        data += w;
        pos += w;
        n -= w;
    }
    return true;
#else
    if (f.seek(pos) && f.write(data, n) == n) return true;
    LastIoError() = f.errorString();
    return false;
#endif
}

qint64 ReadAt(QFile& f, qint64 pos, char* data, qint64 n) {
#ifdef Q_OS_UNIX
    qint64 done = 0;
    while (done < n) {
        const ssize_t r = ::pread(f.handle(), data + done, size_t(n - done), off_t(pos + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        done += r;
    }
    return done;
#else
    return f.seek(pos) ? f.read(data, n) : -1;
#endif
}

// A file's size without stat. On Linux a file whose times were read gets a
// fine time at its next write, and that moves the coarse clock of every
// file: the journal's next write then changes its inode's times, and the
// journal's sync writes the inode as well (a third disk request, about half
// as much time again).
qint64 SizeOf(QFile& f) {
#ifdef Q_OS_UNIX
    const off_t end = ::lseek(f.handle(), 0, SEEK_END);
    return end < 0 ? f.size() : qint64(end);
#else
    return f.size();
#endif
}

bool SyncHandle(int fd) {
#if defined(Q_OS_WIN)
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd))) != 0;
#elif defined(Q_OS_MACOS)
    return ::fcntl(fd, F_FULLFSYNC) == 0 || ::fsync(fd) == 0;
#else
    return ::fdatasync(fd) == 0;
#endif
}

// Syncs a file by path (a file of a commit that this process no longer has
// open, or another process's).
bool SyncPath(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::ExistingOnly)) return !f.exists();
    return SyncHandle(f.handle());
}

// A file name of the journal's folder: no folder part, not "." or "..".
bool PlainName(const QString& n) {
    return !n.isEmpty() && n != QLatin1String(".") && n != QLatin1String("..") &&
           !n.contains(QLatin1Char('/')) && !n.contains(QLatin1Char('\\')) &&
           !n.contains(QLatin1Char(':')) && !n.contains(QChar(0));
}

QString NewlineFree(const QString& s) {
    QString t = s.left(200);
    for (QChar& c : t)
        if (c.unicode() < 32) c = QLatin1Char('?');
    return t;
}

// The folder of a table alias: as registered by this process, else as the
// settings give it (not made). Only the two table aliases are known.
QString AliasFolder(const QString& alias) {
    for (auto it = AliasDirs().cbegin(); it != AliasDirs().cend(); ++it)
        if (it.key().compare(alias, Qt::CaseInsensitive) == 0) return it.value();
    const QString dir = AliasDirectory(alias, QDir::currentPath(), nullptr, false);
    return dir.isEmpty() ? QString() : CanonicalDir(dir);
}

bool KnownAlias(const QString& alias) {
    return alias.compare(kAliasStandard, Qt::CaseInsensitive) == 0 ||
           alias.compare(kAliasEveryday, Qt::CaseInsensitive) == 0;
}

// One file of a record.
struct FileEntry {
    QString name;
    qint64 newSize = 0;
    std::vector<std::pair<qint64, QByteArray>> extents;
};

bool ParsePayload(const QByteArray& payload, std::vector<FileEntry>& out) {
    Reader r{payload.constData(), payload.size()};
    const uint32_t files = r.U32();
    for (uint32_t i = 0; r.ok && i < files; ++i) {
        FileEntry e;
        e.name = QString::fromUtf8(r.Bytes(r.U32()));
        e.newSize = r.I64();
        const uint32_t extents = r.U32();
        for (uint32_t k = 0; r.ok && k < extents; ++k) {
            const qint64 off = r.I64();
            QByteArray data = r.Bytes(r.U32());
            if (off < 0) r.ok = false;
            e.extents.emplace_back(off, std::move(data));
        }
        if (e.newSize < 0) r.ok = false;
        out.push_back(std::move(e));
    }
    return r.ok && r.pos == r.n;
}

// The bytes a run of records leaves in one file: later records win.
struct Overlay {
    struct Chunk {
        std::array<char, 4096> data{};
        std::bitset<4096> set;
    };
    std::map<qint64, Chunk> chunks;
    qint64 size = 0;

    void Apply(const FileEntry& e) {
        if (e.newSize < size) {
            for (auto it = chunks.lower_bound(e.newSize / 4096); it != chunks.end();) {
                const qint64 start = it->first * 4096;
                if (start >= e.newSize) {
                    it = chunks.erase(it);
                    continue;
                }
                for (qint64 k = e.newSize - start; k < 4096; ++k)
                    it->second.set.reset(size_t(k));
                ++it;
            }
        }
        size = e.newSize;
        for (const auto& [off, data] : e.extents) {
            const qint64 end = std::min<qint64>(off + data.size(), size);
            for (qint64 at = off; at < end;) {
                const qint64 in = at % 4096;
                const qint64 k = std::min<qint64>(4096 - in, end - at);
                Chunk& c = chunks[at / 4096];
                std::memcpy(c.data.data() + in, data.constData() + (at - off), size_t(k));
                for (qint64 b = in; b < in + k; ++b)
                    c.set.set(size_t(b));
                at += k;
            }
        }
    }

    // Writes the bytes that differ from the file, then sets its size.
    bool WriteTo(QFile& f, QString* error) const {
        for (const auto& [index, c] : chunks) {
            size_t i = 0;
            while (i < 4096) {
                if (!c.set.test(i)) {
                    ++i;
                    continue;
                }
                size_t j = i;
                while (j < 4096 && c.set.test(j))
                    ++j;
                const qint64 at = index * 4096 + qint64(i);
                const qint64 n = qint64(j - i);
                QByteArray now(n, 0);
                const bool same = ReadAt(f, at, now.data(), n) == n &&
                                  std::memcmp(now.constData(), c.data.data() + i, size_t(n)) == 0;
                if (!same && !WriteAt(f, at, c.data.data() + i, n)) {
                    if (error) *error = f.fileName() + QStringLiteral(": ") + LastIoError();
                    return false;
                }
                i = j;
            }
        }
        if (f.size() != size && !f.resize(size)) {
            if (error) *error = f.fileName() + QStringLiteral(": ") + f.errorString();
            return false;
        }
        return true;
    }
};

// The journal of one folder, as this process uses it.
struct Journal {
    QString dir;
    QFile file;
    int locks = 0;
    bool deferHeld = false; // a lock level kept for deferred commits
    bool unsynced = false;  // a record written since the last sync
    quint64 salt = 0;       // generation of the header (0: none)
    qint64 end = kHeadSize; // where the next record goes
    qint64 fileSize = 0;
    std::vector<TxFile*> pending; // files with deferred commits
    QSet<QString> written;        // files changed since the last checkpoint
    // Every record of the log is this process's own and written to its
    // files: a checkpoint need not read them again.
    bool ownLog = false;
#ifdef Q_OS_LINUX
    // The journal opened for direct writes (-1: the file system refuses
    // them), and an aligned buffer whose first block holds the journal's
    // block at mirrorAt as far as the log goes (-1: not known).
    int direct = -1;
    qint64 mirrorAt = -1;
    // Records in the buffer not yet written: [outFrom, outEnd) (-1: none).
    qint64 outFrom = -1;
    qint64 outEnd = 0;
    std::unique_ptr<char, decltype(&std::free)> buf{nullptr, &std::free};
    ~Journal() {
        if (direct >= 0) ::close(direct);
    }
#endif
};

std::map<QString, std::unique_ptr<Journal>>& Journals() {
    static std::map<QString, std::unique_ptr<Journal>> s;
    return s;
}

Journal* GetJournal(const QString& dir, QString* error) {
    auto& j = Journals()[dir];
    if (!j) {
        j = std::make_unique<Journal>();
        j->dir = dir;
        j->file.setFileName(JournalPath(dir));
    }
    if (!j->file.isOpen() && !j->file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        if (error) *error = j->file.fileName() + QStringLiteral(": ") + j->file.errorString();
        Journals().erase(dir);
        return nullptr;
    }
#ifdef Q_OS_LINUX
    if (j->direct < 0 && !j->buf) {
        void* p = nullptr;
        if (::posix_memalign(&p, kBlock, kDirectMax) == 0) {
            j->buf.reset(static_cast<char*>(p));
            j->direct = ::open(QFile::encodeName(j->file.fileName()).constData(),
                               O_RDWR | O_DIRECT | O_CLOEXEC);
        }
    }
#endif
    return j.get();
}

bool ReadHeader(QFile& f, quint64* salt) {
    char h[kHeadSize];
    if (ReadAt(f, 0, h, kHeadSize) != kHeadSize) return false;
    if (std::memcmp(h, kHeadMagic, 4) != 0) return false;
    if (GetU32(h + 12) != Crc32(h, 12)) return false;
    *salt = GetU64(h + 4);
    return *salt != 0;
}

// The record at pos, if it is whole and of this generation.
bool ReadRecord(QFile& f, qint64 pos, quint64 salt, QByteArray* payload, qint64* next) {
    char h[kRecHead];
    if (ReadAt(f, pos, h, kRecHead) != kRecHead) return false;
    if (std::memcmp(h, kRecMagic, 4) != 0 || GetU64(h + 4) != salt) return false;
    const qint64 len = GetU32(h + 12);
    if (len > kMaxRecord || pos + kRecHead + len + 4 > SizeOf(f)) return false;
    QByteArray body(len + 4, 0);
    if (ReadAt(f, pos + kRecHead, body.data(), body.size()) != body.size()) return false;
    uint32_t crc = Crc32(h + 4, 12);
    crc = Crc32(body.constData(), len, crc);
    if (GetU32(body.constData() + len) != crc) return false;
    if (payload) *payload = body.left(len);
    *next = pos + kRecHead + len + 4;
    return true;
}

// All whole records of the current generation, in order.
std::vector<QByteArray> ReadLog(QFile& f, qint64* end = nullptr) {
    std::vector<QByteArray> out;
    quint64 salt = 0;
    qint64 pos = kHeadSize;
    if (ReadHeader(f, &salt)) {
        QByteArray p;
        qint64 next = 0;
        while (ReadRecord(f, pos, salt, &p, &next)) {
            out.push_back(p);
            pos = next;
        }
    }
    if (end) *end = pos;
    return out;
}

#ifdef Q_OS_LINUX
bool WriteOut(Journal& j);
#endif

bool Sync(Journal& j, QString* error) {
    ++g_syncs;
#ifdef Q_OS_LINUX
    if (!WriteOut(j)) {
        if (error) *error = j.file.fileName() + QStringLiteral(": ") + LastIoError();
        return false;
    }
#endif
    if (SyncHandle(j.file.handle())) return true;
    if (error) *error = j.file.fileName() + QStringLiteral(": sync failed");
    return false;
}

// Takes the folder's journal for this process (other processes wait) and
// finds where the log ends: another process may have added to it or
// started it afresh.
bool Lock(Journal& j) {
    if (j.locks++ > 0) return true;
#ifdef Q_OS_UNIX
    while (::flock(j.file.handle(), LOCK_EX) != 0)
        if (errno != EINTR) break;
#endif
#ifdef Q_OS_LINUX
    j.mirrorAt = -1; // another process may have written since
#endif
    j.fileSize = SizeOf(j.file);
    quint64 salt = 0;
    if (!ReadHeader(j.file, &salt)) {
        j.salt = 0;
        j.end = kHeadSize;
        j.ownLog = false;
        return true;
    }
    qint64 next = 0;
    if (salt != j.salt || ReadRecord(j.file, j.end, salt, nullptr, &next)) {
        j.salt = salt;
        ReadLog(j.file, &j.end);
        j.ownLog = false;
    }
    return true;
}

void Unlock(Journal& j) {
    if (j.locks <= 0 || --j.locks > 0) return;
#ifdef Q_OS_UNIX
    ::flock(j.file.handle(), LOCK_UN);
#endif
}

#ifdef Q_OS_LINUX
// Writes the records appended since the last write-out past the page cache,
// in whole blocks, and keeps the last block for the records that follow.
bool WriteOut(Journal& j) {
    if (j.outFrom < 0) return true;
    const qint64 a = j.mirrorAt;
    const qint64 e = (j.outEnd + kBlock - 1) / kBlock * kBlock;
    ssize_t w = 0;
    while ((w = ::pwrite(j.direct, j.buf.get(), size_t(e - a), off_t(a))) < 0 && errno == EINTR) {
    }
    const qint64 from = j.outFrom;
    j.outFrom = -1;
    if (w != e - a) {
        // Through the cache instead (the sync reports a failing disk); a
        // file system without direct I/O is not asked again.
        j.mirrorAt = -1;
        if (w < 0 && errno == EINVAL) {
            ::close(j.direct);
            j.direct = -1;
        }
        return WriteAt(j.file, from, j.buf.get() + (from - a), j.outEnd - from);
    }
    const qint64 last = j.outEnd / kBlock * kBlock;
    if (last > a) std::memmove(j.buf.get(), j.buf.get() + (last - a), size_t(kBlock));
    j.mirrorAt = last;
    return true;
}
#endif

// Appends a record at the log's end. On Linux the records go past the page
// cache (O_DIRECT), gathered until the sync and written in whole blocks: the
// sync then only flushes the disk's cache instead of finding and writing
// back dirty pages. The first block's bytes before them come from the copy
// of the last block written.
bool AppendRecord(Journal& j, const char* data, qint64 n) {
    const qint64 pos = j.end;
#ifdef Q_OS_LINUX
    if (j.direct >= 0) {
        const qint64 a = j.outFrom >= 0 ? j.mirrorAt : pos / kBlock * kBlock;
        const qint64 e = (pos + n + kBlock - 1) / kBlock * kBlock;
        if (e - a <= kDirectMax && e <= j.fileSize) {
            char* b = j.buf.get();
            if (j.outFrom < 0 && j.mirrorAt != a) {
                if (ReadAt(j.file, a, b, pos - a) != pos - a) return false;
                j.mirrorAt = a;
            }
            std::memcpy(b + (pos - a), data, size_t(n));
            std::memset(b + (pos - a) + n, 0, size_t(e - pos - n));
            if (j.outFrom < 0) j.outFrom = pos;
            j.outEnd = pos + n;
            return true;
        }
        if (!WriteOut(j)) return false;
    }
    j.mirrorAt = -1;
#endif
    return WriteAt(j.file, pos, data, n);
}

// A new generation: every record in the file stops counting.
bool StartAfresh(Journal& j, QString* error) {
    quint64 salt = 0;
    while (salt == 0 || salt == j.salt)
        salt = QRandomGenerator::global()->generate64();
    QByteArray h(kHeadMagic, 4);
    PutU64(h, salt);
    PutU32(h, Crc32(h.constData(), 12));
#ifdef Q_OS_LINUX
    j.mirrorAt = -1;
#endif
    if (!WriteAt(j.file, 0, h.constData(), h.size())) {
        if (error) *error = j.file.fileName() + QStringLiteral(": ") + LastIoError();
        return false;
    }
    j.salt = salt;
    j.end = kHeadSize;
    j.fileSize = std::max(j.fileSize, kHeadSize);
    j.ownLog = true;
    return true;
}

// Where a journal's file name points; empty (why set) when it is refused.
QString Resolve(const Journal& j, const QString& name, QString* why) {
    if (PlainName(name)) return j.dir + QLatin1Char('/') + name;
    static const QRegularExpression aliased(QStringLiteral("^:([A-Za-z0-9_]{1,64}):(.+)$"));
    const auto m = aliased.match(name);
    if (!m.hasMatch() || !KnownAlias(m.captured(1)) || !PlainName(m.captured(2))) {
        *why = QStringLiteral("refused");
        return {};
    }
    const QString dir = AliasFolder(m.captured(1));
    if (dir.isEmpty()) {
        *why = QStringLiteral("alias %1 has no folder here").arg(m.captured(1));
        return {};
    }
    return dir + QLatin1Char('/') + m.captured(2);
}

// How the journal names a file of a commit (its canonical path).
QString NameIn(const Journal& j, const QString& path, QString* error) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QStringView dir = QStringView(path).left(slash);
    const QString name = path.mid(slash + 1);
    if (dir == j.dir) return name;
    for (auto it = AliasDirs().cbegin(); it != AliasDirs().cend(); ++it)
        if (it.value() == dir && KnownAlias(it.key()))
            return QLatin1Char(':') + it.key() + QLatin1Char(':') + name;
    if (error)
        *error = QStringLiteral("%1 is outside the journal's folder %2")
                     .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(j.dir));
    return {};
}

// Deferred commits: sync the journal once (unless SyncJournals did), write
// them to their files.
bool FlushLocked(Journal& j, QString* error) {
    if (!j.deferHeld) return true;
    // A failed sync is reported; the changes still go to the files (their
    // record is in the journal for the next sync or start).
    bool ok = !j.unsynced || Sync(j, error);
    j.unsynced = false;
    for (TxFile* f : j.pending) {
        if (!f->WritePending(ok ? error : nullptr)) ok = false;
        j.written.insert(f->CanonicalPath());
    }
    j.pending.clear();
    j.deferHeld = false;
    Unlock(j);
    return ok;
}

// Writes what the log's records leave in their files (only bytes that
// differ, so a live writer's files see no change), syncs every file changed
// since the last checkpoint and starts the log afresh. A record naming a
// file outside the folder and the table aliases is refused with a log line.
// When a name cannot be resolved here (an alias of another working folder),
// the log is left for a process that can.
bool CheckpointLocked(Journal& j, QString* error) {
    if (!FlushLocked(j, error)) return false;
    const bool hasRecords = j.end > kHeadSize;
    std::map<QString, Overlay> files;
    bool complete = true;
    if (hasRecords && !j.ownLog) {
        for (const QByteArray& payload : ReadLog(j.file)) {
            std::vector<FileEntry> entries;
            if (!ParsePayload(payload, entries)) {
                WriteLog(JournalPath(j.dir) + QStringLiteral(": malformed record skipped"));
                continue;
            }
            for (const FileEntry& e : entries) {
                QString why;
                const QString path = Resolve(j, e.name, &why);
                if (path.isEmpty()) {
                    if (why == QLatin1String("refused"))
                        WriteLog(JournalPath(j.dir) +
                                 QStringLiteral(": refused to replay a file outside its folder: ") +
                                 NewlineFree(e.name));
                    else
                        complete = false;
                    continue;
                }
                files[CanonicalFile(path)].Apply(e);
            }
        }
    }
    if (!complete) {
        WriteLog(JournalPath(j.dir) +
                 QStringLiteral(": kept for the terminal (a table alias of another folder)"));
        for (const QString& p : std::as_const(j.written))
            SyncPath(p);
        j.written.clear();
        return true;
    }
    for (auto& [path, overlay] : files) {
        QFile f(path);
        if (!QFileInfo(path).isFile() ||
            !f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered))
            continue; // the table is gone
        if (!overlay.WriteTo(f, error)) return false;
        j.written.insert(path);
    }
    for (const QString& p : std::as_const(j.written)) {
        if (!SyncPath(p)) {
            if (error) *error = p + QStringLiteral(": sync failed");
            return false;
        }
    }
    j.written.clear();
    if (!hasRecords && j.salt != 0) return true;
    if (!StartAfresh(j, error) || !Sync(j, error)) return false;
    // A journal once grown far beyond its size (a large load) is cut back.
    if (j.fileSize > 4 * kJournalLimit && j.file.resize(kJournalLimit)) j.fileSize = kJournalLimit;
    return true;
}

// Whether the folder's journal holds a commit of this file (read only).
bool JournalNames(const QString& dir, const QString& canonicalPath) {
    QFile f(JournalPath(dir));
    if (!f.open(QIODevice::ReadOnly)) return false;
    Journal probe;
    probe.dir = dir;
    for (const QByteArray& payload : ReadLog(f)) {
        std::vector<FileEntry> entries;
        ParsePayload(payload, entries);
        for (const FileEntry& e : entries) {
            QString why;
            const QString path = Resolve(probe, e.name, &why);
            if (!path.isEmpty() && CanonicalFile(path) == canonicalPath) return true;
        }
    }
    return false;
}

// Another object of a file in this process is about to read the file
// itself: commits of that file still waiting in this process's caches go
// to it first.
void FlushFor(const TxFile* reader, const QString& canonicalPath) {
    for (auto& [dir, j] : Journals())
        for (const TxFile* f : j->pending)
            if (f != reader && f->CanonicalPath() == canonicalPath) {
                FlushLocked(*j, nullptr);
                break;
            }
}

void DropPending(TxFile* f) {
    for (auto& [dir, j] : Journals())
        j->pending.erase(std::remove(j->pending.begin(), j->pending.end(), f), j->pending.end());
}

void ForgetJournal(const QString& dir) {
    auto it = Journals().find(dir);
    if (it == Journals().end()) return;
    for (TxFile* f : it->second->pending)
        f->ForgetAll();
    it->second->file.close(); // releases the lock
    Journals().erase(it);
    RecoveredDirs().remove(dir);
}

} // namespace

uint32_t Crc32(const char* data, qint64 n, uint32_t crc) {
    // CRC-32 (the zlib polynomial), eight bytes a step (slicing by eight).
    static const auto tables = [] {
        std::array<std::array<uint32_t, 256>, 8> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t k = 1; k < 8; ++k)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    crc = ~crc;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                   uint32_t(p[3]) << 24);
        crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
              tables[4][lo >> 24] ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^
              tables[0][p[7]];
    }
    for (; n > 0; --n, ++p)
        crc = tables[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QString JournalPath(const QString& dir) {
    return CanonicalDir(dir) + QStringLiteral("/Varnel.jnl");
}

void RegisterAliasDir(const QString& alias, const QString& dir) {
    AliasDirs().insert(alias, CanonicalDir(dir));
}

quint64 JournalSyncCount() {
    return g_syncs;
}

bool RecoverJournal(const QString& dirIn, QString* error) {
    const QString dir = CanonicalDir(dirIn);
    RecoveredDirs().insert(dir);
    if (!QFileInfo::exists(JournalPath(dir))) return true;
    {
        QFile f(JournalPath(dir));
        char magic[4] = {};
        if (f.open(QIODevice::ReadOnly) && f.read(magic, 4) == 4 &&
            std::memcmp(magic, kOldMagic, 4) == 0)
            WriteLog(JournalPath(dir) +
                     QStringLiteral(": journal of an older format not replayed"));
    }
    Journal* j = GetJournal(dir, error);
    if (!j) return false;
    Lock(*j);
    const bool ok = CheckpointLocked(*j, error);
    Unlock(*j);
    return ok;
}

bool CheckpointJournal(const QString& dirIn, QString* error) {
    ++g_fileWrites; // a table file is about to be replaced
    const QString dir = CanonicalDir(dirIn);
    if (!Journals().count(dir) && !QFileInfo::exists(JournalPath(dir))) return true;
    Journal* j = GetJournal(dir, error);
    if (!j) return false;
    Lock(*j);
    const bool ok = CheckpointLocked(*j, error);
    Unlock(*j);
    return ok;
}

bool CheckpointOpenJournals() {
    bool ok = true;
    for (auto& [dir, j] : Journals()) {
        Lock(*j);
        if (!CheckpointLocked(*j, nullptr)) ok = false;
        Unlock(*j);
    }
    return ok;
}

bool SyncFileHandle(int fd) {
    return SyncHandle(fd);
}

void SyncFolder(const QString& dir) {
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    (void)dir;
#endif
}

bool FlushJournals(QString* error) {
    bool ok = true;
    for (auto& [dir, j] : Journals())
        if (j->deferHeld && !FlushLocked(*j, error)) ok = false;
    return ok;
}

bool SyncJournals(QString* error) {
    static bool armed = false;
    bool ok = true;
    for (auto& [dir, j] : Journals()) {
        if (!j->deferHeld || !j->unsynced) continue;
        // Without an event loop to write them later, or when the sync
        // failed, the changes go to their files now.
        if (!QCoreApplication::instance() || !Sync(*j, error)) {
            if (!FlushLocked(*j, error)) ok = false;
            continue;
        }
        j->unsynced = false;
        if (!armed) {
            armed = true;
            QTimer::singleShot(kWriteBackMs, QCoreApplication::instance(), [] {
                armed = false;
                FlushJournals(nullptr);
            });
        }
    }
    return ok;
}

// ---------------------------------------------------------------- TxFile

TxFile::TxFile(const QString& path) : m_path(path), m_file(path) {}

TxFile::~TxFile() {
    Close();
}

bool TxFile::Open(bool writable, QString* error) {
    Close();
    const QString dir = CanonicalDir(QFileInfo(m_path).absolutePath());
    m_canonical = CanonicalFile(m_path);
    if (!RecoveredDirs().contains(dir) && (writable || JournalNames(dir, m_canonical))) {
        QString e;
        if (!RecoverJournal(dir, &e)) {
            if (error) *error = e;
            return false;
        }
    }
    FlushFor(this, m_canonical);
    const auto mode = writable ? QIODevice::ReadWrite : QIODevice::ReadOnly;
    if (!QFileInfo(m_path).isFile() || !m_file.open(mode | QIODevice::Unbuffered)) {
        if (error)
            *error = QFileInfo(m_path).isDir() ? QStringLiteral("is a folder, not a table")
                     : m_file.exists()         ? m_file.errorString()
                                               : QStringLiteral("file not found");
        return false;
    }
#ifdef Q_OS_UNIX
    // Shared with other readers and writers; refused while a rebuild holds it.
    if (::flock(m_file.handle(), LOCK_SH | LOCK_NB) != 0) {
        m_file.close();
        if (error) *error = QStringLiteral("locked by another program (table rebuild)");
        return false;
    }
#endif
    m_writable = writable;
    m_diskSize = m_size = SizeOf(m_file);
    NoteDiskState();
    return true;
}

void TxFile::Close() {
    if (m_tx) m_tx->Release(this);
    if (HasPending()) FlushJournals(nullptr);
    DropPending(this);
    ForgetPages();
    m_pending.clear();
    m_pendingSize = -1;
    m_staged = false;
    if (m_file.isOpen()) {
        m_file.close();
        // A table this process changed is synced when it is closed.
        const QString me = m_canonical;
        for (auto& [dir, j] : Journals()) {
            if (!j->written.contains(me)) continue;
            Lock(*j);
            CheckpointLocked(*j, nullptr);
            Unlock(*j);
        }
    }
    m_diskSize = m_size = 0;
}

TxFile::Page* TxFile::GetPage(qint64 index, bool* ok) {
    if (m_lastPage && m_lastIndex == index) return m_lastPage;
    auto it = m_pages.find(index);
    if (it != m_pages.end()) {
        m_lastIndex = index;
        return m_lastPage = it->second.get();
    }
    if (int(m_pages.size()) >= kMaxPages) {
        m_lastPage = nullptr;
        for (auto i = m_pages.begin(); i != m_pages.end();)
            i = (i->second->lo < i->second->hi) ? std::next(i) : m_pages.erase(i);
    }
    auto page = std::make_unique<Page>();
    const qint64 off = index * kPage;
    if (auto p = m_pending.find(index); p != m_pending.end()) {
        page->data = p->second->data;
    } else if (off < m_diskSize) {
        const qint64 want = std::min<qint64>(kPage, m_diskSize - off);
        if (ReadAt(m_file, off, page->data.data(), want) != want) {
            *ok = false;
            return nullptr;
        }
    }
    Page* p = page.get();
    m_pages.emplace(index, std::move(page));
    m_lastIndex = index;
    return m_lastPage = p;
}

qint64 TxFile::Read(qint64 pos, void* buf, qint64 n) {
    if (!IsOpen() || pos < 0 || n < 0) return -1;
    n = std::max<qint64>(0, std::min(n, m_size - pos));
    auto* out = static_cast<char*>(buf);
    qint64 done = 0;
    while (done < n) {
        const qint64 at = pos + done;
        bool ok = true;
        Page* p = GetPage(at / kPage, &ok);
        if (!p) return -1;
        const int in = int(at % kPage);
        const qint64 k = std::min<qint64>(kPage - in, n - done);
        std::memcpy(out + done, p->data.data() + in, size_t(k));
        done += k;
    }
    return done;
}

bool TxFile::Write(qint64 pos, const void* buf, qint64 n) {
    Transaction* tx = Transaction::Current();
    if (!IsOpen() || !m_writable || !tx || pos < 0 || n < 0) return false;
    if (!m_tx) tx->Enlist(this);
    const auto* in = static_cast<const char*>(buf);
    qint64 done = 0;
    while (done < n) {
        const qint64 at = pos + done;
        bool ok = true;
        Page* p = GetPage(at / kPage, &ok);
        if (!p) return false;
        const int off = int(at % kPage);
        const int k = int(std::min<qint64>(kPage - off, n - done));
        // Only the bytes that change are staged: the libraries rewrite a
        // whole header to change a count in it, and what is staged goes
        // into the journal and through its checksum.
        const char* src = in + done;
        char* dst = p->data.data() + off;
        if (std::memcmp(dst, src, size_t(k)) == 0) {
            done += k;
            continue;
        }
        int a = 0;
        int b = k;
        while (a < b && dst[a] == src[a])
            ++a;
        while (b > a && dst[b - 1] == src[b - 1])
            --b;
        if (a < b) {
            if (p->lo >= p->hi) m_dirty.push_back(at / kPage);
            std::memcpy(dst + a, src + a, size_t(b - a));
            p->lo = std::min(p->lo, off + a);
            p->hi = std::max(p->hi, off + b);
        }
        done += k;
    }
    m_size = std::max(m_size, pos + n);
    m_staged = true;
    return true;
}

bool TxFile::Resize(qint64 size) {
    Transaction* tx = Transaction::Current();
    if (!IsOpen() || !m_writable || !tx || size < 0) return false;
    if (!m_tx) tx->Enlist(this);
    if (size < m_size) {
        for (auto i = m_pages.begin(); i != m_pages.end();) {
            const qint64 start = i->first * kPage;
            if (start >= size) {
                m_lastPage = nullptr;
                i = m_pages.erase(i);
                continue;
            }
            if (start + kPage > size) {
                const int keep = int(size - start);
                std::memset(i->second->data.data() + keep, 0, size_t(kPage - keep));
                i->second->hi = std::min(i->second->hi, keep);
            }
            ++i;
        }
    }
    m_size = size;
    m_staged = true;
    return true;
}

void TxFile::CollectExtents(std::vector<Extent>& out) const {
    std::vector<qint64> dirty;
    for (qint64 index : m_dirty)
        if (const auto it = m_pages.find(index);
            it != m_pages.end() && it->second->lo < it->second->hi)
            dirty.push_back(index);
    std::sort(dirty.begin(), dirty.end());
    dirty.erase(std::unique(dirty.begin(), dirty.end()), dirty.end());
    for (qint64 index : dirty) {
        const Page& p = *m_pages.at(index);
        const qint64 start = index * kPage + p.lo;
        const qint64 end = std::min<qint64>(index * kPage + p.hi, m_size);
        if (end <= start) continue;
        // Adjacent ranges (a write across a page border) become one extent.
        if (!out.empty() && out.back().offset + out.back().data.size() == start)
            out.back().data.append(p.data.data() + p.lo, end - start);
        else
            out.push_back({start, QByteArray(p.data.data() + p.lo, end - start)});
    }
}

void TxFile::MarkCommitted() {
    const bool shrunk = m_size < CommittedSize();
    if (shrunk) {
        // A committed shrink drops the committed pages after the new end and
        // cuts the one it ends in (its cached copy was cut already).
        for (auto i = m_pending.lower_bound((m_size + kPage - 1) / kPage); i != m_pending.end();)
            i = m_pending.erase(i);
        if (auto last = m_pending.find(m_size / kPage); last != m_pending.end())
            if (auto page = m_pages.find(last->first); page != m_pages.end())
                last->second->data = page->second->data;
    }
    for (qint64 index : m_dirty) {
        const auto it = m_pages.find(index);
        if (it == m_pages.end() || it->second->lo >= it->second->hi) continue;
        Page* page = it->second.get();
        auto& pend = m_pending[index];
        if (pend) {
            std::memcpy(pend->data.data() + page->lo, page->data.data() + page->lo,
                        size_t(page->hi - page->lo));
        } else {
            pend = std::make_unique<Page>();
            pend->data = page->data;
        }
        pend->lo = std::min(pend->lo, page->lo);
        pend->hi = std::max(pend->hi, page->hi);
        page->lo = kPage;
        page->hi = 0;
    }
    m_dirty.clear();
    m_pendingSize = m_size;
    m_staged = false;
    m_tx = nullptr;
}

bool TxFile::WritePending(QString* error) {
    if (!HasPending()) return true;
    const qint64 size = CommittedSize();
    qint64 reached = m_diskSize;
    for (const auto& [index, page] : m_pending) {
        const qint64 start = index * kPage + page->lo;
        const qint64 end = std::min<qint64>(index * kPage + page->hi, size);
        if (end > start && !WriteAt(m_file, start, page->data.data() + page->lo, end - start)) {
            if (error) *error = m_path + QStringLiteral(": ") + LastIoError();
            return false;
        }
        reached = std::max(reached, end);
    }
    if (reached != size && !m_file.resize(size)) {
        if (error) *error = m_path + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    m_pending.clear();
    m_pendingSize = -1;
    m_diskSize = size;
    ++g_fileWrites;
    NoteDiskState(true);
    return true;
}

bool TxFile::SyncToDisk(QString* error) {
    if (!m_file.isOpen() || SyncHandle(m_file.handle())) return true;
    if (error) *error = m_path + QStringLiteral(": sync failed");
    return false;
}

void TxFile::DiscardStaged() {
    const qint64 committed = CommittedSize();
    if (m_size < committed) {
        // A staged shrink zeroed the tails of clean pages too.
        ForgetPages();
    } else {
        for (qint64 index : m_dirty) {
            const auto i = m_pages.find(index);
            if (i == m_pages.end() || i->second->lo >= i->second->hi) continue;
            if (auto c = m_pending.find(index); c != m_pending.end()) {
                i->second->data = c->second->data;
                i->second->lo = kPage;
                i->second->hi = 0;
            } else {
                m_lastPage = nullptr;
                m_pages.erase(i);
            }
        }
        m_dirty.clear();
    }
    const bool had = m_staged;
    m_size = committed;
    m_staged = false;
    m_tx = nullptr;
    if (had && OnDiscard) OnDiscard();
}

void TxFile::ForgetAll() {
    ForgetPages();
    m_pending.clear();
    m_pendingSize = -1;
    m_staged = false;
    m_tx = nullptr;
    DropCache();
    if (OnDiscard) OnDiscard();
}

void TxFile::DropCache() {
    if (HasPending()) return;
    ForgetPages();
    if (m_file.isOpen()) m_diskSize = m_size = SizeOf(m_file);
    NoteDiskState();
}

#ifdef Q_OS_LINUX
namespace {
// Writes this process made to each file (device, inode), so that two
// objects of one table in this process see each other's changes.
quint64& WriteGeneration(quint64 dev, quint64 ino) {
    static std::map<std::pair<quint64, quint64>, quint64> generations;
    return generations[{dev, ino}];
}
} // namespace
#endif

void TxFile::NoteDiskState(bool ofHandle) {
#ifdef Q_OS_LINUX
    // A table this process writes is known by its identity, its size and
    // this process's writes to it, not by its times: reading them before
    // each write would cost every journal sync an inode write (see SizeOf).
    // No other program changes these tables in place (the companion tariff
    // program reads them); a replaced or resized file is still seen.
    if (m_writable) {
        if (ofHandle) {
            m_statSize = m_diskSize;
            m_statGen = ++WriteGeneration(m_statDev, m_statTime);
            return;
        }
        struct statx sx {};
        if (::statx(AT_FDCWD, QFile::encodeName(m_path).constData(), 0, STATX_SIZE | STATX_INO,
                    &sx) == 0) {
            m_statSize = qint64(sx.stx_size);
            m_statTime = qint64(sx.stx_ino);
            m_statDev = (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
            m_statGen = WriteGeneration(m_statDev, m_statTime);
            return;
        }
        m_statSize = -1;
        m_statTime = 0;
        return;
    }
#endif
#ifdef Q_OS_UNIX
    struct stat st {};
    // After its own write the open file is what the path names; otherwise
    // the path is asked (another program may have replaced the file).
    const int rc = ofHandle && m_file.isOpen() ? ::fstat(m_file.handle(), &st)
                                               : ::stat(QFile::encodeName(m_path).constData(), &st);
    if (rc == 0) {
        m_statSize = st.st_size;
        m_statTime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        return;
    }
#else
    (void)ofHandle;
    const QFileInfo fi(m_path);
    if (fi.exists()) {
        m_statSize = fi.size();
        m_statTime = fi.lastModified().toMSecsSinceEpoch();
        return;
    }
#endif
    m_statSize = -1;
    m_statTime = 0;
}

bool TxFile::ChangedOnDisk() {
    if (!IsOpen() || m_staged || HasPending()) return false;
    if (!m_writable) {
        // A table another program maintains is searched several times per
        // call (the tariff lookup): asked again after a few milliseconds, or
        // after a write of this process.
        const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count();
        if (m_checkedWrites == g_fileWrites && now - m_checkedAt < kRecheckNs) return false;
        m_checkedWrites = g_fileWrites;
        m_checkedAt = now;
    }
    FlushFor(this, m_canonical);
    const qint64 size = m_statSize;
    const qint64 time = m_statTime;
    const quint64 gen = m_statGen;
    NoteDiskState();
    if (size == m_statSize && time == m_statTime && gen == m_statGen) return false;
    DropCache();
    return true;
}

// ---------------------------------------------------------------- ExclusiveHold

ExclusiveHold::~ExclusiveHold() {
    if (m_file.isOpen()) m_file.close(); // closing releases the lock
}

bool ExclusiveHold::Acquire(const QString& path, QString* error) {
    if (m_file.isOpen()) m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        if (error) *error = m_file.errorString();
        return false;
    }
#ifdef Q_OS_UNIX
    if (::flock(m_file.handle(), LOCK_EX | LOCK_NB) != 0) {
        m_file.close();
        if (error) *error = QStringLiteral("in use by another program");
        return false;
    }
#endif
    return true;
}

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(const QString& journalDir) : m_dir(CanonicalDir(journalDir)) {
    if (g_current) {
        m_outer = g_current;
        return;
    }
    g_current = this;
    if (!RecoveredDirs().contains(m_dir)) {
        QString e;
        if (!RecoverJournal(m_dir, &e)) m_doomed = true;
    }
}

Transaction::~Transaction() {
    if (m_outer) return;
    if (!m_done) Rollback();
    g_current = nullptr;
}

Transaction* Transaction::Current() {
    return g_current;
}

void Transaction::Enlist(TxFile* f) {
    if (m_outer) {
        m_outer->Enlist(f);
        return;
    }
    if (std::find(m_files.begin(), m_files.end(), f) == m_files.end()) m_files.push_back(f);
    f->m_tx = this;
}

void Transaction::Release(TxFile* f) {
    if (m_outer) {
        m_outer->Release(f);
        return;
    }
    m_files.erase(std::remove(m_files.begin(), m_files.end(), f), m_files.end());
    f->DiscardStaged();
}

void Transaction::Rollback() {
    if (m_outer) {
        m_outer->Doom();
        return;
    }
    const auto files = m_files;
    m_files.clear();
    for (TxFile* f : files)
        f->DiscardStaged();
    m_done = true;
}

bool Transaction::Commit(QString* error, Stop stop) {
    if (m_outer) return !m_outer->Doomed();
    if (m_done) return false;
    if (m_doomed) {
        Rollback();
        if (error) *error = QStringLiteral("transaction failed");
        return false;
    }
    std::vector<TxFile*> files;
    for (TxFile* f : m_files)
        if (f->HasStaged()) files.push_back(f);
    if (files.empty()) {
        Rollback();
        return true;
    }
    QString e;
    Journal* j = GetJournal(m_dir, &e);
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        Rollback();
        return false;
    };
    if (!j) return fail(e);

    QByteArray payload;
    PutU32(payload, uint32_t(files.size()));
    for (TxFile* f : files) {
        const QByteArray name = NameIn(*j, f->CanonicalPath(), &e).toUtf8();
        if (name.isEmpty()) return fail(e);
        std::vector<TxFile::Extent> ex;
        f->CollectExtents(ex);
        PutU32(payload, uint32_t(name.size()));
        payload.append(name);
        PutU64(payload, quint64(f->Size()));
        PutU32(payload, uint32_t(ex.size()));
        for (const auto& x : ex) {
            PutU64(payload, quint64(x.offset));
            PutU32(payload, uint32_t(x.data.size()));
            payload.append(x.data);
        }
    }

    Lock(*j);
    struct Unlocker {
        Journal* j;
        ~Unlocker() {
            if (j) Unlock(*j);
        }
    } unlocker{j};
    const qint64 need = kRecHead + payload.size() + 4;
    if (j->salt == 0) {
        if (!StartAfresh(*j, &e)) return fail(e);
    } else if (j->end > kHeadSize && j->end + need > kJournalLimit) {
        // Full: the files of its commits are synced and it starts afresh
        // (it grows instead while it holds commits this process cannot
        // replay).
        if (!CheckpointLocked(*j, &e)) return fail(e);
    }
    QByteArray rec(kRecMagic, 4);
    PutU64(rec, j->salt);
    PutU32(rec, uint32_t(payload.size()));
    rec.append(payload);
    PutU32(rec, Crc32(payload.constData(), payload.size(), Crc32(rec.constData() + 4, 12)));
    // The file grows in steps of zeros, a new journal to its whole size at
    // once: a sync after a growth must also write the file's new blocks
    // into the file system's metadata; the syncs of later commits write
    // data blocks only.
    if (j->end + rec.size() > j->fileSize) {
        const qint64 grow =
            (j->end + rec.size() - j->fileSize + kJournalGrow - 1) / kJournalGrow * kJournalGrow;
        const QByteArray zeros(grow, 0);
        if (!WriteAt(j->file, j->fileSize, zeros.constData(), zeros.size()))
            return fail(JournalPath(m_dir) + QStringLiteral(": ") + LastIoError());
        j->fileSize += grow;
    }
    const qint64 recLen = stop == Stop::TornJournal ? rec.size() / 2 : rec.size();
    if (!AppendRecord(*j, rec.constData(), recLen))
        return fail(JournalPath(m_dir) + QStringLiteral(": ") + LastIoError());
    j->end += rec.size();
    j->unsynced = true;

    auto simulateCrash = [&] {
        // What survives is on disk; this process forgets what it staged and
        // its journal state.
        for (TxFile* f : m_files)
            f->ForgetAll();
        m_files.clear();
        m_done = true;
        unlocker.j = nullptr;
        ForgetJournal(m_dir);
        return true;
    };
    if (stop == Stop::TornJournal) {
#ifdef Q_OS_LINUX
        WriteOut(*j); // the half record reaches the file, as a cut-short write leaves it
#endif
        return simulateCrash();
    }

    for (TxFile* f : files)
        f->MarkCommitted();
    for (TxFile* f : m_files)
        f->Detach();
    m_files.clear();
    m_done = true;
    for (TxFile* f : files)
        if (std::find(j->pending.begin(), j->pending.end(), f) == j->pending.end())
            j->pending.push_back(f);
    if (m_deferSync && stop == Stop::None) {
        // Held until the flush; other processes wait for it.
        if (!j->deferHeld) {
            j->deferHeld = true;
            unlocker.j = nullptr;
        }
        return true;
    }
    if (!j->deferHeld) {
        j->deferHeld = true;
        unlocker.j = nullptr;
    }
    if (stop == Stop::None) return FlushLocked(*j, error);

    // Crash simulations after the record is on disk.
    if (!Sync(*j, error)) return false;
    if (stop == Stop::AfterFirstFile) files.front()->WritePending(nullptr);
    if (stop == Stop::AfterAllFiles)
        for (TxFile* f : j->pending)
            f->WritePending(nullptr);
    m_files = files;
    return simulateCrash();
}

} // namespace tables
