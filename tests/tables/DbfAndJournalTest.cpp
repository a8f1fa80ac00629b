// dBASE tables, a failed change inside a transaction, aliases.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "platform/Registry.h"
#include "tables/Aliases.h"
#include "tables/Table.h"
#include "tables/TxFile.h"

#include <gtest/gtest.h>

using namespace tables;

namespace {

const FieldList kDay{{QStringLiteral("ABON_A"), FieldType::String, 4},
                     {QStringLiteral("ABON_B"), FieldType::String, 15},
                     {QStringLiteral("HOUR"), FieldType::Smallint},
                     {QStringLiteral("MIN"), FieldType::Smallint},
                     {QStringLiteral("DLIT"), FieldType::Smallint},
                     {QStringLiteral("KANAL"), FieldType::Smallint},
                     {QStringLiteral("BLOCK"), FieldType::Smallint}};

} // namespace

TEST(DbfTable, DayFileFieldsCodePageAndRows) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("1205.dbf"));
    auto t = NewTable(path, kDay);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Fields(), kDay);
    ASSERT_TRUE(t->Append({QStringLiteral("0929"), QStringLiteral("01234"), 9, 5, 32767}));
    ASSERT_TRUE(t->Append({QStringLiteral("Ёж"), QStringLiteral("7"), 0, 0, -5}));
    EXPECT_FALSE(t->Append({QStringLiteral("x"), QStringLiteral("y"), 1, 1, 1, 1234567}));

    const QByteArray b = FileBytes(path);
    EXPECT_EQ(uint8_t(b[29]), 0xC9); // language driver: Windows-1251
    EXPECT_EQ(uint8_t(b[4]), 2);     // record count
    EXPECT_EQ(b.back(), '\x1A');     // end-of-file mark
    EXPECT_TRUE(b.contains(QByteArray("0929") + "01234          " + "     9" + "     5" + " 32767" +
                           "      " + "      "));
    EXPECT_TRUE(b.contains(QByteArray("\xA8\xE6  ")));

    auto r = Table::ForFile(path);
    ASSERT_TRUE(r->Open(true));
    ASSERT_EQ(r->RecordCount(), 2);
    ASSERT_TRUE(r->GoTo(0));
    EXPECT_EQ(r->AsText(QStringLiteral("ABON_B")), QStringLiteral("01234"));
    EXPECT_EQ(r->AsInteger(QStringLiteral("DLIT")), 32767);
    EXPECT_TRUE(r->Value(QStringLiteral("KANAL")).isNull());
    ASSERT_TRUE(r->GoTo(1));
    EXPECT_EQ(r->AsText(QStringLiteral("ABON_A")), QStringLiteral("Ёж"));
    EXPECT_EQ(r->AsInteger(QStringLiteral("DLIT")), -5);
    EXPECT_FALSE(r->Append({QStringLiteral("x")})); // read-only

    ASSERT_TRUE(t->Empty());
    EXPECT_EQ(t->RecordCount(), 0);
    EXPECT_EQ(r->RecordCount(), 0); // the other handle reads the change
    ASSERT_TRUE(t->Append({QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(r->RecordCount(), 1);
}

TEST(Journal, FailedChangeInsideATransactionCancelsOnlyThatTable) {
    TestEnv env;
    const FieldList n{{QStringLiteral("N"), FieldType::Smallint}};
    auto a = NewTable(env.Path(QStringLiteral("A.db")), n, {{1}});
    auto b = NewTable(env.Path(QStringLiteral("B.db")), n);
    ASSERT_TRUE(a && b);
    {
        Transaction tx(env.Dir());
        ASSERT_TRUE(a->Locate({QStringLiteral("N")}, {1}));
        ASSERT_TRUE(a->Delete());
        ASSERT_TRUE(b->Append({5}));
        b->Cancel();
        QString e;
        ASSERT_TRUE(tx.Commit(&e)) << e.toStdString();
    }
    EXPECT_EQ(a->RecordCount(), 0);
    EXPECT_EQ(b->RecordCount(), 0);
    ASSERT_TRUE(b->Append({6}));
    EXPECT_EQ(b->RecordCount(), 1);
}

TEST(Aliases, DefaultsUnderTheWorkingDirectoryOrTheRegistry) {
    TestEnv env;
    QString e;
    EXPECT_EQ(AliasDirectory(kAliasStandard, env.Dir(), &e), env.Path(QStringLiteral("Tables")));
    EXPECT_EQ(AliasDirectory(kAliasEveryday, env.Dir()), env.Path(QStringLiteral("EveryDay")));
    EXPECT_TRUE(AliasDirectory(QStringLiteral("Nope"), env.Dir(), &e).isEmpty());
    EXPECT_TRUE(e.contains(QStringLiteral("Nope")));
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Aliases"), true));
        reg.WriteString(QStringLiteral("PelmarkEveryday"), env.Path(QStringLiteral("calls/day")));
    }
    EXPECT_EQ(AliasDirectory(kAliasEveryday, env.Dir()), env.Path(QStringLiteral("calls/day")));
}
