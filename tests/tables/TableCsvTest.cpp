// CSV dump and load, in the library and through varnel-tool.
#include "tables/TableCsv.h"
#include "TablesTestSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace tables;

TEST(TableCsv, LoadCreatesFromTypedHeaderAndDumpReadsItBack) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Sng.db"));
    const QString csv =
        QStringLiteral("KOD:A10,TRF:F,Name:A20,Since:D,At:T,Stamp:DT,N:I,S:S\n"
                       "495,1.5,Москва,2026-12-05,09:05:07,2026-12-05 09:05:07,-7,3\n"
                       "4,0.1,\"Quoted, \"\"name\"\"\",,,,,\r\n"
                       "\n"
                       "49,2,\" padded \",,,,,\n");
    int rows = 0;
    QString e;
    ASSERT_TRUE(LoadCsv(path, csv, &rows, &e)) << e.toStdString();
    EXPECT_EQ(rows, 3);
    auto t = Table::ForFile(path);
    ASSERT_TRUE(t->Open(true));
    EXPECT_EQ(t->Fields()[1], (FieldDef{QStringLiteral("TRF"), FieldType::Float, 0}));
    EXPECT_EQ(t->Fields()[2], (FieldDef{QStringLiteral("Name"), FieldType::String, 20}));
    EXPECT_EQ(QString::fromUtf8(DumpCsv(*t, &e)),
              QStringLiteral("KOD,TRF,Name,Since,At,Stamp,N,S\n"
                             "495,1.5,Москва,2026-12-05,09:05:07,2026-12-05 09:05:07,-7,3\n"
                             "4,0.1,\"Quoted, \"\"name\"\"\",,,,,\n"
                             "49,2,\" padded \",,,,,\n"));
}

TEST(TableCsv, LoadAppendsByColumnNameAllOrNothing) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Foren.db"));
    QString e;
    ASSERT_TRUE(LoadCsv(path, QStringLiteral("KOD:A10,TRF:F\n44,3\n"), nullptr, &e));
    // Existing table: plain names, any order; a bad line stores nothing.
    EXPECT_FALSE(LoadCsv(path, QStringLiteral("TRF,KOD\n5,49\nx,1\n"), nullptr, &e));
    EXPECT_TRUE(e.startsWith(QStringLiteral("line 3: Foren.db: field TRF"))) << e.toStdString();
    EXPECT_FALSE(LoadCsv(path, QStringLiteral("TRF,NOPE\n5,49\n"), nullptr, &e));
    EXPECT_TRUE(e.contains(QStringLiteral("no field NOPE")));
    EXPECT_FALSE(LoadCsv(path, QStringLiteral("TRF,KOD\n5\n"), nullptr, &e));
    ASSERT_TRUE(LoadCsv(path, QStringLiteral("TRF,KOD\n5,49\n"), nullptr, &e)) << e.toStdString();
    auto t = Table::ForFile(path);
    ASSERT_TRUE(t->Open(true));
    EXPECT_EQ(QString::fromUtf8(DumpCsv(*t, &e)), QStringLiteral("KOD,TRF\n44,3\n49,5\n"));
    // A missing table needs types; a bad type is named.
    EXPECT_FALSE(LoadCsv(env.Path(QStringLiteral("New.db")), QStringLiteral("KOD,TRF:F\n1,2\n"),
                         nullptr, &e));
    EXPECT_TRUE(e.contains(QStringLiteral("KOD has no type")));
    EXPECT_FALSE(
        LoadCsv(env.Path(QStringLiteral("New.db")), QStringLiteral("KOD:Q\n1\n"), nullptr, &e));
    EXPECT_FALSE(QFile::exists(env.Path(QStringLiteral("New.db"))));
}

// The tool loads and dumps Paradox and dBASE tables and says what went wrong
// or what it changed: a folder, an empty name, an alias whose folder is not
// there (not made by a dump), a column of another width, text that is cut or
// has characters Windows-1251 lacks.
TEST(TableCsv, ToolLoadsDumpsAndNamesWhatWentWrongOrChanged) {
    TestEnv env;
    auto run = [&](const char* cmd, const QByteArray& in = {}) {
        return RunTool(env.Dir(), QString::fromUtf8(cmd).split(QLatin1Char(' ')), in);
    };
    auto [rc, out] = run("dump :PelmarkStandard:Nope");
    EXPECT_EQ(rc, 1);
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("Tables"))));
    QDir().mkpath(env.Path(QStringLiteral("X.db")));
    std::tie(rc, out) = run("dump X.db");
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains(QStringLiteral("is a folder, not a table"))) << out.toStdString();
    std::tie(rc, out) = RunTool(env.Dir(), {QStringLiteral("dump"), QString()});
    EXPECT_EQ(rc, 1);
    EXPECT_FALSE(out.trimmed().isEmpty());
    std::tie(rc, out) = run("dump missing.db");
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains("no such table"));
    EXPECT_EQ(run("dump").first, 2);

    std::tie(rc, out) = run("load :PelmarkStandard:Sng.db -", "KOD:A10,TRF:F\n495,12.25\n");
    ASSERT_EQ(rc, 0) << out.toStdString();
    std::tie(rc, out) = run("dump Tables/Sng");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, QStringLiteral("KOD,TRF\n495,12.25\n"));
    std::tie(rc, out) = run("load day.dbf -", "ABON_A:A4,DLIT:S\n002A,17\n");
    ASSERT_EQ(rc, 0) << out.toStdString();
    EXPECT_EQ(run("dump day.dbf").second, QStringLiteral("ABON_A,DLIT\n002A,17\n"));

    const QString csv = env.Path(QStringLiteral("a.csv"));
    ASSERT_TRUE(PutBytes(csv, "KOD:A3,NAME:A5\n1234,\xc3\x9c\xc3\xa9"
                              "berl\xc3\xa4"
                              "nge\n"));
    std::tie(rc, out) = run("load A.db a.csv");
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(
        out.contains(QStringLiteral("line 2, column 1 (KOD): 4 characters cut to the field's 3")))
        << out.toStdString();
    EXPECT_TRUE(
        out.contains(QStringLiteral("line 2, column 2 (NAME): \"Üéä\" not in Windows-1251")))
        << out.toStdString();
    EXPECT_TRUE(
        out.contains(QStringLiteral("column 2 (NAME): 10 characters cut to the field's 5")));
    EXPECT_EQ(run("dump A.db").second, QStringLiteral("KOD,NAME\n123,??ber\n"));

    ASSERT_TRUE(PutBytes(csv, "KOD:A10\n5\n"));
    std::tie(rc, out) = run("load A.db a.csv");
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains(QStringLiteral("column KOD:A10: the table has KOD:A3")))
        << out.toStdString();
}
