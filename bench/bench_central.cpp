// The central sender's drain rate against a throwaway PostgreSQL server
// (fsync on): rows per second delivered in batches (COPY into the staging
// table, INSERT ... ON CONFLICT DO NOTHING, the acknowledged number, one
// transaction per batch), beside a plain COPY of the same rows into a twin
// table in the same run, one transaction per batch as well.
//
// Then the delay from a call's local durable commit to its row being visible
// on the server, with four exchanges at full line load: each line carries
// 7200 codes/s (57600 baud, 8 bits a code), a call being a start frame of 28
// codes and an end frame of 16, so about 164 calls/s a line and 654 for four.
// The codes go through the exchange objects on ports in memory, in the pieces
// that arrive every 5 ms; the calls are billed into the tariff tables with the
// outbox, and CentralDelivery sends them to the server. A call's commit time is
// taken when the read that billed it returns (its sync done); its visibility
// is seen by a second connection that polls the acknowledged number (written
// in the same server transaction as the rows) every 2 ms.
//
//   bench_central [--drain | --delay] [ROWS] [SECONDS]
//   (defaults: both parts, 50000 rows per batch size, 20 s of load)
#include "PgServer.h"
#include "TestSupport.h"
#include "central/CentralDelivery.h"
#include "central/CentralRecord.h"
#include "central/CentralSchema.h"
#include "central/CentralSender.h"
#include "central/Outbox.h"
#include "link/Ats.h"
#include "link/CallFrame.h"
#include "link/LinkOptions.h"
#include "tables/TableCsv.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimeZone>
#include <QTimer>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>
#include <vector>

namespace {

QByteArray CopyLine(qint64 epoch, qint64 seq) {
    CentralRecord r;
    r.terminalId = QStringLiteral("bench");
    r.epoch = epoch;
    r.seq = seq;
    r.exchange = 1 + int(seq % 4);
    r.kit = int(seq % 2000);
    r.started = QDateTime(QDate(2026, 12, 7), QTime(0, 0), QTimeZone(3 * 3600)).addSecs(seq);
    r.ended = r.started.addSecs(75);
    r.duration = 75;
    r.durationUnit = QStringLiteral("s");
    r.aNumber = QStringLiteral("2345");
    r.bDialled = QStringLiteral("84951234567");
    r.bBilled = QStringLiteral("4951234567");
    r.category = 1;
    r.destCode = QStringLiteral("495");
    r.destCodeForeign = QStringLiteral("Not found");
    r.tariff = 2.5;
    return r.ToCopyLine();
}

// Plain COPY of the rows into the twin table, a transaction per batch; rows/s.
double PlainCopy(const QString& conninfo, const QList<QByteArray>& lines, int batch) {
    PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
    if (PQstatus(c) != CONNECTION_OK) return 0;
    const QByteArray copy =
        QByteArray("COPY varnel_twin (") + CentralRecord::kColumns + ") FROM STDIN";
    QElapsedTimer t;
    t.start();
    for (qsizetype i = 0; i < lines.size(); i += batch) {
        PQclear(PQexec(c, copy.constData()));
        QByteArray data;
        for (qsizetype j = i; j < std::min(lines.size(), i + batch); ++j)
            data += lines[j];
        PQputCopyData(c, data.constData(), int(data.size()));
        PQputCopyEnd(c, nullptr);
        while (PGresult* r = PQgetResult(c)) {
            if (PQresultStatus(r) != PGRES_COMMAND_OK)
                std::fprintf(stderr, "COPY: %s", PQresultErrorMessage(r));
            PQclear(r);
        }
    }
    const double s = t.nsecsElapsed() / 1e9;
    PQfinish(c);
    return lines.size() / s;
}

// Microseconds since the epoch on the system clock (the server's now() is
// on the same clock).
qint64 WallUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

QString LoadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 2)
                                       : QStringLiteral("?");
}

// One exchange's line: the codes it will carry, and how many have arrived.
struct LineFeed {
    FakePort* port = nullptr;
    std::unique_ptr<TAts> ats;
    std::vector<uint8_t> codes;
    size_t sent = 0;
};

