// Verify and rebuild on tables the test damages itself: header counts, block
// links, truncation, garbage, an unreadable header, repeated keys, a table in
// use.
#include "tables/TableUtil.h"
#include "TablesTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

using namespace tables;

namespace {

constexpr int kRows = 300; // 36-byte rows, 56 to a 2 KB block: 6 blocks
constexpr qint64 kHead = 0x800;
constexpr qint64 kBlock = 2048;

FieldList Fields() {
    return {{QStringLiteral("Id"), FieldType::Integer},
            {QStringLiteral("Name"), FieldType::String, 20},
            {QStringLiteral("Day"), FieldType::Date},
            {QStringLiteral("Amount"), FieldType::Float}};
}

QVariantList Row(int i) {
    return {i, QStringLiteral("Абонент %1").arg(i), QDate(2026, 1, 1).addDays(i % 300), i * 1.5};
}

void Make(const QString& path, int rows = kRows, int keys = 0) {
    auto t = Table::ForFile(path);
    ASSERT_TRUE(t->Create(Fields(), keys)) << t->LastError().toStdString();
    ASSERT_TRUE(t->Open());
    for (int i = 0; i < rows; ++i)
        ASSERT_TRUE(t->Append(Row(keys ? rows - i : i))) << t->LastError().toStdString();
}

QByteArray Le16(int v) {
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

qint64 BlockAt(int b) {
    return kHead + (b - 1) * kBlock;
}

QList<int> Range(int from, int to) {
    QList<int> r;
    for (int i = from; i < to; ++i)
        r << i;
    return r;
}

int Verify(const QString& path, QStringList* findings = nullptr) {
    TTableUtil u;
    int result = -1;
    EXPECT_TRUE(u.VerifyTable(path, result)) << u.LastError().toStdString();
    if (findings) *findings = u.Findings();
    return result;
}

UtilRun Rebuild(const QString& path, const TableDesc* fallback = nullptr,
                TTableUtil::RebuildStats* stats = nullptr) {
    TTableUtil u;
    UtilRun r = RunRebuild(u, path, fallback);
    if (stats) *stats = u.LastRebuild();
    return r;
}

} // namespace

TEST(TableUtil, TablesTheStoreWritesVerifyCleanAndShowTheirProperties) {
    TestEnv env;
    const QString plain = env.Path(QStringLiteral("Plain.db"));
    Make(plain);
    {
        // Deletes move the last row down and drop an emptied last block.
        auto t = Table::ForFile(plain);
        ASSERT_TRUE(t->Open());
        for (int i = 0; i < 60; ++i)
            ASSERT_TRUE(t->GoTo(0) && t->Delete());
    }
    const QString keyed = env.Path(QStringLiteral("Keyed.db"));
    Make(keyed, 120, 1);
    const QString empty = env.Path(QStringLiteral("Empty.db"));
    Make(empty, 0);
    for (const QString& p : {plain, keyed, empty}) {
        QStringList f;
        EXPECT_EQ(Verify(p, &f), 0) << p.toStdString() << " " << f.join('|').toStdString();
    }
    TTableUtil u;
    TableProps props;
    ASSERT_TRUE(u.FillCurProps(keyed, props));
    EXPECT_EQ(props.fields, 4);
    EXPECT_EQ(props.recordSize, 36);
    EXPECT_EQ(props.indexes, 1);
    EXPECT_EQ(props.codePage, 1251);
    EXPECT_EQ(props.blockSize, 2);
    EXPECT_EQ(props.tableLevel, 7);
    // Rebuilding a sound table changes no row and leaves the old file as Backup.Db.
    const QByteArray before = FileBytes(plain);
    const QList<int> ids = Ids(plain);
    std::map<UtilPhase, int> last;
    u.SetProgress([&](UtilPhase ph, int pct) { last[ph] = pct; });
    ASSERT_EQ(RunRebuild(u, plain, nullptr).message, QStringLiteral("Rebuild was successful."));
    EXPECT_EQ(last[UtilPhase::Header], 100);
    EXPECT_EQ(last[UtilPhase::Data], 100);
    EXPECT_EQ(last[UtilPhase::Rebuild], 100);
    EXPECT_EQ(FileBytes(env.Path(QStringLiteral("Backup.Db"))), before);
    EXPECT_EQ(Ids(plain), ids);
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("PROBLEM.DB"))));
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("KEYVIOL.DB"))));
}

