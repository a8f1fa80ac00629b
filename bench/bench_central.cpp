// The central sender's drain rate against a throwaway PostgreSQL server
// (fsync on): rows per second delivered in batches (COPY into the staging
// table, INSERT ... ON CONFLICT DO NOTHING, the acknowledged number, one
// transaction per batch), beside a plain COPY of the same rows into a twin
// table in the same run, one transaction per batch as well.
//
//   bench_central [ROWS]   (default 50000 per batch size)
#include "PgServer.h"
#include "TestSupport.h"
#include "central/CentralRecord.h"
#include "central/CentralSchema.h"
#include "central/CentralSender.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimeZone>

#include <libpq-fe.h>

#include <cstdio>

namespace {

QByteArray Line(qint64 epoch, qint64 seq) {
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::max(1000, atoi(argv[1])) : 50000;
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
    std::printf("%d rows per batch size, fsync on, Unix socket\n", rows);
    std::printf("batch   sender rows/s   plain COPY rows/s   ratio\n");
    qint64 epoch = 0;
    for (const int batch : {1000, 2000, 5000}) {
        ++epoch;
        QList<QByteArray> lines;
        for (int i = 1; i <= rows; ++i)
            lines << Line(epoch, i);
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
    return 0;
}
