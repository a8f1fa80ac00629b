#include "tables/TxFile.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <map>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#include <sys/stat.h>
#endif

namespace tables {

namespace {

constexpr char kMagic[4] = {'V', 'J', 'N', '1'};
constexpr int kMaxPages = 4096; // clean pages kept per file (16 MB)

Transaction* g_current = nullptr;

QString CanonicalDir(const QString& dir) {
    return QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
}

// Directories whose journal this process has recovered (and keeps clean).
QSet<QString>& RecoveredDirs() {
    static QSet<QString> s;
    return s;
}

// One open journal file per directory.
QFile* JournalFile(const QString& dir, QString* error) {
    static std::map<QString, std::unique_ptr<QFile>> files;
    auto& f = files[dir];
    if (!f) f = std::make_unique<QFile>(JournalPath(dir));
    if (!f->isOpen() && !f->open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        if (error) *error = f->fileName() + QStringLiteral(": ") + f->errorString();
        return nullptr;
    }
    return f.get();
}

void PutU32(QByteArray& b, uint32_t v) {
    char c[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    b.append(c, 4);
}
void PutI64(QByteArray& b, qint64 v) {
    PutU32(b, uint32_t(quint64(v)));
    PutU32(b, uint32_t(quint64(v) >> 32));
}

// Bounds-checked reader over a journal payload.
struct Reader {
    const char* p;
    qint64 n;
    qint64 pos = 0;
    bool ok = true;
    bool Take(void* out, qint64 k) {
        if (!ok || k < 0 || pos + k > n) return ok = false;
        std::memcpy(out, p + pos, size_t(k));
        pos += k;
        return true;
    }
    uint32_t U32() {
        unsigned char c[4] = {};
        Take(c, 4);
        return uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16 | uint32_t(c[3]) << 24;
    }
    qint64 I64() {
        const quint64 lo = U32();
        const quint64 hi = U32();
        return qint64(lo | hi << 32);
    }
    QByteArray Bytes(qint64 k) {
        if (!ok || k < 0 || pos + k > n) {
            ok = false;
            return {};
        }
        QByteArray b(p + pos, k);
        pos += k;
        return b;
    }
};

bool WriteAt(QFile& f, qint64 pos, const char* data, qint64 n) {
    return f.seek(pos) && f.write(data, n) == n;
}

bool ClearJournal(QFile& f) {
    static const char zero[4] = {0, 0, 0, 0};
    return WriteAt(f, 0, zero, 4);
}

} // namespace

uint32_t Crc32(const char* data, qint64 n, uint32_t crc) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (qint64 i = 0; i < n; ++i)
        crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

QString JournalPath(const QString& dir) {
    return CanonicalDir(dir) + QStringLiteral("/Varnel.jnl");
}

bool RecoverJournal(const QString& dirIn, QString* error) {
    const QString dir = CanonicalDir(dirIn);
    RecoveredDirs().insert(dir);
    if (!QFileInfo::exists(JournalPath(dir))) return true;
    QFile* jf = JournalFile(dir, error);
    if (!jf) return false;
    if (!jf->seek(0)) return false;
    const QByteArray all = jf->readAll();
    if (all.size() < 12 || std::memcmp(all.constData(), kMagic, 4) != 0) return true; // empty
    Reader head{all.constData(), all.size()};
    head.pos = 4;
    const qint64 len = head.U32();
    if (8 + len + 4 > all.size()) return ClearJournal(*jf); // torn: nothing was applied
    const char* payload = all.constData() + 8;
    Reader tail{all.constData(), all.size()};
    tail.pos = 8 + len;
    if (tail.U32() != Crc32(payload, len)) return ClearJournal(*jf);

    Reader r{payload, len};
    const uint32_t files = r.U32();
    for (uint32_t i = 0; r.ok && i < files; ++i) {
        const QString path = QString::fromUtf8(r.Bytes(r.U32()));
        const qint64 newSize = r.I64();
        const uint32_t extents = r.U32();
        QFile f(path);
        const bool open = f.open(QIODevice::ReadWrite | QIODevice::Unbuffered);
        for (uint32_t k = 0; r.ok && k < extents; ++k) {
            const qint64 off = r.I64();
            const QByteArray data = r.Bytes(r.U32());
            if (open && !WriteAt(f, off, data.constData(), data.size())) {
                if (error) *error = path + QStringLiteral(": ") + f.errorString();
                return false;
            }
        }
        if (open && f.size() != newSize && !f.resize(newSize)) {
            if (error) *error = path + QStringLiteral(": ") + f.errorString();
            return false;
        }
    }
    if (!r.ok) {
        if (error) *error = JournalPath(dir) + QStringLiteral(": malformed journal");
        return false;
    }
    return ClearJournal(*jf);
}

// ---------------------------------------------------------------- TxFile

TxFile::TxFile(const QString& path) : m_path(path), m_file(path) {}

TxFile::~TxFile() {
    Close();
}

bool TxFile::Open(bool writable, QString* error) {
    Close();
    const QString dir = CanonicalDir(QFileInfo(m_path).absolutePath());
    if (!RecoveredDirs().contains(dir)) {
        QString e;
        if (!RecoverJournal(dir, &e)) {
            if (error) *error = e;
            return false;
        }
    }
    const auto mode = writable ? QIODevice::ReadWrite : QIODevice::ReadOnly;
    if (!QFileInfo(m_path).isFile() || !m_file.open(mode | QIODevice::Unbuffered)) {
        if (error)
            *error = m_file.exists() ? m_file.errorString() : QStringLiteral("file not found");
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
    m_diskSize = m_size = m_file.size();
    NoteDiskState();
    return true;
}

void TxFile::Close() {
    if (m_tx) m_tx->Release(this);
    m_pages.clear();
    m_staged = false;
    if (m_file.isOpen()) m_file.close();
    m_diskSize = m_size = 0;
}

TxFile::Page* TxFile::GetPage(qint64 index, bool* ok) {
    auto it = m_pages.find(index);
    if (it != m_pages.end()) return it->second.get();
    if (int(m_pages.size()) >= kMaxPages) {
        for (auto i = m_pages.begin(); i != m_pages.end();)
            i = (i->second->lo < i->second->hi) ? std::next(i) : m_pages.erase(i);
    }
    auto page = std::make_unique<Page>();
    const qint64 off = index * kPage;
    if (off < m_diskSize) {
        const qint64 want = std::min<qint64>(kPage, m_diskSize - off);
        if (!m_file.seek(off) || m_file.read(page->data.data(), want) != want) {
            *ok = false;
            return nullptr;
        }
    }
    Page* p = page.get();
    m_pages.emplace(index, std::move(page));
    return p;
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
        const qint64 k = std::min<qint64>(kPage - off, n - done);
        std::memcpy(p->data.data() + off, in + done, size_t(k));
        p->lo = std::min(p->lo, off);
        p->hi = std::max(p->hi, off + int(k));
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
    for (const auto& [index, page] : m_pages)
        if (page->lo < page->hi) dirty.push_back(index);
    std::sort(dirty.begin(), dirty.end());
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

bool TxFile::ApplyStaged(QString* error) {
    std::vector<Extent> ex;
    CollectExtents(ex);
    for (const auto& e : ex) {
        if (!WriteAt(m_file, e.offset, e.data.constData(), e.data.size())) {
            if (error) *error = m_path + QStringLiteral(": ") + m_file.errorString();
            return false;
        }
    }
    if (m_file.size() != m_size && !m_file.resize(m_size)) {
        if (error) *error = m_path + QStringLiteral(": ") + m_file.errorString();
        return false;
    }
    for (auto& [index, page] : m_pages) {
        page->lo = kPage;
        page->hi = 0;
    }
    m_diskSize = m_size;
    m_staged = false;
    m_tx = nullptr;
    NoteDiskState();
    return true;
}

void TxFile::DiscardStaged() {
    for (auto i = m_pages.begin(); i != m_pages.end();)
        i = (i->second->lo < i->second->hi) ? m_pages.erase(i) : std::next(i);
    // A staged shrink zeroed the tails of clean pages too.
    if (m_size < m_diskSize) m_pages.clear();
    const bool had = m_staged;
    m_size = m_diskSize;
    m_staged = false;
    m_tx = nullptr;
    if (had && OnDiscard) OnDiscard();
}

void TxFile::DropCache() {
    m_pages.clear();
    if (m_file.isOpen()) m_diskSize = m_size = m_file.size();
    NoteDiskState();
}

void TxFile::NoteDiskState() {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0) {
        m_statSize = st.st_size;
        m_statTime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        return;
    }
#else
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
    if (!IsOpen() || m_staged) return false;
    const qint64 size = m_statSize;
    const qint64 time = m_statTime;
    NoteDiskState();
    if (size == m_statSize && time == m_statTime) return false;
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

    QByteArray payload;
    PutU32(payload, uint32_t(files.size()));
    for (TxFile* f : files) {
        const QByteArray path = QFileInfo(f->Path()).absoluteFilePath().toUtf8();
        std::vector<TxFile::Extent> ex;
        f->CollectExtents(ex);
        PutU32(payload, uint32_t(path.size()));
        payload.append(path);
        PutI64(payload, f->Size());
        PutU32(payload, uint32_t(ex.size()));
        for (const auto& e : ex) {
            PutI64(payload, e.offset);
            PutU32(payload, uint32_t(e.data.size()));
            payload.append(e.data);
        }
    }
    QByteArray journal(kMagic, 4);
    PutU32(journal, uint32_t(payload.size()));
    journal.append(payload);
    PutU32(journal, Crc32(payload.constData(), payload.size()));

    QString e;
    QFile* jf = JournalFile(m_dir, &e);
    if (!jf || !WriteAt(*jf, 0, journal.constData(), journal.size())) {
        if (error) *error = jf ? JournalPath(m_dir) + QStringLiteral(": ") + jf->errorString() : e;
        Rollback();
        return false;
    }
    auto simulateCrash = [&] {
        // What survives is on disk; this process forgets what it staged.
        for (TxFile* f : m_files) {
            f->DiscardStaged();
            f->DropCache();
        }
        m_files.clear();
        m_done = true;
        RecoveredDirs().remove(m_dir);
        return true;
    };
    if (stop == Stop::AfterJournal) return simulateCrash();
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->ApplyStaged(&e)) {
            // The journal stays complete: the next transaction or start
            // writes it again.
            if (error) *error = e;
            RecoveredDirs().remove(m_dir);
            for (TxFile* f : m_files) {
                f->DiscardStaged();
                f->DropCache();
            }
            m_files.clear();
            m_done = true;
            return false;
        }
        if (stop == Stop::AfterFirstFile && i == 0) return simulateCrash();
    }
    if (!ClearJournal(*jf)) RecoveredDirs().remove(m_dir);
    for (TxFile* f : m_files)
        f->Detach();
    m_files.clear();
    m_done = true;
    return true;
}

} // namespace tables