TEST(TableUtil, WrongHeaderCountsAndBrokenLinksAreFoundAndRebuiltWithEveryRow) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("T.db"));
    struct Damage {
        const char* what;
        qint64 at;
        QByteArray bytes;
    };
    const Damage damages[] = {
        {"record count", 6, Le16(kRows + 5) + Le16(0)},
        {"chain ends early", BlockAt(2), Le16(0)},
        {"link out of the file", BlockAt(3), Le16(77)},
        {"loop", BlockAt(4), Le16(2)},
        {"back link", BlockAt(5) + 2, Le16(1)},
        {"last block", 0x10, Le16(3)},
        {"pxlib cannot open it (file type)", 4, QByteArray(1, char(0x37))},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Make(path);
        ASSERT_TRUE(PutBytes(path, d.bytes, d.at));
        QStringList found;
        EXPECT_EQ(Verify(path, &found), 1);
        EXPECT_FALSE(found.isEmpty());
        TTableUtil::RebuildStats st;
        const UtilRun r = Rebuild(path, nullptr, &st);
        ASSERT_EQ(r.outcome, UtilRun::Done) << r.error.toStdString();
        EXPECT_EQ(r.result, 1);
        EXPECT_EQ(Ids(path), Range(0, kRows));
        EXPECT_EQ(st.kept, kRows);
        EXPECT_EQ(Verify(path), 0);
    }
}

TEST(TableUtil, TruncatedFileKeepsTheWholeRows) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("T.db"));
    Make(path);
    // Cut inside block 5, in the middle of its 11th row.
    QFile::resize(path, BlockAt(5) + 6 + 10 * 36 + 20);
    QStringList found;
    EXPECT_EQ(Verify(path, &found), 1);
    EXPECT_TRUE(found.join('\n').contains(QStringLiteral("truncated")));
    TTableUtil::RebuildStats st;
    ASSERT_EQ(Rebuild(path, nullptr, &st).outcome, UtilRun::Done);
    EXPECT_EQ(Ids(path), Range(0, 4 * 56 + 10));
    EXPECT_EQ(st.lost, kRows - (4 * 56 + 10));
    EXPECT_EQ(Verify(path), 0);
    // A file cut inside its header holds no structure.
    QFile::resize(path, 0x40);
    EXPECT_EQ(Verify(path), 3);
}

TEST(TableUtil, GarbageBlocksAndValuesGoToTheProblemTable) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("T.db"));
    Make(path);
    // Garbage over rows 112..167, text after its end in row 226, a date out of
    // range in row 281.
    ASSERT_TRUE(PutBytes(path, QByteArray(int(kBlock), char(0xA5)), BlockAt(3)));
    ASSERT_TRUE(PutBytes(path, "x", BlockAt(5) + 6 + 2 * 36 + 4 + 15));
    ASSERT_TRUE(PutBytes(path, QByteArray(4, char(0xFF)), BlockAt(6) + 6 + 36 + 24));
    QStringList found;
    EXPECT_EQ(Verify(path, &found), 1);
    TTableUtil::RebuildStats st;
    ASSERT_EQ(Rebuild(path, nullptr, &st).outcome, UtilRun::Done);
    QList<int> want = Range(0, 112) + Range(168, kRows);
    want.removeOne(226);
    want.removeOne(281);
    EXPECT_EQ(Ids(path), want);
    EXPECT_EQ(st.problems, 56 + 2);
    const QString problem = env.Path(QStringLiteral("PROBLEM.DB"));
    auto p = Table::ForFile(problem);
    ASSERT_TRUE(p->Open(true)) << p->LastError().toStdString();
    EXPECT_EQ(p->Fields(), Fields());
    EXPECT_EQ(p->RecordCount(), 58);
    // A second rebuild adds to a problem table of the same structure; one of
    // another structure is moved aside first.
    ASSERT_TRUE(PutBytes(path, "yz", BlockAt(1) + 6 + 4 + 18));
    ASSERT_EQ(Rebuild(path).outcome, UtilRun::Done);
    EXPECT_EQ(Ids(problem).size(), 59);
    ASSERT_TRUE(QFile::remove(problem));
    ASSERT_TRUE(Table::ForFile(problem)->Create({{QStringLiteral("X"), FieldType::Smallint}}));
    ASSERT_TRUE(PutBytes(path, "yz", BlockAt(1) + 6 + 4 + 18));
    ASSERT_EQ(Rebuild(path).outcome, UtilRun::Done);
    EXPECT_TRUE(QFile::exists(env.Path(QStringLiteral("PROBLEM1.DB"))));
    EXPECT_EQ(Ids(problem).size(), 1);
}