// The codes of one line for `seconds`: call j starts, and the call started
// kInProgress calls before ends (so about 1.2 s a call); the first
// kInProgress starts (*warmUp codes) arrive before the clock. Kits are distinct
// among the calls in progress; half the calls are long-distance (Cat 8, a
// destination looked up).
std::vector<uint8_t> LineCodes(int exchange, int seconds, size_t* warmUp) {
    constexpr int kInProgress = 200;
    size_t total = size_t(seconds) * 7200;
    auto b = [](int j) { return QString::number(8300000 + j % 400 * 1000 + j % 1000); };
    std::vector<uint8_t> codes;
    codes.reserve(total + 64);
    for (int j = 0; codes.size() < total; ++j) {
        const auto start = CallStartCodes(
            j % 2000, QString::number(100000 + exchange * 10000 + j % 9000), b(j), j % 2 ? 8 : 1);
        codes.insert(codes.end(), start->begin(), start->end());
        if (j + 1 == kInProgress) { // the calls in progress before the clock starts
            *warmUp = codes.size();
            total += codes.size();
        }
        if (j >= kInProgress) {
            const int old = j - kInProgress;
            const auto end = CallEndCodes(old % 2000, b(old));
            codes.insert(codes.end(), end->begin(), end->end());
        }
    }
    codes.resize(total);
    return codes;
}

