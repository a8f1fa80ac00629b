// The table journal: commits across folders cut short at every step, deferred
// syncs, and a journal that names files it must not touch.
#include "TestSupport.h"
#include "platform/ProgramLog.h"
#include "tables/Aliases.h"
#include "tables/Table.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace tables;

namespace {

const FieldList kRows{{QStringLiteral("N"), FieldType::Integer}};
const FieldList kDay{{QStringLiteral("ABON_A"), FieldType::String, 4}};

int Rows(const QString& path) {
    auto t = Table::ForFile(path);
    return t->Open(true) ? t->RecordCount() : -1;
}

void PutU32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(char(v >> (8 * i)));
}
void PutU64(QByteArray& b, quint64 v) {
    PutU32(b, uint32_t(v));
    PutU32(b, uint32_t(v >> 32));
}

// A journal with a valid checksum whose one record writes text at offset 0 of
// each named file (as another program could leave it).
void CraftJournal(const QString& dir, const QStringList& names, const QByteArray& text) {
    const quint64 salt = 0x1234567890ABCDEFull;
    QByteArray head("VJN2");
    PutU64(head, salt);
    PutU32(head, Crc32(head.constData(), 12));
    QByteArray payload;
    PutU32(payload, uint32_t(names.size()));
    for (const QString& n : names) {
        const QByteArray name = n.toUtf8();
        PutU32(payload, uint32_t(name.size()));
        payload.append(name);
        PutU64(payload, quint64(text.size()));
        PutU32(payload, 1);
        PutU64(payload, 0);
        PutU32(payload, uint32_t(text.size()));
        payload.append(text);
    }
    QByteArray rec("VREC");
    PutU64(rec, salt);
    PutU32(rec, uint32_t(payload.size()));
    rec.append(payload);
    PutU32(rec, Crc32(payload.constData(), payload.size(), Crc32(rec.constData() + 4, 12)));
    QFile f(JournalPath(dir));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(head + rec);
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
            auto ta = Table::ForFile(a);
            auto td = Table::ForFile(d);
            ASSERT_TRUE(ta->Create(kRows));
            ASSERT_TRUE(td->Create(kDay));
            ASSERT_TRUE(ta->Open());
            ASSERT_TRUE(td->Open());
            ASSERT_TRUE(ta->Append({1}));
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
    auto t = Table::ForFile(path);
    ASSERT_TRUE(t->Create(kRows));
    ASSERT_TRUE(t->Open());
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

// A journal beside a table that names a path elsewhere, a ".." or an
// unknown alias: a read-only open of another table replays nothing; a
// recovery writes only inside the folder and logs what it refused; a
// read-only open of a table the journal does name completes it.
TEST(Journal, ReplayStaysInsideItsFolder) {
    TestEnv env;
    // A record of the table being opened read-only is completed by the open.
    QDir().mkpath(env.Path(QStringLiteral("u")));
    const QString own = env.Path(QStringLiteral("u/Own.txt"));
    {
        QFile f(own);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old......");
    }
    CraftJournal(env.Path(QStringLiteral("u")), {QStringLiteral("Own.txt")}, "new");
    QString e;
    TxFile f(own);
    ASSERT_TRUE(f.Open(false, &e)) << e.toStdString();
    EXPECT_EQ(FileBytes(own), QByteArray("new"));

    QDir().mkpath(env.Path(QStringLiteral("t")));
    const QString dir = env.Path(QStringLiteral("t"));
    const QString victim = env.Path(QStringLiteral("victim.txt"));
    {
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("untouched");
    }
    auto other = Table::ForFile(dir + QStringLiteral("/Other.db"));
    ASSERT_TRUE(other->Create(kRows));
    CraftJournal(dir,
                 {QStringLiteral("../victim.txt"), victim, QStringLiteral(":Nope:victim.txt"),
                  QStringLiteral(":PelmarkStandard:../victim.txt")},
                 "OVERWRITE");
    const QByteArray journal = FileBytes(JournalPath(dir));
    ASSERT_TRUE(other->Open(true)) << other->LastError().toStdString();
    EXPECT_EQ(FileBytes(JournalPath(dir)), journal);
    other->Close();
    ASSERT_TRUE(RecoverJournal(dir, &e)) << e.toStdString();
    EXPECT_EQ(FileBytes(victim), QByteArray("untouched"));
    const QString log = QString::fromUtf8(FileBytes(LogFilePath()));
    EXPECT_EQ(log.count(QStringLiteral("refused to replay")), 4) << log.toStdString();
}
