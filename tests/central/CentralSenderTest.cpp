#include "central/CentralSender.h"
#include "PgServer.h"
#include "TestSupport.h"
#include "central/CentralRecord.h"
#include "central/CentralSchema.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTimeZone>

namespace {

constexpr qint64 kEpoch = 4242;

QByteArray Line(qint64 seq, int kit = 100) {
    CentralRecord r;
    r.terminalId = QStringLiteral("T1");
    r.epoch = kEpoch;
    r.seq = seq;
    r.exchange = 1 + int(seq % 4);
    r.kit = kit;
    r.started = QDateTime(QDate(2026, 12, 7), QTime(10, 0), QTimeZone(3 * 3600)).addSecs(seq);
    r.ended = r.started.addSecs(60);
    r.duration = 60;
    r.durationUnit = QStringLiteral("s");
    r.aNumber = QStringLiteral("2345");
    r.bDialled = r.bBilled = QStringLiteral("4951234567");
    r.category = 1;
    r.destCode = QStringLiteral("495");
    r.destCodeForeign = QStringLiteral("Not found");
    r.tariff = 1.5;
    return r.ToCopyLine();
}

QList<QByteArray> Lines(qint64 from, int count) {
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out << Line(from + i);
    return out;
}

// What the sender said, in order.
struct Watcher {
    explicit Watcher(CentralSender& s) {
        QObject::connect(&s, &CentralSender::LinkUp, &s, [this] { ++ups; });
        QObject::connect(&s, &CentralSender::LinkDown, &s, [this](const QString& r) {
            ++downs;
            lastDown = r;
        });
        QObject::connect(&s, &CentralSender::Acknowledged, &s, [this](qint64 e, qint64 seq) {
            EXPECT_EQ(e, kEpoch);
            acked = seq;
        });
        QObject::connect(&s, &CentralSender::Refused, &s,
                         [this](qint64, qint64 seq, const QByteArray&, const QString& reason) {
                             refused << seq;
                             reasons << reason;
                         });
        QObject::connect(&s, &CentralSender::Ready, &s, [this] { ++ready; });
    }
    int ups = 0, downs = 0, ready = 0;
    qint64 acked = -1;
    QString lastDown;
    QList<qint64> refused;
    QStringList reasons;
};

// Delivers lines from seq `from` on as the controller would: a batch on each
// Ready, resuming after the server's acknowledged number; true when `to` is
// acknowledged.
bool DeliverAll(CentralSender& s, Watcher& w, qint64 to, int batch, int ms = 20000) {
    int seen = -1;
    return WaitUntil(
        [&] {
            if (w.ready != seen && w.acked >= 0 && w.acked < to) {
                seen = w.ready;
                const int n = int(std::min<qint64>(batch, to - w.acked));
                s.Deliver(kEpoch, w.acked + 1, Lines(w.acked + 1, n));
            }
            return w.acked == to;
        },
        ms);
}

CentralSenderOptions FastOptions() {
    CentralSenderOptions o;
    o.connectTimeoutMs = 2000;
    o.statementTimeoutMs = 5000;
    o.backoffMinMs = 50;
    o.backoffMaxMs = 400;
    return o;
}

class CentralSenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        VARNEL_REQUIRE_POSTGRES();
        ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
        QStringList report;
        QString error;
        ASSERT_TRUE(CentralSchema::Init(pg.ConnInfo(), &report, &error)) << error.toStdString();
    }
    qint64 Count(const QString& sql) {
        bool ok = false;
        const QString v = pg.Query(sql, &ok);
        EXPECT_TRUE(ok) << pg.Error().toStdString();
        return v.toLongLong();
    }
    qint64 Calls() { return Count(QStringLiteral("SELECT count(*) FROM varnel_calls")); }
    TestEnv env;
    PgServer pg;
};

} // namespace

TEST_F(CentralSenderTest, DeliversBatchesOnceAndResumesFromTheServersNumber) {
    {
        CentralSender s(FastOptions());
        Watcher w(s);
        s.Start(pg.ConnInfo(), QStringLiteral("T1"), kEpoch);
        ASSERT_TRUE(DeliverAll(s, w, 250, 100));
        EXPECT_EQ(w.ups, 1);
        EXPECT_EQ(Calls(), 250);
        // A resent batch lands once; a batch past a gap is not sent.
        const int ready = w.ready;
        s.Deliver(kEpoch, 101, Lines(101, 100));
        ASSERT_TRUE(WaitUntil([&] { return w.ready > ready; }, 10000));
        s.Deliver(kEpoch, 300, Lines(300, 10));
        ASSERT_TRUE(WaitUntil([&] { return w.ready > ready + 1; }, 10000));
        EXPECT_EQ(w.acked, 250);
        EXPECT_EQ(Calls(), 250);
    }
    EXPECT_EQ(Count(QStringLiteral("SELECT acked FROM varnel_ack WHERE terminal_id = 'T1'")), 250);
    EXPECT_EQ(Count(QStringLiteral("SELECT count(*) FROM varnel_calls WHERE utc_offset = "
                                   "interval '3 hours' AND started = '2026-12-07 07:00:01+00'")),
              1);
    // A new sender learns the server's number first.
    CentralSender s(FastOptions());
    Watcher w(s);
    s.Start(pg.ConnInfo(), QStringLiteral("T1"), kEpoch);
    ASSERT_TRUE(WaitUntil([&] { return w.ready > 0; }, 10000));
    EXPECT_EQ(w.acked, 250);
}

