// Call records with 2000 calls in progress, durable: each step starts one
// call and ends the oldest, written to TarifTA2, DestTar and the day file and
// synced to stable storage before the next frame is read. One by one (every
// frame a read of its own: one sync per frame) and in bursts (the frames of
// one read share a sync). Prints the matched calls per second and the
// per-call latency, the disk's own sync time, and, when built with SQLite,
// the same inserts and deletes in SQLite (WAL with synchronous=FULL, its
// rounds alternating with ours, and its rollback journal) for scale.
//
// Between reads the event loop runs once, as in the terminal.
//
// "--outbox": every billed call is also staged in the central call store's
// queue (as with the central store switched on). "--deliver": the outbox and
// its delivery to a throwaway PostgreSQL server (fsync on), the sender's
// thread running beside the billing and the acknowledgements taken back
// into the outbox as they come.
#include "PgServer.h"
#include "TestSupport.h"
#include "central/CentralDelivery.h"
#include "central/CentralSchema.h"
#include "central/Outbox.h"
#include "link/Ats.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "tables/TableCsv.h"
#include "tables/TxFile.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif
#ifdef VARNEL_BENCH_SQLITE
#include <sqlite3.h>
#endif

namespace {

constexpr int kInProgress = 2000;
constexpr int kMeasured = 2000; // calls per mode
constexpr int kBurst = 16;      // calls whose frames arrive in one read

std::array<uint8_t, 28> Start(int kit, int a, int b, int cat) {
    std::array<uint8_t, 28> n{10, 10, 10, 1};
    n[5] = uint8_t(8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    n[8] = 6;
    for (int i = 0; i < 6; ++i, a /= 10)
        n[size_t(15 - i)] = uint8_t(a % 10);
    n[16] = 7;
    const QByteArray digits = QByteArray::number(b);
    for (int i = 0; i < 7; ++i)
        n[size_t(23 - i)] = uint8_t(digits[i] - '0');
    n[24] = uint8_t(cat);
    return n;
}

std::array<uint8_t, 16> End(int kit, int b) {
    std::array<uint8_t, 16> n{10, 10, 10, 0};
    n[5] = uint8_t(8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    const QByteArray digits = QByteArray::number(b);
    for (int i = 0; i < 7; ++i)
        n[size_t(15 - i)] = uint8_t(digits[i] - '0');
    return n;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

struct Figures {
    double perSecond = 0;
    std::vector<double> us; // per call
};

void Print(const char* what, const Figures& f) {
    std::printf("  %-44s %6.0f calls/s, per call median %6.0f us, p99 %6.0f us\n", what,
                f.perSecond, Percentile(f.us, 0.5), Percentile(f.us, 0.99));
}

// The disk's own figure: a 4 KB overwrite of an allocated file, then its
// data sync.
double SyncMedianUs(const QString& dir) {
    std::vector<double> us;
#ifdef Q_OS_UNIX
    QFile f(dir + QStringLiteral("/sync.probe"));
    if (!f.open(QIODevice::ReadWrite)) return 0;
    const QByteArray page(4096, 'x');
    for (int i = 0; i < 64; ++i)
        f.write(page);
    f.flush();
    ::fsync(f.handle());
    QElapsedTimer t;
    for (int i = 0; i < 500; ++i) {
        t.start();
        f.seek(qint64(i % 64) * 4096);
        f.write(page);
        f.flush();
        ::fdatasync(f.handle());
        us.push_back(double(t.nsecsElapsed()) / 1000);
    }
    f.close();
    f.remove();
#else
    (void)dir;
#endif
    return us.empty() ? 0 : Percentile(us, 0.5);
}

// Write requests the disk under dir has completed (Linux: the block
// device's counters; -1 elsewhere or on a file system without one).
// A journal sync that writes its data only costs two (the data and the
// cache flush); a third is an inode written as well.
qint64 DiskWrites(const QString& dir) {
#ifdef Q_OS_LINUX
    struct stat st {};
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || major(st.st_dev) == 0) return -1;
    QFile f(
        QStringLiteral("/sys/dev/block/%1:%2/stat").arg(major(st.st_dev)).arg(minor(st.st_dev)));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = f.readAll().simplified().split(' ');
    return fields.size() > 4 ? fields[4].toLongLong() : -1;
#else
    (void)dir;
    return -1;
#endif
}

#ifdef VARNEL_BENCH_SQLITE
// The same rows in SQLite: a start row inserted in a transaction of its
// own; at the end, in one transaction, the start row found and deleted, a
// tariff row and a day row inserted.
class SqliteRig {
public:
    SqliteRig(const QString& file, bool wal) {
        if (sqlite3_open(QFile::encodeName(file).constData(), &m_db) != SQLITE_OK) return;
        Exec(wal ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
        Exec("PRAGMA synchronous=FULL");
        Exec("CREATE TABLE ta(ab INTEGER, ak INTEGER, dt TEXT, cat INTEGER, num INTEGER, "
             "dig_an INTEGER, dig_to INTEGER, ats INTEGER)");
        Exec("CREATE INDEX ta_kit ON ta(ak, ats)");
        Exec("CREATE TABLE dest(ab INTEGER, d TEXT, t TEXT, len INTEGER, cat INTEGER, num INTEGER, "
             "code TEXT, codef TEXT, trf REAL)");
        Exec("CREATE TABLE day(a TEXT, b TEXT, h INTEGER, m INTEGER, dlit INTEGER)");
        sqlite3_prepare_v2(m_db, "INSERT INTO ta VALUES(?1,?2,'2026-12-05 08:00:00',8,?3,6,7,1)",
                           -1, &m_ins, nullptr);
        sqlite3_prepare_v2(m_db, "SELECT rowid, ab, num FROM ta WHERE ak=?1 AND ats=1 LIMIT 1", -1,
                           &m_find, nullptr);
        sqlite3_prepare_v2(m_db, "DELETE FROM ta WHERE rowid=?1", -1, &m_del, nullptr);
        sqlite3_prepare_v2(
            m_db, "INSERT INTO dest VALUES(?1,'2026-12-05','08:00:00',60,8,?2,'495','',2.5)", -1,
            &m_dest, nullptr);
        sqlite3_prepare_v2(m_db, "INSERT INTO day VALUES('0929',?1,8,1,60)", -1, &m_day, nullptr);
        for (int j = 0; j < kInProgress; ++j)
            Start(j);
    }
    ~SqliteRig() {
        for (sqlite3_stmt* s : {m_ins, m_find, m_del, m_dest, m_day})
            sqlite3_finalize(s);
        sqlite3_close(m_db);
    }
    // n calls, each a start and the end of the oldest (two commits).
    void Run(int n, Figures& out, double& seconds) {
        QElapsedTimer total, t;
        total.start();
        for (int i = 0; i < n; ++i, ++m_next) {
            t.start();
            Start(kInProgress + m_next);
            End(m_next);
            out.us.push_back(double(t.nsecsElapsed()) / 1000);
        }
        seconds += double(total.nsecsElapsed()) / 1e9;
    }

private:
    void Exec(const char* sql) { sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr); }
    void Start(int j) {
        sqlite3_bind_int(m_ins, 1, 100000 + j);
        sqlite3_bind_int(m_ins, 2, j % 2048);
        sqlite3_bind_int(m_ins, 3, 8300000 + j % 1000);
        sqlite3_step(m_ins);
        sqlite3_reset(m_ins);
    }
    void End(int j) {
        Exec("BEGIN");
        sqlite3_bind_int(m_find, 1, j % 2048);
        if (sqlite3_step(m_find) == SQLITE_ROW) {
            sqlite3_bind_int64(m_del, 1, sqlite3_column_int64(m_find, 0));
            sqlite3_bind_int(m_dest, 1, sqlite3_column_int(m_find, 1));
            sqlite3_bind_int(m_dest, 2, sqlite3_column_int(m_find, 2));
            sqlite3_bind_int(m_day, 1, sqlite3_column_int(m_find, 2));
            sqlite3_step(m_del);
            sqlite3_step(m_dest);
            sqlite3_step(m_day);
            sqlite3_reset(m_del);
            sqlite3_reset(m_dest);
            sqlite3_reset(m_day);
        }
        sqlite3_reset(m_find);
        Exec("COMMIT");
    }
    sqlite3* m_db = nullptr;
    sqlite3_stmt *m_ins = nullptr, *m_find = nullptr, *m_del = nullptr, *m_dest = nullptr,
                 *m_day = nullptr;
    int m_next = 0;
};

Figures SqliteRun(const QString& file, bool wal) {
    Figures out;
    SqliteRig rig(file, wal);
    double seconds = 0;
    rig.Run(kMeasured, out, seconds);
    out.perSecond = kMeasured / seconds;
    return out;
}
#endif

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Clock::PinLocalZone();
    QTemporaryDir dir;
    qputenv("VARNEL_REGISTRY", (dir.path() + QStringLiteral("/registry.ini")).toUtf8());
    SetLogDir(dir.path());
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(8, 0)));

