// Eight collectors of four exchanges each bill calls fed to their lines and
// deliver them to one central server, while the server is killed and
// restarted, one collector is killed and restarted, and one collector's
// connection is cut between a COMMIT and its answer. At the end every billed
// call of every collector is on the server exactly once, every terminal's
// keys are dense, and nothing is pending.
#include "PgServer.h"
#include "TestSupport.h"
#include "tariff/CallRecordsTestSupport.h"

#include "central/CentralSchema.h"
#include "central/Outbox.h"
#include "platform/Registry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <map>

namespace {

constexpr int kCollectors = 8;
constexpr int kLines = 4;
constexpr int kKits = 40; // calls in progress per line

struct Collector {
    int index = 0;
    QTemporaryDir dir;
    std::array<PtyPair, kLines> ptys;
    std::unique_ptr<QProcess> proc;
    QByteArray log; // its standard error
    std::array<int, kLines> tick{};
    std::array<std::map<int, QString>, kLines> open; // kit -> B of a call in progress

    QString TerminalId() const { return QStringLiteral("T%1").arg(index); }
    QString Registry() const { return dir.filePath(QStringLiteral("registry.ini")); }

    void Configure(const QString& conninfo) {
        const QByteArray old = qgetenv("VARNEL_REGISTRY");
        qputenv("VARNEL_REGISTRY", Registry().toUtf8());
        for (int n = 1; n <= kLines; ++n) {
            SwitchLineOn(n, n);
            ptys[size_t(n - 1)].MapToPort(n);
        }
        ::Registry reg;
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Central"), true);
        reg.WriteBool(QStringLiteral("Enabled"), true);
        reg.WriteString(QStringLiteral("TerminalId"), TerminalId());
        reg.WriteString(QStringLiteral("ConnInfo"), conninfo);
        reg.CloseKey();
        qputenv("VARNEL_REGISTRY", old);
    }

    bool Start() {
        proc = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VARNEL_REGISTRY"), Registry());
        proc->setProcessEnvironment(env);
        proc->setProcessChannelMode(QProcess::ForwardedOutputChannel);
        proc->start(QStringLiteral(VARNEL_BIN_DIR "/varnel-collect"),
                    {QStringLiteral("--dir"), dir.path()});
        if (!proc->waitForStarted(10000)) return false;
        log.clear();
        return WaitUntil([&] { return (log += proc->readAllStandardError()).contains("running"); },
                         20000);
    }

    // One step of every line: a call starts on one kit, the one started
    // kKits steps ago ends.
    void Feed() {
        for (int l = 0; l < kLines; ++l) {
            const int t = tick[size_t(l)]++;
            const int kit = 100 * (l + 1) + t % kKits;
            std::vector<uint8_t> bytes;
            if (auto it = open[size_t(l)].find(kit); it != open[size_t(l)].end()) {
                const auto end = CallEndCodes(kit, it->second);
                bytes.insert(bytes.end(), end->begin(), end->end());
                open[size_t(l)].erase(it);
            }
            const QString a = QString::number(2000 + (t * 7 + index) % 8000);
            const QString b = QString::number(100000 + (t * 13 + l * 1000 + index) % 900000);
            const auto start = CallStartCodes(kit, a, b, 1 + t % 3);
            bytes.insert(bytes.end(), start->begin(), start->end());
            open[size_t(l)][kit] = b;
            ptys[size_t(l)].WriteMaster(bytes);
        }
    }

    QString DestTar() const { return dir.filePath(QStringLiteral("Tables/DestTar.db")); }
};

// A call as DestTar and the server both describe it.
QString CallKey(qint64 a, qint64 startMs, qint64 duration, int cat, qint64 b, double tariff) {
    return QStringLiteral("%1 %2 %3 %4 %5 %6")
        .arg(a)
        .arg(startMs)
        .arg(duration)
        .arg(cat)
        .arg(b)
        .arg(tariff);
}

} // namespace

