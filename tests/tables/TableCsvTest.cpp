// CSV dump and load, in the library and through varnel-tool.
#include "tables/TableCsv.h"
#include "TestSupport.h"
#include "tables/Table.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

TEST(TableCsv, ToolLoadsAndDumpsParadoxAndDbase) {
    TestEnv env;
    const QString tool = QStringLiteral(VARNEL_BIN_DIR "/varnel-tool");
    auto run = [&](const QStringList& args, const QByteArray& in = {}) {
        QProcess p;
        p.setWorkingDirectory(env.Dir());
        p.start(tool, args);
        p.write(in);
        p.closeWriteChannel();
        p.waitForFinished(20000);
        return std::make_pair(p.exitCode(), p.readAllStandardOutput() + p.readAllStandardError());
    };
    auto [rc, out] = run(
        {QStringLiteral("load"), QStringLiteral(":PelmarkStandard:Sng.db"), QStringLiteral("-")},
        QByteArray("KOD:A10,TRF:F\n495,12.25\n"));
    ASSERT_EQ(rc, 0) << out.toStdString();
    std::tie(rc, out) = run({QStringLiteral("dump"), QStringLiteral("Tables/Sng")});
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, QByteArray("KOD,TRF\n495,12.25\n"));
    std::tie(rc, out) =
        run({QStringLiteral("load"), QStringLiteral("day.dbf"), QStringLiteral("-")},
            QByteArray("ABON_A:A4,DLIT:S\n002A,17\n"));
    ASSERT_EQ(rc, 0) << out.toStdString();
    std::tie(rc, out) = run({QStringLiteral("dump"), QStringLiteral("day.dbf")});
    EXPECT_EQ(out, QByteArray("ABON_A,DLIT\n002A,17\n"));
    std::tie(rc, out) = run({QStringLiteral("dump"), QStringLiteral("missing.db")});
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains("no such table"));
    std::tie(rc, out) = run({QStringLiteral("dump")});
    EXPECT_EQ(rc, 2);
}

// What the tool says: a folder, an empty name, an alias whose folder is not
// there (not made by a dump), a column of another width, text that is cut or
// has characters Windows-1251 lacks.
TEST(TableCsv, ToolNamesWhatWentWrongAndWhatItChanged) {
    TestEnv env;
    auto run = [&](const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(env.Dir());
        p.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-tool"), args);
        p.waitForFinished(20000);
        return std::make_pair(
            p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
    };
    QDir().mkpath(env.Path(QStringLiteral("X.db")));
    auto [rc, out] = run({QStringLiteral("dump"), QStringLiteral("X.db")});
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains(QStringLiteral("is a folder, not a table"))) << out.toStdString();
    std::tie(rc, out) = run({QStringLiteral("dump"), QString()});
    EXPECT_EQ(rc, 1);
    EXPECT_FALSE(out.trimmed().isEmpty());
    std::tie(rc, out) = run({QStringLiteral("dump"), QStringLiteral(":PelmarkStandard:Nope")});
    EXPECT_EQ(rc, 1);
    EXPECT_FALSE(QFileInfo::exists(env.Path(QStringLiteral("Tables"))));

    QFile csv(env.Path(QStringLiteral("a.csv")));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("KOD:A3,NAME:A5\n1234,\xc3\x9c\xc3\xa9"
              "berl\xc3\xa4"
              "nge\n");
    csv.close();
    std::tie(rc, out) =
        run({QStringLiteral("load"), QStringLiteral("A.db"), QStringLiteral("a.csv")});
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(
        out.contains(QStringLiteral("line 2, column 1 (KOD): 4 characters cut to the field's 3")))
        << out.toStdString();
    EXPECT_TRUE(
        out.contains(QStringLiteral("line 2, column 2 (NAME): \"Üéä\" not in Windows-1251")))
        << out.toStdString();
    EXPECT_TRUE(
        out.contains(QStringLiteral("column 2 (NAME): 10 characters cut to the field's 5")));
    std::tie(rc, out) = run({QStringLiteral("dump"), QStringLiteral("A.db")});
    EXPECT_EQ(out, QStringLiteral("KOD,NAME\n123,??ber\n"));

    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("KOD:A10\n5\n");
    csv.close();
    std::tie(rc, out) =
        run({QStringLiteral("load"), QStringLiteral("A.db"), QStringLiteral("a.csv")});
    EXPECT_EQ(rc, 1);
    EXPECT_TRUE(out.contains(QStringLiteral("column KOD:A10: the table has KOD:A3")))
        << out.toStdString();
}