    // 400 long-distance codes; half the calls look one up (Cat 8).
    QDir().mkpath(dir.path() + QStringLiteral("/Tables"));
    QString sng = QStringLiteral("KOD:A10,TRF:F\n");
    for (int i = 0; i < 400; ++i)
        sng += QStringLiteral("%1,%2\n").arg(300 + i).arg(0.5 + i % 7);
    tables::LoadCsv(dir.path() + QStringLiteral("/Tables/Sng.db"), sng, nullptr, nullptr);
    tables::LoadCsv(dir.path() + QStringLiteral("/Tables/Foren.db"),
                    QStringLiteral("KOD:A10,TRF:F\n"), nullptr, nullptr);

    BillingRules mode;
    TariffTables tables(dir.path());
    if (!tables.OpenTables()) {
        std::fprintf(stderr, "cannot open the tables in %s\n", qPrintable(dir.path()));
        return 1;
    }
    const bool deliver = app.arguments().contains(QStringLiteral("--deliver"));
    const bool central = deliver || app.arguments().contains(QStringLiteral("--outbox"));
    Outbox outbox(tables.StandardDir(), QStringLiteral("bench"));
    if (central) {
        QString e;
        if (!outbox.Open(&e)) {
            std::fprintf(stderr, "cannot open the outbox: %s\n", qPrintable(e));
            return 1;
        }
    }
    PgServer pg;
    std::unique_ptr<CentralDelivery> delivery;
    if (deliver) {
        pg.fsync = true;
        QStringList report;
        QString e;
        if (PgServer::BinDir().isEmpty() || !pg.Start() ||
            !CentralSchema::Init(pg.ConnInfo(), &report, &e)) {
            std::fprintf(stderr, "no server: %s %s\n", qPrintable(pg.Error()), qPrintable(e));
            return 1;
        }
        delivery =
            std::make_unique<CentralDelivery>(outbox, pg.ConnInfo(), QStringLiteral("bench"));
        if (!WaitUntil([&] { return delivery->LinkIsUp(); }, 10000)) {
            std::fprintf(stderr, "delivery did not connect\n");
            return 1;
        }
    }
    CallRecords calls(mode, tables, central ? &outbox : nullptr);
    AtsSettings ats(1, QString());

