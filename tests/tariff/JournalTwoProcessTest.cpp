// Two processes on one folder's journal: a commit another process journalled
// while this one held the journal open (and then died before writing its
// files) is completed by this process's next commit and checkpoint, not
// overwritten. The other process is this test binary again, running only the
// Child test.
#include "TestSupport.h"
#include "tables/TxFile.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>

namespace twoproc {

// Writes one byte at pos of the file through the journal of its folder.
bool CommitByte(tables::TxFile& f, const QString& dir, qint64 pos, char c,
                tables::Transaction::Stop stop = tables::Transaction::Stop::None) {
    tables::Transaction tx(dir);
    QString error;
    if (!f.Write(pos, &c, 1)) return false;
    const bool ok = tx.Commit(&error, stop);
    EXPECT_TRUE(ok) << error.toStdString();
    return ok;
}

} // namespace twoproc

TEST(JournalTwoProcesses, Child) {
    const QString path = qEnvironmentVariable("VARNEL_JOURNAL_CHILD");
    if (path.isEmpty()) GTEST_SKIP() << "runs as the child of JournalTwoProcesses.*";
    tables::TxFile f(path);
    QString error;
    ASSERT_TRUE(f.Open(true, &error)) << error.toStdString();
    // Journalled and synced, then the process dies before writing the file.
    ASSERT_TRUE(twoproc::CommitByte(f, QFileInfo(path).absolutePath(), 1, 'C',
                                    tables::Transaction::Stop::AfterJournal));
    std::_Exit(0);
}

TEST(JournalTwoProcesses, ACommitOfAnotherProcessIsCompletedNotOverwritten) {
    TestEnv env;
    const QString dir = env.Dir();
    const QString path = env.Path(QStringLiteral("data.bin"));
    {
        QFile raw(path);
        ASSERT_TRUE(raw.open(QIODevice::WriteOnly) && raw.write("....") == 4);
    }
    tables::TxFile f(path);
    QString error;
    ASSERT_TRUE(f.Open(true, &error)) << error.toStdString();
    ASSERT_TRUE(twoproc::CommitByte(f, dir, 0, 'P'));
    // An empty log of a generation this process knows.
    ASSERT_TRUE(tables::CheckpointJournal(dir, &error)) << error.toStdString();

    QProcess child;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    pe.insert(QStringLiteral("VARNEL_JOURNAL_CHILD"), path);
    child.setProcessEnvironment(pe);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=JournalTwoProcesses.Child")});
    ASSERT_TRUE(child.waitForFinished(20000));
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(child.exitCode(), 0);
    EXPECT_EQ(FileBytes(path), QByteArray("P..."));

    // This process's next commit goes after the other's record.
    ASSERT_TRUE(twoproc::CommitByte(f, dir, 2, 'Q'));
    f.Close();
    ASSERT_TRUE(tables::CheckpointJournal(dir, &error)) << error.toStdString();
    EXPECT_EQ(FileBytes(path), QByteArray("PCQ."));
}
