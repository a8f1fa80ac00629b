// The journal at the level of single files: committed sizes survive a later
// rollback, an interrupted shrink is completed, and a commit leaves nothing
// to replay.
#include "tables/TxFile.h"
#include "TablesTestSupport.h"
#include "TestSupport.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tables;

TEST(TxFile, GrowthCommittedSurvivesARollbackAndTheNextCommit) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("t.db"));
    ASSERT_TRUE(PutBytes(path, QByteArray(100, 'x')));
    TxFile f(path);
    ASSERT_TRUE(f.Open(true, nullptr));
    const QByteArray grow(50, 'g');
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Write(100, grow.constData(), grow.size()));
        ASSERT_TRUE(tx.Commit(nullptr));
    }
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Write(10, "r", 1));
        tx.Rollback();
    }
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Write(0, "c", 1));
        ASSERT_TRUE(tx.Commit(nullptr));
    }
    EXPECT_EQ(f.Size(), 150);
    const QByteArray disk = FileBytes(path);
    ASSERT_EQ(disk.size(), 150);
    EXPECT_EQ(disk.at(0), 'c');
    EXPECT_EQ(disk.at(10), 'x');
    EXPECT_EQ(disk.mid(100), grow);
}

TEST(TxFile, ShrinkStoppedAfterItsJournalIsCompletedAndACommitLeavesNothingToReplay) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("t.db"));
    ASSERT_TRUE(PutBytes(path, QByteArray(8192, 'x')));
    {
        TxFile f(path);
        ASSERT_TRUE(f.Open(true, nullptr));
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Resize(5000));
        ASSERT_TRUE(tx.Commit(nullptr, Transaction::Stop::AfterJournal));
    }
    EXPECT_EQ(QFileInfo(path).size(), 8192); // killed: the file is as it was
    QString e;
    ASSERT_TRUE(RecoverJournal(env.Dir(), &e)) << e.toStdString();
    EXPECT_EQ(QFileInfo(path).size(), 5000);

    // A whole commit: the journal is empty afterwards, so a later recovery
    // does not write the old change over a newer one.
    {
        TxFile f(path);
        ASSERT_TRUE(f.Open(true, nullptr));
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Write(0, "A", 1));
        ASSERT_TRUE(tx.Commit(nullptr));
    }
    ASSERT_TRUE(PutBytes(path, "B", 0));
    ASSERT_TRUE(RecoverJournal(env.Dir(), &e));
    EXPECT_EQ(FileBytes(path).at(0), 'B');
}

// A write that repeats the bytes around its one change (as the libraries
// rewrite a whole header) and a growth by zeros both survive a crash after
// the journal's sync; the checksum is the standard CRC-32 whatever the
// length, so journals of earlier versions still replay.
TEST(TxFile, RepeatedBytesAndAGrowthByZerosReplayAfterACrash) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    const QByteArray text = QByteArray("The quick brown fox jumps over the lazy dog").repeated(3);
    for (int cut = 0; cut <= 17; ++cut)
        EXPECT_EQ(Crc32(text.constData() + cut, text.size() - cut, Crc32(text.constData(), cut)),
                  Crc32(text.constData(), text.size()));

    TestEnv env;
    const QString path = env.Path(QStringLiteral("t.db"));
    ASSERT_TRUE(PutBytes(path, QByteArray(100, 'x')));
    TxFile f(path);
    ASSERT_TRUE(f.Open(true, nullptr));
    QByteArray expected(100, 'x');
    expected[50] = 'y';
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(f.Write(0, expected.constData(), expected.size()));
        ASSERT_TRUE(f.Write(100, QByteArray(20, 0).constData(), 20));
        ASSERT_TRUE(tx.Commit(nullptr, Transaction::Stop::AfterJournal));
    }
    f.Close();
    EXPECT_EQ(FileBytes(path), QByteArray(100, 'x')) << "the files are written after the sync";
    ASSERT_TRUE(RecoverJournal(env.Dir(), nullptr));
    EXPECT_EQ(FileBytes(path), expected + QByteArray(20, 0));
}