int DelayRun(const QString& conninfo, const QString& workDir, int seconds) {
    QDir().mkpath(workDir + QStringLiteral("/Tables"));
    QDir().mkpath(workDir + QStringLiteral("/Rulon"));
    QString sng = QStringLiteral("KOD:A10,TRF:F\n");
    for (int i = 0; i < 400; ++i)
        sng += QStringLiteral("%1,%2\n").arg(300 + i).arg(0.5 + i % 7);
    tables::LoadCsv(workDir + QStringLiteral("/Tables/Sng.db"), sng, nullptr, nullptr);
    tables::LoadCsv(workDir + QStringLiteral("/Tables/Foren.db"), QStringLiteral("KOD:A10,TRF:F\n"),
                    nullptr, nullptr);
    BillingRules mode;
    TariffTables tables(workDir);
    const QString terminal = QStringLiteral("delay");
    const bool opened = tables.OpenTables();
    Outbox outbox(tables.StandardDir(), terminal);
    QString e;
    if (!opened || !outbox.Open(&e)) {
        std::printf("cannot open the tables or the outbox in %s: %s\n", qPrintable(workDir),
                    qPrintable(e));
        return 1;
    }
    CallRecords calls(mode, tables, &outbox);
    CentralDelivery delivery(outbox, conninfo, terminal);
    if (!WaitUntil([&] { return delivery.LinkIsUp(); }, 10000)) {
        std::printf("delivery did not connect\n");
        return 1;
    }

    LinkOptions options;
    options.rollDir = workDir + QStringLiteral("/Rulon/");
    std::vector<LineFeed> lines(4);
    for (int n = 1; n <= 4; ++n) {
        LineFeed& l = lines[size_t(n - 1)];
        l.port = new FakePort;
        l.ats = std::make_unique<TAts>(options, n, std::unique_ptr<SerialPort>(l.port));
        l.ats->SwitchPort(true);
        l.ats->SetCallSink(&calls);
        l.codes = LineCodes(n, seconds, &l.sent);
        l.port->Arrive(std::vector<uint8_t>(l.codes.begin(), l.codes.begin() + qsizetype(l.sent)));
    }
    const size_t warmUp = lines[0].sent;

    // The server's view: a second connection notes when the acknowledged
    // number (committed with the rows) grows.
    const qint64 epoch = outbox.Epoch();
    std::atomic<bool> stop{false};
    std::vector<std::pair<qint64, qint64>> seen; // acknowledged number, wall us
    std::thread observer([&] {
        PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
        const QByteArray q = QStringLiteral("SELECT acked FROM varnel_ack WHERE terminal_id = '%1' "
                                            "AND epoch = %2")
                                 .arg(terminal)
                                 .arg(epoch)
                                 .toUtf8();
        qint64 last = 0;
        while (!stop && PQstatus(c) == CONNECTION_OK) {
            PGresult* r = PQexec(c, q.constData());
            const qint64 now = WallUs();
            if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) {
                const qint64 acked = atoll(PQgetvalue(r, 0, 0));
                if (acked > last) seen.emplace_back(last = acked, now);
            }
            PQclear(r);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        PQfinish(c);
    });

    std::map<qint64, qint64> committed; // sequence number -> wall us of its commit
    qint64 stamped = outbox.Durable();
    auto stamp = [&] {
        const qint64 now = WallUs();
        for (qint64 seq = stamped + 1; seq <= outbox.Durable(); ++seq)
            committed[seq] = now;
        stamped = std::max(stamped, outbox.Durable());
    };
    const QString load0 = LoadAverage();
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // What each line has carried by now, however late the tick.
        const size_t due = warmUp + size_t(double(clock.nsecsElapsed()) * 7200 / 1e9);
        for (LineFeed& l : lines) {
            const size_t to = std::min(due, l.codes.size());
            if (to <= l.sent) continue;
            l.port->Arrive(std::vector<uint8_t>(l.codes.begin() + qsizetype(l.sent),
                                                l.codes.begin() + qsizetype(to)));
            l.sent = to;
            stamp();
        }
    });
    tick.start(5);
    const bool fed = WaitUntil(
        [&] {
            stamp();
            return std::all_of(lines.begin(), lines.end(),
                               [](const LineFeed& l) { return l.sent == l.codes.size(); });
        },
        seconds * 1000 + 60000);
    const double feedSeconds = double(clock.nsecsElapsed()) / 1e9;
    tick.stop();
    const bool drained = WaitUntil(
        [&] {
            stamp();
            return outbox.Acknowledged() == outbox.Durable() && !seen.empty() &&
                   seen.back().first >= outbox.Durable();
        },
        30000);
    stop = true;
    observer.join();
    const QString load1 = LoadAverage();

    // The server's received (now() of the inserting transaction: its start,
    // so a lower bound of when the row became visible).
    std::map<qint64, qint64> received;
    {
        PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
        const QByteArray q =
            QStringLiteral("SELECT seq, (extract(epoch FROM received) * 1000000)::bigint "
                           "FROM varnel_calls WHERE terminal_id = '%1' AND epoch = %2")
                .arg(terminal)
                .arg(epoch)
                .toUtf8();
        PGresult* r = PQexec(c, q.constData());
        for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); ++i)
            received[atoll(PQgetvalue(r, i, 0))] = atoll(PQgetvalue(r, i, 1));
        PQclear(r);
        PQfinish(c);
    }

    std::vector<double> visible, inserted; // seconds
    std::map<qint64, int> batches;         // received -> rows
    for (const auto& [seq, at] : committed) {
        const auto it = std::lower_bound(
            seen.begin(), seen.end(), seq,
            [](const std::pair<qint64, qint64>& s, qint64 v) { return s.first < v; });
        if (it != seen.end()) visible.push_back(double(it->second - at) / 1e6);
        const auto r = received.find(seq);
        if (r != received.end()) {
            inserted.push_back(double(r->second - at) / 1e6);
            ++batches[r->second];
        }
    }
    const qint64 billed = outbox.Durable();
    std::printf("\ndelay from local commit to the row on the server: four exchanges at full line "
                "load (7200 codes/s each), %d s\n",
                seconds);
    std::printf("  fed %.1f s%s; %lld calls billed (%.0f calls/s), %zu rows on the server in %zu "
                "batches%s\n",
                feedSeconds, fed ? "" : " (the feed fell behind)", billed,
                double(billed) / feedSeconds, received.size(), batches.size(),
                drained ? "" : " (not all delivered)");
    std::printf("  visible (acknowledged number seen by a second connection, polled every 2 ms):\n"
                "    p50 %.3f s   p99 %.3f s   max %.3f s\n",
                Percentile(visible, 0.5), Percentile(visible, 0.99),
                visible.empty() ? 0 : *std::max_element(visible.begin(), visible.end()));
    std::printf("  inserted (the row's received, its transaction's start):\n"
                "    p50 %.3f s   p99 %.3f s   max %.3f s\n",
                Percentile(inserted, 0.5), Percentile(inserted, 0.99),
                inserted.empty() ? 0 : *std::max_element(inserted.begin(), inserted.end()));
    std::printf("  load average before %s, after %s\n", qPrintable(load0), qPrintable(load1));
    std::printf("  goal: p99 under 2 s\n");
    for (LineFeed& l : lines)
        l.ats.reset();
    return fed && drained && qint64(received.size()) == billed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool drainOnly = args.removeAll(QStringLiteral("--drain")) > 0;
    const bool delayOnly = args.removeAll(QStringLiteral("--delay")) > 0;
    const int rows = args.size() > 0 ? std::max(1000, args[0].toInt()) : 50000;
    const int seconds = args.size() > 1 ? std::max(1, args[1].toInt()) : 20;
    if (PgServer::BinDir().isEmpty()) {
        std::printf("PostgreSQL not installed: nothing measured\n");
        return 0;
    }
    TestEnv env;
    PgServer pg;
    pg.fsync = true;
    QStringList report;
    QString error;
    if (!pg.Start() || !CentralSchema::Init(pg.ConnInfo(), &report, &error)) {
        std::printf("server: %s %s\n", qPrintable(pg.Error()), qPrintable(error));
        return 1;
    }
    bool ok = false;
    pg.Query(QStringLiteral("CREATE TABLE varnel_twin (LIKE varnel_calls INCLUDING ALL); "
                            "ALTER TABLE varnel_twin ALTER utc_offset SET DEFAULT '0'"),
             &ok);
    if (!ok) {
        std::printf("twin table: %s\n", qPrintable(pg.Error()));
        return 1;
    }
    if (delayOnly) return DelayRun(pg.ConnInfo(), env.Path(QStringLiteral("delay")), seconds);
    std::printf("%d rows per batch size, fsync on, Unix socket, load average %s\n", rows,
                qPrintable(LoadAverage()));
    std::printf("batch   sender rows/s   plain COPY rows/s   ratio\n");
    qint64 epoch = 0;
    for (const int batch : {1000, 2000, 5000}) {
        ++epoch;
        QList<QByteArray> lines;
        for (int i = 1; i <= rows; ++i)
            lines << CopyLine(epoch, i);
        const double plain = PlainCopy(pg.ConnInfo(), lines, batch);

        CentralSender sender;
        qint64 acked = -1;
        bool ready = false;
        QObject::connect(&sender, &CentralSender::Acknowledged, &sender,
                         [&](qint64, qint64 seq) { acked = seq; });
        QObject::connect(&sender, &CentralSender::Ready, &sender, [&] { ready = true; });
        sender.Start(pg.ConnInfo(), QStringLiteral("bench"), epoch);
        if (!WaitUntil([&] { return ready; }, 10000)) {
            std::printf("sender did not connect\n");
            return 1;
        }
        QElapsedTimer t;
        t.start();
        const bool done = WaitUntil(
            [&] {
                if (ready && acked < rows) {
                    ready = false;
                    sender.Deliver(epoch, acked + 1, lines.mid(acked, batch));
                }
                return acked == rows;
            },
            600000);
        const double rate = rows / (t.nsecsElapsed() / 1e9);
        std::printf("%5d   %13.0f   %17.0f   %5.2f%s\n", batch, rate, plain, rate / plain,
                    done ? "" : "  (did not finish)");
    }
    std::printf("goal: at least 10000 rows/s and at least 0.20 of the plain COPY\n");
    if (drainOnly) return 0;
    return DelayRun(pg.ConnInfo(), env.Path(QStringLiteral("delay")), seconds);
}