    // Call j: kit j mod 2048 (distinct among 2000 in progress), B 8xxxxxx.
    auto b = [](int j) { return 8300000 + j % 400 * 1000 + j % 1000; };
    auto cat = [](int j) { return j % 2 ? 8 : 1; };
    int next = 0; // the next call to start
    auto startCall = [&] {
        const int j = next++;
        calls.OnCallStart(ats, Start(j % 2048, 100000 + j % 900000, b(j), cat(j)));
    };
    auto endOldest = [&] {
        const int old = next - kInProgress - 1;
        calls.OnCallEnd(ats, End(old % 2048, b(old)));
    };
    // As the line hands them over: the frames of one read between
    // InputBegins and InputDone.
    auto read = [&](const std::function<void()>& frames) {
        calls.InputBegins();
        frames();
        calls.InputDone();
        QCoreApplication::processEvents();
    };
    for (int j = 0; j < kInProgress; ++j)
        startCall();

    // One by one: a start frame and an end frame, each a read of its own.
    // With SQLite, in rounds that alternate with SQLite's (WAL) so that both
    // meet the same disk: its figures wander over a run.
    Figures one;
    QElapsedTimer total, t;
    double oneSeconds = 0;
#ifdef VARNEL_BENCH_SQLITE
    Figures walOne;
    double walSeconds = 0;
    SqliteRig wal(dir.path() + QStringLiteral("/wal.sqlite"), true);
    constexpr int kRounds = 8;
#else
    constexpr int kRounds = 1;
#endif
    quint64 syncs = 0;
    qint64 diskWrites = 0; // -1: not known here
    for (int round = 0; round < kRounds; ++round) {
        const quint64 syncs0 = tables::JournalSyncCount();
        const qint64 writes0 = DiskWrites(dir.path());
        total.start();
        for (int i = 0; i < kMeasured / kRounds; ++i) {
            Clock::Advance(250);
            t.start();
            read(startCall);
            read(endOldest);
            one.us.push_back(double(t.nsecsElapsed()) / 1000);
        }
        oneSeconds += double(total.nsecsElapsed()) / 1e9;
        syncs += tables::JournalSyncCount() - syncs0;
        const qint64 writes1 = DiskWrites(dir.path());
        if (writes0 < 0 || writes1 < 0) diskWrites = -1;
        if (diskWrites >= 0) diskWrites += writes1 - writes0;
#ifdef VARNEL_BENCH_SQLITE
        wal.Run(kMeasured / kRounds, walOne, walSeconds);
#endif
    }
    one.perSecond = kMeasured / oneSeconds;
    const double syncsPerCall = double(syncs) / kMeasured;
    const qint64 ackedOne = outbox.Acknowledged();

