// The table journal: commits across folders cut short at every step, deferred
// syncs, and a journal that names files it must not touch.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "platform/ProgramLog.h"
#include "tables/Aliases.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tables;

namespace {

const FieldList kRows{{QStringLiteral("N"), FieldType::Integer}};
const FieldList kDay{{QStringLiteral("ABON_A"), FieldType::String, 4}};

void Le(QByteArray& b, quint64 v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.append(char(v >> (8 * i)));
}

// A journal with a valid checksum whose one record writes text at offset 0 of
// each named file (as another program could leave it).
void CraftJournal(const QString& dir, const QStringList& names, const QByteArray& text) {
    const quint64 salt = 0x1234567890ABCDEFull;
    QByteArray head("VJN2");
    Le(head, salt, 8);
    Le(head, Crc32(head.constData(), 12), 4);
    QByteArray payload;
    Le(payload, quint64(names.size()), 4);
    for (const QString& n : names) {
        const QByteArray name = n.toUtf8();
        Le(payload, quint64(name.size()), 4);
        payload.append(name);
        Le(payload, quint64(text.size()), 8); // the file's size
        Le(payload, 1, 4);                    // one piece, at offset 0
        Le(payload, 0, 8);
        Le(payload, quint64(text.size()), 4);
        payload.append(text);
    }
    QByteArray rec("VREC");
    Le(rec, salt, 8);
    Le(rec, quint64(payload.size()), 4);
    rec.append(payload);
    Le(rec, Crc32(payload.constData(), payload.size(), Crc32(rec.constData() + 4, 12)), 4);
    ASSERT_TRUE(PutBytes(JournalPath(dir), head + rec));
}

} // namespace

// A tariff row in the table folder and a day-file row in another folder, one
// commit, stopped at each step as if the process had died there: the next
// open completes it (the record is whole) or drops it (it is torn), never
// half.
TEST(Journal, InterruptedCommitIsCompletedOrDroppedAtEveryStep) {
    using Stop = Transaction::Stop;
    for (Stop stop : {Stop::TornJournal, Stop::AfterJournal, Stop::AfterFirstFile,
                      Stop::AfterAllFiles, Stop::None}) {
        SCOPED_TRACE(int(stop));
        TestEnv env;
        const QString std = AliasDirectory(kAliasStandard, env.Dir());
        const QString day = AliasDirectory(kAliasEveryday, env.Dir());
        const QString a = std + QStringLiteral("/DestTar.db");
        const QString d = day + QStringLiteral("/1205.dbf");
        {
            auto ta = NewTable(a, kRows, {{1}});
            auto td = NewTable(d, kDay);
            ASSERT_TRUE(ta && td);
            Transaction tx(std);
            ASSERT_TRUE(ta->Append({2}));
            ASSERT_TRUE(td->Append({QStringLiteral("0002")}));
            QString e;
            ASSERT_TRUE(tx.Commit(&e, stop)) << e.toStdString();
        }
        // The next start.
        QString e;
        ASSERT_TRUE(RecoverJournal(std, &e)) << e.toStdString();
        const int expect = stop == Stop::TornJournal ? 1 : 2;
        EXPECT_EQ(Rows(a), expect);
        EXPECT_EQ(Rows(d), expect - 1);
        // The tables take the next commit as usual.
        auto ta = Table::ForFile(a);
        ASSERT_TRUE(ta->Open());
        ASSERT_TRUE(ta->Append({3}));
        EXPECT_EQ(Rows(a), expect + 1);
    }
}