TEST_F(CentralSenderTest, ToolInitCreatesOnceAndSaysWhenTheServerIsAway) {
    const QString tool = QStringLiteral(VARNEL_BIN_DIR "/varnel-tool");
    QProcess p;
    p.start(tool, {QStringLiteral("central"), QStringLiteral("init"), pg.ConnInfo()});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("table varnel_calls: already there")))
        << out.toStdString();

    p.start(tool, {QStringLiteral("central"), QStringLiteral("init"),
                   QStringLiteral("host=%1/none dbname=postgres").arg(pg.SocketDir())});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("cannot reach the server"));
}

TEST_F(CentralSenderTest, CommitWhoseAnswerIsLostIsNeitherLostNorDoubled) {
    PgProxy proxy(pg.SocketPath());
    CentralSender s(FastOptions());
    Watcher w(s);
    s.Start(proxy.ConnInfo(), QStringLiteral("T1"), kEpoch);
    ASSERT_TRUE(WaitUntil([&] { return w.ready > 0; }, 10000));
    proxy.cutAtCommit = true;
    s.Deliver(kEpoch, 1, Lines(1, 50));
    // The link drops, comes back, and the server's number says the batch is in.
    ASSERT_TRUE(WaitUntil([&] { return w.downs == 1 && w.ups == 2 && w.acked == 50; }, 10000));
    EXPECT_EQ(proxy.cuts, 1);
    ASSERT_TRUE(DeliverAll(s, w, 120, 50));
    EXPECT_EQ(Calls(), 120);
    EXPECT_EQ(Count(QStringLiteral("SELECT count(DISTINCT seq) FROM varnel_calls")), 120);
}

TEST_F(CentralSenderTest, DeliveryResumesAfterTheServerIsKilledAndRestarted) {
    CentralSender s(FastOptions());
    Watcher w(s);
    s.Start(pg.ConnInfo(), QStringLiteral("T1"), kEpoch);
    ASSERT_TRUE(DeliverAll(s, w, 100, 50));
    ASSERT_TRUE(pg.Kill());
    ASSERT_TRUE(WaitUntil([&] { return w.downs == 1; }, 10000));
    ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
    ASSERT_TRUE(DeliverAll(s, w, 300, 50));
    EXPECT_EQ(w.ups, 2);
    EXPECT_EQ(Calls(), 300);
}

TEST_F(CentralSenderTest, RefusedRecordsAreQuarantinedAndTheRestDelivered) {
    bool ok = false;
    pg.Query(
        QStringLiteral("ALTER TABLE varnel_calls ADD CONSTRAINT no_kit_666 CHECK (kit <> 666)"),
        &ok);
    ASSERT_TRUE(ok) << pg.Error().toStdString();
    CentralSender s(FastOptions());
    Watcher w(s);
    s.Start(pg.ConnInfo(), QStringLiteral("T1"), kEpoch);
    ASSERT_TRUE(WaitUntil([&] { return w.ready > 0; }, 10000));
    QList<QByteArray> lines = Lines(1, 40);
    lines[6] = Line(7, 666); // violates the check (class 23)
    lines[20] = QByteArray(lines[20]).replace("\t60\ts\t", "\tsixty\ts\t"); // no number (class 22)
    s.Deliver(kEpoch, 1, lines);
    ASSERT_TRUE(WaitUntil([&] { return w.acked == 40; }, 20000));
    EXPECT_EQ(w.refused, (QList<qint64>{7, 21}));
    EXPECT_EQ(w.downs, 0);
    EXPECT_TRUE(w.reasons.value(0).contains(QStringLiteral("no_kit_666")))
        << w.reasons.value(0).toStdString();
    EXPECT_EQ(Calls(), 38);
    EXPECT_EQ(Count(QStringLiteral("SELECT count(*) FROM varnel_quarantine WHERE seq = 7 OR "
                                   "(seq = 21 AND convert_from(record, 'UTF8') LIKE '%sixty%')")),
              2);
    EXPECT_EQ(
        Count(QStringLiteral("SELECT count(*) FROM (SELECT seq FROM varnel_calls UNION "
                             "SELECT seq FROM varnel_quarantine) s WHERE seq BETWEEN 1 AND 40")),
        40);
}

TEST_F(CentralSenderTest, SilentServerIsGivenUpWithinTheTimeouts) {
    // Accepts the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    CentralSenderOptions o = FastOptions();
    o.connectTimeoutMs = 300;
    o.statementTimeoutMs = 400;
    {
        CentralSender s(o);
        Watcher w(s);
        s.Start(QStringLiteral("hostaddr=127.0.0.1 port=%1 dbname=x user=x sslmode=disable")
                    .arg(silent.serverPort()),
                QStringLiteral("T1"), kEpoch);
        ASSERT_TRUE(WaitUntil([&] { return w.downs == 1; }, 5000));
        EXPECT_TRUE(w.lastDown.contains(QStringLiteral("no connection")))
            << w.lastDown.toStdString();
    }
    // A server that stops answering in the middle of a batch.
    PgProxy proxy(pg.SocketPath());
    CentralSender s(o);
    Watcher w(s);
    s.Start(proxy.ConnInfo(), QStringLiteral("T1"), kEpoch);
    ASSERT_TRUE(WaitUntil([&] { return w.ready > 0; }, 10000));
    proxy.freeze = true;
    s.Deliver(kEpoch, 1, Lines(1, 10));
    ASSERT_TRUE(WaitUntil([&] { return w.downs == 1; }, 5000));
    EXPECT_TRUE(w.lastDown.contains(QStringLiteral("no answer"))) << w.lastDown.toStdString();
    proxy.freeze = false;
    ASSERT_TRUE(DeliverAll(s, w, 10, 10));
}
