// Damaged files kept from the faults they found (tests/corpus), replayed
// through the table store and the maintenance tool.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "tables/TableCsv.h"
#include "tables/TxFile.h"

#include <QDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace tables;

namespace {

QString Corpus(const char* name) {
    return QStringLiteral(VARNEL_SOURCE_DIR "/tests/corpus/") + QLatin1String(name);
}

QString CopyIn(const TestEnv& env, const char* name) {
    const QString to = env.Path(QLatin1String(name));
    QFile::copy(Corpus(name), to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
    return to;
}

} // namespace

TEST(Corpus, ParadoxHeadersTheLibraryWouldMisreadAreRefused) {
    TestEnv env;
    for (const char* name : {"paradox-version13.db", "paradox-version7.db", "paradox-recsize.db",
                             "paradox-counts.db"}) {
        SCOPED_TRACE(name);
        const QString path = CopyIn(env, name);
        auto t = Table::ForFile(path);
        EXPECT_FALSE(t->Open(true));
        EXPECT_TRUE(t->LastError().contains(QStringLiteral("damaged table:")))
            << t->LastError().toStdString();
        const auto [rc, out] = RunTool(env.Dir(), {QStringLiteral("dump"), path});
        EXPECT_EQ(rc, 1);
        EXPECT_TRUE(out.contains("damaged table:")) << out.toStdString();
    }
}

TEST(Corpus, CsvWithCrLineEndsLoadsAndInvalidUtf8IsRefused) {
    TestEnv env;
    QString text, e;
    ASSERT_TRUE(CsvText(FileBytes(Corpus("csv-cr-only.csv")), text, &e));
    int rows = 0;
    ASSERT_TRUE(LoadCsv(env.Path(QStringLiteral("Cr.db")), text, &rows, &e)) << e.toStdString();
    EXPECT_EQ(rows, 2);
    EXPECT_FALSE(CsvText(FileBytes(Corpus("csv-bad-utf8.csv")), text, &e));
    EXPECT_EQ(e, QStringLiteral("line 3, column 12: invalid UTF-8 (byte 0xff)"));
    const auto [rc, out] = RunTool(
        env.Dir(), {QStringLiteral("load"), QStringLiteral("Bad.db"), Corpus("csv-bad-utf8.csv")});
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains("line 3, column 12")) << out.toStdString();
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("Bad.db"))));
}

// A journal with a valid checksum beside a table, naming "../victim.txt"
// and an absolute path: neither a dump of the table nor a recovery writes
// outside the folder.
TEST(Corpus, JournalNamingFilesOutsideItsFolderChangesNothingThere) {
    TestEnv env;
    const QString dir = env.Path(QStringLiteral("t"));
    QDir().mkpath(dir);
    ASSERT_TRUE(PutBytes(env.Path(QStringLiteral("victim.txt")), "untouched"));
    auto t = Table::ForFile(dir + QStringLiteral("/Sng.db"));
    ASSERT_TRUE(t->Create({{QStringLiteral("KOD"), FieldType::String, 10}}));
    ASSERT_TRUE(QFile::copy(Corpus("journal-escape.jnl"), JournalPath(dir)));
    QFile::setPermissions(JournalPath(dir), QFile::ReadOwner | QFile::WriteOwner);
    const auto [rc, out] = RunTool(env.Dir(), {QStringLiteral("dump"), QStringLiteral("t/Sng.db")});
    EXPECT_EQ(rc, 0) << out.toStdString();
    EXPECT_EQ(FileBytes(JournalPath(dir)), FileBytes(Corpus("journal-escape.jnl")));
    QString e;
    ASSERT_TRUE(RecoverJournal(dir, &e));
    EXPECT_EQ(FileBytes(env.Path(QStringLiteral("victim.txt"))), QByteArray("untouched"));
}

// A device or a pipe named as a file is refused at once by every command
// that reads one (it never ends, or blocks for ever).
TEST(Corpus, ToolRefusesDevicesAndPipes) {
    TestEnv env;
    const QString fifo = env.Path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& file : {QStringLiteral("/dev/zero"), fifo}) {
        for (const QStringList& args : {QStringList{QStringLiteral("checksum"), file},
                                        {QStringLiteral("decode"), file},
                                        {QStringLiteral("load"), QStringLiteral("T.db"), file},
                                        {QStringLiteral("verify"), file},
                                        {QStringLiteral("dump"), file},
                                        {QStringLiteral("rebuild"), QStringLiteral("T.db"),
                                         QStringLiteral("--like"), file}}) {
            SCOPED_TRACE(args.join(' ').toStdString());
            const auto [rc, out] = RunTool(env.Dir(), args);
            EXPECT_EQ(rc, 1);
            EXPECT_TRUE(out.contains(QStringLiteral("not a regular file")) ||
                        out.contains(QStringLiteral("no such table")))
                << out.toStdString();
        }
    }
}
