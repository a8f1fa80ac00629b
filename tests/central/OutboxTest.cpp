// The central call store's local queue: dense sequence numbers across
// rollbacks, only durable records read, acknowledgement and compaction, the
// quarantine and status, and a damaged file set aside with a new epoch.
#include "central/Outbox.h"
#include "TestSupport.h"
#include "platform/ProgramLog.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using tables::Transaction;

namespace {

CentralRecord Call(int n) {
    CentralRecord r;
    r.exchange = 1 + n % 4;
    r.kit = n % 500;
    r.ended = QDateTime(QDate(2026, 12, 7), QTime(10, 0)).addSecs(n);
    r.started = r.ended.addSecs(-60);
    r.duration = 60;
    r.durationUnit = CentralRecord::UnitOf(1);
    r.aNumber = QString::number(100000 + n);
    r.bDialled = r.bBilled = QString::number(3000000 + n);
    r.category = 1;
    r.destCode = r.destCodeForeign = QStringLiteral("Not found");
    return r;
}

// Stages calls [from, to) in one transaction, synced.
bool StageCommitted(Outbox& q, const QString& dir, int from, int to) {
    Transaction tx(dir);
    for (int n = from; n < to; ++n)
        if (!q.Stage(Call(n))) return false;
    if (!tx.Commit(nullptr)) return false;
    q.MarkDurable();
    return true;
}

// The (seq, A number) of lines, parsed.
QList<QPair<qint64, QString>> Keys(const QList<QByteArray>& lines, qint64 epoch) {
    QList<QPair<qint64, QString>> out;
    for (const QByteArray& l : lines) {
        const auto r = CentralRecord::FromCopyLine(l);
        if (!r || r->epoch != epoch || r->terminalId != QStringLiteral("T1")) return {};
        out << qMakePair(r->seq, r->aNumber);
    }
    return out;
}

QStringList LogText() {
    QFile f(LogFilePath());
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).split('\n')
                                       : QStringList();
}

} // namespace

TEST(Outbox, RollbackTakesTheSequenceBackAndReadGivesOnlyDurableRecords) {
    TestEnv env;
    const QString dir = env.Dir();
    qint64 epoch = 0;
    {
        Outbox q(dir, QStringLiteral("T1"));
        ASSERT_TRUE(q.Open(nullptr));
        epoch = q.Epoch();
        EXPECT_GT(epoch, 0);
        QSignalSpy advanced(&q, &Outbox::DurableAdvanced);

        // Deferred: committed, not yet durable.
        {
            Transaction tx(dir);
            tx.DeferSync();
            ASSERT_TRUE(q.Stage(Call(1)));
            ASSERT_TRUE(tx.Commit(nullptr));
        }
        EXPECT_EQ(q.Last(), 1);
        EXPECT_TRUE(q.Read(1, 10).isEmpty());
        ASSERT_TRUE(tables::FlushJournals());
        q.MarkDurable();
        EXPECT_EQ(q.Durable(), 1);
        EXPECT_TRUE(advanced.wait(5000));
        EXPECT_EQ(advanced.value(0).value(0).toLongLong(), 1);

        {
            Transaction tx(dir);
            ASSERT_TRUE(q.Stage(Call(2)));
            ASSERT_TRUE(q.Stage(Call(3)));
            EXPECT_EQ(q.Last(), 3);
        } // rolled back
        EXPECT_EQ(q.Last(), 1);
        EXPECT_FALSE(q.Stage(Call(9))); // no transaction

        ASSERT_TRUE(StageCommitted(q, dir, 2, 4));
        // Staged in a running transaction: not durable, not read.
        Transaction tx(dir);
        ASSERT_TRUE(q.Stage(Call(4)));
        q.MarkDurable();
        EXPECT_EQ(q.Durable(), 3);
        const QList<QPair<qint64, QString>> want{{1, QStringLiteral("100001")},
                                                 {2, QStringLiteral("100002")},
                                                 {3, QStringLiteral("100003")}};
        EXPECT_EQ(Keys(q.Read(1, 10), epoch), want);
        EXPECT_EQ(Keys(q.Read(2, 1), epoch), want.mid(1, 1));
        EXPECT_FALSE(q.Acknowledge(1)); // needs a transaction of its own
        tx.Rollback();
    }
    // The next start reads the same queue.
    Outbox q(dir, QStringLiteral("T1"));
    ASSERT_TRUE(q.Open(nullptr));
    EXPECT_EQ(q.Epoch(), epoch);
    EXPECT_EQ(q.Durable(), 3);
    ASSERT_TRUE(StageCommitted(q, dir, 4, 5));
    EXPECT_EQ(Keys(q.Read(4, 10), epoch), (QList<QPair<qint64, QString>>{{4, "100004"}}));
}