TEST(CentralAcceptance, EightCollectorsDeliverEveryCallOnceThroughCrashesAndOutages) {
    VARNEL_REQUIRE_POSTGRES();
    TestEnv env;
    PgServer pg;
    ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
    QStringList report;
    QString error;
    ASSERT_TRUE(CentralSchema::Init(pg.ConnInfo(), &report, &error)) << error.toStdString();
    PgProxy proxy(pg.SocketPath());

    std::vector<std::unique_ptr<Collector>> cs;
    for (int i = 0; i < kCollectors; ++i) {
        auto c = std::make_unique<Collector>();
        c->index = i;
        c->Configure(i == 0 ? proxy.ConnInfo() : pg.ConnInfo());
        cs.push_back(std::move(c));
    }
    for (auto& c : cs)
        ASSERT_TRUE(c->Start()) << "collector " << c->index;

    QTimer feed;
    feed.setInterval(150);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (auto& c : cs)
            c->Feed();
    });
    feed.start();
    auto run = [](int ms) { WaitFor(ms); };

    run(3000);
    ASSERT_TRUE(pg.Kill());
    run(2000);
    ASSERT_TRUE(pg.Start()) << pg.Error().toStdString();
    run(2000);
    cs[3]->proc->kill(); // SIGKILL
    cs[3]->proc->waitForFinished(5000);
    run(1000);
    ASSERT_TRUE(cs[3]->Start());
    proxy.cutAtCommit = true;
    run(3000);
    feed.stop();
    EXPECT_EQ(proxy.cuts, 1);

    // Every collector's billed calls reach the server, and each knows it.
    auto serverCount = [&](const Collector& c) {
        return pg
            .Query(QStringLiteral("SELECT count(*) FROM varnel_calls WHERE terminal_id = '%1'")
                       .arg(c.TerminalId()))
            .toLongLong();
    };
    for (auto& c : cs)
        EXPECT_TRUE(WaitUntil(
            [&] {
                return serverCount(*c) == ReadRows(c->DestTar()).size() &&
                       Outbox::ReadStatus(c->dir.filePath(QStringLiteral("Tables"))).pending == 0;
            },
            60000))
            << "collector " << c->index;
    for (auto& c : cs) {
        ::kill(pid_t(c->proc->processId()), SIGTERM);
        ASSERT_TRUE(c->proc->waitForFinished(20000));
        EXPECT_EQ(c->proc->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(c->proc->exitCode(), 0);
    }

    qint64 total = 0;
    for (auto& c : cs) {
        SCOPED_TRACE(c->TerminalId().toStdString());
        const OutboxStatus st = Outbox::ReadStatus(c->dir.filePath(QStringLiteral("Tables")));
        EXPECT_EQ(st.pending, 0);
        EXPECT_EQ(st.quarantined, 0);
        QStringList local;
        for (const QVariantList& r : ReadRows(c->DestTar()))
            local << CallKey(r[0].toLongLong(),
                             QDateTime(r[1].toDate(), r[2].toTime()).toMSecsSinceEpoch(),
                             r[3].toLongLong(), r[4].toInt(), r[5].toLongLong(), r[8].toDouble());
        const QString server =
            pg.Query(QStringLiteral("SELECT string_agg(concat_ws(' ', a_number, (extract(epoch "
                                    "FROM started) * 1000)::bigint, "
                                    "duration, category, b_billed, tariff), E'\\n') FROM "
                                    "varnel_calls WHERE terminal_id = '%1'")
                         .arg(c->TerminalId()));
        QStringList remote = server.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        local.sort();
        remote.sort();
        EXPECT_GT(local.size(), 100);
        total += local.size();
        EXPECT_EQ(remote, local);
        // Dense keys: per epoch, 1..max with no gap and no repeat.
        const QString gaps = pg.Query(
            QStringLiteral(
                "SELECT count(*) FROM (SELECT epoch FROM varnel_calls WHERE terminal_id = '%1' "
                "GROUP BY epoch HAVING min(seq) <> 1 OR max(seq) <> count(*)) g")
                .arg(c->TerminalId()));
        EXPECT_EQ(gaps, QStringLiteral("0"));
    }
    std::printf("%lld calls of %d collectors compared with the server\n", total, kCollectors);
}