TEST(TableUtil, UnreadableHeaderNeedsTheStructureFromElsewhere) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("T.db"));
    Make(path);
    ASSERT_TRUE(PutBytes(path, QByteArray(0x200, char(0x5A)), 0));
    EXPECT_FALSE(Table::ForFile(path)->Open(true));
    EXPECT_EQ(Verify(path), 3);
    const UtilRun without = Rebuild(path);
    EXPECT_EQ(without.outcome, UtilRun::FillFailed);
    EXPECT_EQ(without.error, QStringLiteral("Error Filling table structure"));
    EXPECT_TRUE(without.message.isEmpty());
    const TableDesc desc = TableDesc::FromFields(Fields());
    ASSERT_EQ(Rebuild(path, &desc).outcome, UtilRun::Done);
    EXPECT_EQ(Ids(path), Range(0, kRows));
    // Not a table at all, and a file that is not there.
    ASSERT_TRUE(PutBytes(path, QByteArray(int(QFileInfo(path).size()), char(0x33)), 0));
    ASSERT_EQ(Rebuild(path, &desc).outcome, UtilRun::Done);
    EXPECT_EQ(Ids(path), QList<int>());
    TTableUtil u;
    int result = -1;
    EXPECT_FALSE(u.VerifyTable(env.Path(QStringLiteral("None.db")), result));
    EXPECT_FALSE(u.LastError().isEmpty());
    EXPECT_FALSE(u.VerifyTable(env.Path(QStringLiteral("0601.dbf")), result));
}

TEST(TableUtil, RepeatedKeysGoToKeyViolAndTheIndexIsWrittenAgain) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Seg.db"));
    Make(path, 120, 1);
    // Row 2 (key 3) takes the key of row 1 (key 2): stored big-endian, sign flipped.
    ASSERT_TRUE(PutBytes(path, QByteArray::fromHex("80000002"), BlockAt(1) + 6 + 2 * 36));
    QStringList found;
    EXPECT_EQ(Verify(path, &found), 1);
    TTableUtil::RebuildStats st;
    ASSERT_EQ(Rebuild(path, nullptr, &st).outcome, UtilRun::Done);
    EXPECT_EQ(st.keyViolations, 1);
    EXPECT_EQ(Ids(path).size(), 119);
    EXPECT_EQ(Ids(env.Path(QStringLiteral("KEYVIOL.DB"))), QList<int>{2});
    EXPECT_EQ(Verify(path), 0);
    ASSERT_TRUE(QFile::remove(env.Path(QStringLiteral("Seg.px"))));
    EXPECT_EQ(Verify(path), 1);
    ASSERT_EQ(Rebuild(path).outcome, UtilRun::Done);
    EXPECT_EQ(Verify(path), 0);
}

// A folder nothing can be written to: by its permissions, or for root (who
// ignores them) by the immutable attribute.
struct ReadOnlyDir {
    QString dir;
    bool immutable = false;
    bool ok = false;
    static bool Writable(const QString& d) {
        QFile probe(d + QStringLiteral("/probe"));
        return probe.open(QIODevice::WriteOnly) && probe.remove();
    }
    explicit ReadOnlyDir(const QString& d) : dir(d) {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        if (Writable(dir))
            immutable =
                QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), dir}) == 0;
        ok = !Writable(dir);
    }
    ~ReadOnlyDir() {
        if (immutable) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), dir});
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

// A rebuild that cannot be done (the table in use, a folder nothing can be
// written to) says why and leaves the table and the folder as they were.
TEST(TableUtil, RefusedRebuildLeavesTheTableAndTheFolder) {
    TestEnv env;
    const QString dir = env.Path(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + QStringLiteral("/T.db");
    Make(path);
    const QByteArray before = FileBytes(path);
    const QStringList files = QDir(dir).entryList(QDir::Files);
    {
        auto open = Table::ForFile(path);
        ASSERT_TRUE(open->Open(true));
        const UtilRun r = Rebuild(path);
        EXPECT_EQ(r.outcome, UtilRun::NotDone);
        EXPECT_EQ(r.message, QStringLiteral("Rebuild was not successful."));
        EXPECT_TRUE(r.error.contains(QStringLiteral("in use"))) << r.error.toStdString();
    }
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
    UtilRun r;
    {
        ReadOnlyDir ro(dir);
        if (!ro.ok) GTEST_SKIP() << "no way to make a read-only folder here";
        r = Rebuild(path);
    }
    EXPECT_EQ(r.outcome, UtilRun::NotDone);
    EXPECT_TRUE(r.error.contains(QStringLiteral("cannot write"))) << r.error.toStdString();
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), files);
}