TEST(Outbox, AcknowledgeCompactsAndStatusCountsWhatIsPending) {
    TestEnv env;
    const QString dir = env.Dir();
    Outbox q(dir, QStringLiteral("T1"));
    ASSERT_TRUE(q.Open(nullptr));
    ASSERT_TRUE(StageCommitted(q, dir, 1, 6));
    EXPECT_FALSE(q.Acknowledge(6)); // not in the queue
    ASSERT_TRUE(q.Acknowledge(2));
    EXPECT_TRUE(q.Acknowledge(1)); // behind: nothing changes
    EXPECT_EQ(q.Acknowledged(), 2);

    // The acknowledgement reaches the file with the next sync, at the latest
    // within a second.
    EXPECT_TRUE(WaitUntil([&] { return Outbox::ReadStatus(dir).acknowledged == 2; }, 3000));
    OutboxStatus st = Outbox::ReadStatus(dir);
    EXPECT_TRUE(st.exists);
    EXPECT_EQ(st.epoch, q.Epoch());
    EXPECT_EQ(st.acknowledged, 2);
    EXPECT_EQ(st.pending, 3);
    EXPECT_EQ(st.oldestPending, Call(3).ended);

    // All delivered: the file is its header again; numbering goes on.
    ASSERT_TRUE(q.Acknowledge(5));
    ASSERT_TRUE(tables::FlushJournals());
    EXPECT_EQ(QFileInfo(q.Path()).size(), 32);
    EXPECT_EQ(q.FirstKept(), 6);
    ASSERT_TRUE(StageCommitted(q, dir, 6, 7));
    EXPECT_EQ(Keys(q.Read(1, 10), q.Epoch()), (QList<QPair<qint64, QString>>{{6, "100006"}}));

    // A large delivered head with a small pending tail moves the tail.
    ASSERT_TRUE(StageCommitted(q, dir, 7, 9000));
    const qint64 big = QFileInfo(q.Path()).size();
    ASSERT_TRUE(q.Acknowledge(8990));
    ASSERT_TRUE(tables::FlushJournals());
    EXPECT_LT(QFileInfo(q.Path()).size(), big / 100);
    {
        Outbox again(dir, QStringLiteral("T1"));
        ASSERT_TRUE(again.Open(nullptr));
        EXPECT_EQ(again.FirstKept(), 8991);
        const auto keys = Keys(again.Read(0, 100), q.Epoch());
        ASSERT_EQ(keys.size(), 9);
        EXPECT_EQ(keys.front(), qMakePair(qint64(8991), QStringLiteral("108991")));
        EXPECT_EQ(keys.back().first, 8999);
    }

    ASSERT_TRUE(StageCommitted(q, dir, 9000, 9001));
    EXPECT_EQ(Keys(q.Read(8999, 5), q.Epoch()),
              (QList<QPair<qint64, QString>>{{8999, "108999"}, {9000, "109000"}}));

    ASSERT_TRUE(q.SetAside(q.Read(8999, 1).value(0), QStringLiteral("bad\ttariff\nvalue")));
    st = Outbox::ReadStatus(dir);
    EXPECT_EQ(st.quarantined, 1);
    EXPECT_EQ(st.pending, 10);
    const QList<QByteArray> quarantine =
        FileBytes(dir + QStringLiteral("/CentralQuarantine.txt")).split('\n');
    EXPECT_EQ(quarantine.value(0).split('\t').size(), 2 + 16); // time, reason, the record
}

// A damaged queue file never crashes the open: it is set aside, logged, and
// a new epoch begins with the unacknowledged records read before the damage.
TEST(Outbox, DamagedFileIsSetAsideAndANewEpochCarriesTheReadableRecords) {
    struct Damage {
        const char* what;
        std::function<void(QByteArray&)> apply;
        int carried; // of records 2..4 (1 is acknowledged)
    };
    const QList<Damage> cases{
        {"torn tail", [](QByteArray& b) { b.chop(5); }, 2},
        {"bad magic", [](QByteArray& b) { b[0] = 'X'; }, 0},
        {"header checksum", [](QByteArray& b) { b[13] = char(b[13] ^ 1); }, 0},
        {"record checksum", [](QByteArray& b) { b[b.size() - 3] = char(b[b.size() - 3] ^ 1); }, 2},
        {"huge record length",
         [](QByteArray& b) {
             // The third record's length field.
             qint64 pos = 32;
             for (int i = 0; i < 2; ++i)
                 pos += 16 + qint64(uchar(b[pos])) + (qint64(uchar(b[pos + 1])) << 8);
             b[pos + 3] = char(0x7f);
         },
         1},
        {"header cut short", [](QByteArray& b) { b.truncate(20); }, 0},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        TestEnv env;
        const QString dir = env.Dir();
        qint64 epoch = 0;
        {
            Outbox q(dir, QStringLiteral("T1"));
            ASSERT_TRUE(q.Open(nullptr));
            epoch = q.Epoch();
            ASSERT_TRUE(StageCommitted(q, dir, 1, 5));
            ASSERT_TRUE(q.Acknowledge(1));
        }
        ASSERT_TRUE(tables::CheckpointOpenJournals());
        const QString path = dir + QStringLiteral("/Central.que");
        QByteArray bytes = FileBytes(path);
        d.apply(bytes);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        }

        Outbox q(dir, QStringLiteral("T1"));
        ASSERT_TRUE(q.Open(nullptr));
        EXPECT_NE(q.Epoch(), epoch);
        const QStringList aside =
            QDir(dir).entryList({QStringLiteral("Central.que.damaged-??????????????")});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(FileBytes(dir + QLatin1Char('/') + aside[0]), bytes);
        EXPECT_TRUE(LogText().join('\n').contains(aside[0]));
        QList<QPair<qint64, QString>> want;
        for (int n = 0; n < d.carried; ++n)
            want << qMakePair(qint64(n + 1), QString::number(100002 + n));
        EXPECT_EQ(Keys(q.Read(1, 10), q.Epoch()), want);
        ASSERT_TRUE(StageCommitted(q, dir, 7, 8));
        EXPECT_EQ(q.Durable(), d.carried + 1);
    }
}