// Each commit is synced before it returns; deferred ones share one sync,
// wait in the cache (readers of this process see them) and survive the
// rollback of a later change.
TEST(Journal, CommitsAreSyncedAndDeferredOnesShareOneSync) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("A.db"));
    auto t = NewTable(path, kRows);
    ASSERT_TRUE(t);
    quint64 syncs = JournalSyncCount();
    ASSERT_TRUE(t->Append({1}));
    EXPECT_EQ(JournalSyncCount(), syncs + 1);
    const QByteArray before = FileBytes(path);
    syncs = JournalSyncCount();
    for (int i = 2; i <= 4; ++i) {
        Transaction tx(env.Dir());
        tx.DeferSync();
        ASSERT_TRUE(t->Append({i}));
        ASSERT_TRUE(tx.Commit(nullptr));
    }
    EXPECT_EQ(JournalSyncCount(), syncs);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(t->RecordCount(), 4);
    ASSERT_TRUE(FlushJournals());
    EXPECT_EQ(JournalSyncCount(), syncs + 1);
    EXPECT_EQ(Rows(path), 4);
    {
        Transaction tx(env.Dir());
        tx.DeferSync();
        ASSERT_TRUE(t->Append({5}));
        ASSERT_TRUE(tx.Commit(nullptr));
    }
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(t->Append({6}));
        tx.Rollback();
    }
    EXPECT_EQ(t->RecordCount(), 5);
    ASSERT_TRUE(FlushJournals());
    EXPECT_EQ(Rows(path), 5);
    // Deferred growth over several blocks, then deferred deletes that drop
    // blocks and shrink the file again.
    for (int round = 0; round < 2; ++round) {
        Transaction tx(env.Dir());
        tx.DeferSync();
        for (int i = 0; i < 600; ++i)
            ASSERT_TRUE(round == 0 ? t->Append({100 + i})
                                   : (t->Locate({QStringLiteral("N")}, {100 + i}) && t->Delete()));
        ASSERT_TRUE(tx.Commit(nullptr));
        EXPECT_EQ(t->RecordCount(), round == 0 ? 605 : 5);
    }
    ASSERT_TRUE(FlushJournals());
    EXPECT_EQ(Rows(path), 5);
    EXPECT_EQ(FileBytes(path).size(), qint64(0x800 + 0x800));
}

// A synced commit is durable before its table file is written: the file
// waits for the event loop, so that a busy line's commits share those
// writes, and another object of the table in this process writes it first.
TEST(Journal, SyncedCommitsReachTheirFilesLater) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("A.db"));
    auto t = NewTable(path, kRows);
    ASSERT_TRUE(t);
    auto commit = [&](int n) {
        Transaction tx(env.Dir());
        tx.DeferSync();
        ASSERT_TRUE(t->Append({n}));
        ASSERT_TRUE(tx.Commit(nullptr));
    };
    const QByteArray before = FileBytes(path);
    commit(1);
    const quint64 syncs = JournalSyncCount();
    ASSERT_TRUE(SyncJournals());
    EXPECT_EQ(JournalSyncCount(), syncs + 1);
    EXPECT_EQ(FileBytes(path), before);
    // A power cut now: what is on disk, recovered elsewhere, holds the row.
    QTemporaryDir cut;
    const QString copy = cut.path() + QStringLiteral("/A.db");
    ASSERT_TRUE(PutBytes(copy, before));
    ASSERT_TRUE(PutBytes(JournalPath(cut.path()), FileBytes(JournalPath(env.Dir()))));
    ASSERT_TRUE(RecoverJournal(cut.path(), nullptr));
    EXPECT_EQ(Rows(copy), 1);
    EXPECT_EQ(Rows(path), 1);
    commit(2);
    ASSERT_TRUE(SyncJournals());
    const QByteArray one = FileBytes(path);
    EXPECT_TRUE(WaitUntil([&] { return FileBytes(path) != one; }));
    EXPECT_EQ(Rows(path), 2);
}

// A journal that names a path elsewhere, a ".." or an unknown alias: a
// recovery writes only inside the folder and logs what it refused; a
// read-only open of a table the journal does name completes it. (A read-only
// open of another table replaying nothing is the corpus case.)
TEST(Journal, ReplayStaysInsideItsFolder) {
    TestEnv env;
    QDir().mkpath(env.Path(QStringLiteral("u")));
    const QString own = env.Path(QStringLiteral("u/Own.txt"));
    ASSERT_TRUE(PutBytes(own, "old......"));
    CraftJournal(env.Path(QStringLiteral("u")), {QStringLiteral("Own.txt")}, "new");
    QString e;
    TxFile f(own);
    ASSERT_TRUE(f.Open(false, &e)) << e.toStdString();
    EXPECT_EQ(FileBytes(own), QByteArray("new"));

    const QString dir = env.Path(QStringLiteral("t"));
    QDir().mkpath(dir);
    const QString victim = env.Path(QStringLiteral("victim.txt"));
    ASSERT_TRUE(PutBytes(victim, "untouched"));
    CraftJournal(dir,
                 {QStringLiteral("../victim.txt"), victim, QStringLiteral(":Nope:victim.txt"),
                  QStringLiteral(":PelmarkStandard:../victim.txt")},
                 "OVERWRITE");
    ASSERT_TRUE(RecoverJournal(dir, &e)) << e.toStdString();
    EXPECT_EQ(FileBytes(victim), QByteArray("untouched"));
    const QString log = QString::fromUtf8(FileBytes(LogFilePath()));
    EXPECT_EQ(log.count(QStringLiteral("refused to replay")), 4) << log.toStdString();
}