    // Bursts: the start and end frames of kBurst calls in one read; each
    // call's latency is the whole read's.
    Figures burst;
    total.start();
    for (int i = 0; i < kMeasured / kBurst; ++i) {
        Clock::Advance(250);
        t.start();
        read([&] {
            for (int k = 0; k < kBurst; ++k) {
                startCall();
                endOldest();
            }
        });
        const double us = double(t.nsecsElapsed()) / 1000;
        for (int k = 0; k < kBurst; ++k)
            burst.us.push_back(us);
    }
    burst.perSecond = kMeasured / kBurst * kBurst / (double(total.nsecsElapsed()) / 1e9);

    const qint64 ackedBurst = outbox.Acknowledged();
    const bool delivered =
        !deliver || WaitUntil([&] { return outbox.Acknowledged() == outbox.Durable(); }, 60000);

    const int billed = tables.TableTarif()->RecordCount();
    const int pending = tables.TableTA()->RecordCount();
    const int matched = kMeasured + kMeasured / kBurst * kBurst;
    std::printf("bench_tariff: %d calls in progress, %d + %d matched calls (start + end frame "
                "each), durable (synced before the next read), outbox %s, delivery %s\n",
                kInProgress, kMeasured, kMeasured / kBurst * kBurst, central ? "on" : "off",
                deliver ? "on" : "off");
    if (central)
        std::printf("  outbox: %lld records staged, %lld durable\n", outbox.Last(),
                    outbox.Durable());
    if (deliver)
        std::printf("  delivered: %lld acknowledged by the server when the one-by-one part ended, "
                    "%lld when the bursts ended, %lld in the end\n",
                    ackedOne, ackedBurst, outbox.Acknowledged());
    std::printf("  rows: DestTar %d, day file %d, TarifTA2 %d\n", billed,
                tables.TableToday()->RecordCount(), pending);
    Print("one by one (a read per frame):", one);
    std::printf("  %-44s %6.2f journal syncs per call\n", "", syncsPerCall);
    if (diskWrites >= 0 && syncs > 0)
        std::printf("  %-44s %6.2f disk write requests per journal sync (data and flush: 2)\n", "",
                    double(diskWrites) / double(syncs));
    Print(qPrintable(QStringLiteral("bursts (%1 calls' frames in one read):").arg(kBurst)), burst);
    std::printf("  this disk: fdatasync of a 4 KB overwrite, median %.0f us\n",
                SyncMedianUs(dir.path()));
#ifdef VARNEL_BENCH_SQLITE
    walOne.perSecond = kMeasured / walSeconds;
    Print("SQLite WAL, synchronous=FULL, one by one:", walOne);
    Print("SQLite rollback journal, synchronous=FULL:",
          SqliteRun(dir.path() + QStringLiteral("/rollback.sqlite"), false));
#else
    std::printf("  (built without SQLite: no comparison)\n");
#endif
    std::printf("  goal: >= 2000 calls/s durable, p99 < 5000 us; the line carries at most about "
                "650 calls/s for four exchanges\n");
    Clock::SetTestTime(QDateTime());
    const bool queued = !central || (outbox.Durable() == matched && outbox.Last() == matched);
    return billed == matched && pending == kInProgress && queued && delivered ? 0 : 1;
}
