// The table utility window bound to verify and rebuild, and the start-up
// recovery with the window shown.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "tables/StartupRecovery.h"
#include "tables/TxFile.h"
#include "tables/ui/AboutTableUtil.h"
#include "tables/ui/MainFormTableUtil.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace tables;

namespace {

const FieldList kFields = {{QStringLiteral("Number"), FieldType::Integer},
                           {QStringLiteral("Code"), FieldType::String, 10}};

void Make(const QString& path, int rows) {
    auto t = Table::ForFile(path);
    ASSERT_TRUE(t->Create(kFields));
    ASSERT_TRUE(t->Open());
    for (int i = 0; i < rows; ++i)
        ASSERT_TRUE(t->Append({i, QString::number(i * 7)}));
}

template <class T> T* Child(QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_TRUE(c) << name;
    return c;
}

} // namespace

TEST(TableUtilWindow, ChoicesSetTheLocationAndButtonsAndRunsShowTheirMessages) {
    TestEnv env;
    const QString dir = env.Path(QStringLiteral("Tables"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString ta = dir + QStringLiteral("/TarifTA2.DB");
    Make(dir + QStringLiteral("/DestTar.db"), 3);
    Make(ta, 50);
    TMainFormTableUtil w(env.Dir());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Table Utility ( As Is )"));
    auto* alias = Child<QComboBox>(w, "AliasCombo");
    auto* table = Child<QComboBox>(w, "TableCombo");
    auto* loc = Child<QLineEdit>(w, "TableLocEdit");
    auto* verify = Child<QPushButton>(w, "VerifyBtn");
    auto* rebuild = Child<QPushButton>(w, "RebuildBtn");
    auto* msg = Child<QLabel>(w, "MessageLB");
    ASSERT_EQ(alias->count(), 2);
    EXPECT_EQ(alias->itemText(0), QStringLiteral("PelmarkStandard"));
    EXPECT_FALSE(verify->isEnabled());
    w.AliasChanged(0);
    ASSERT_EQ(table->count(), 2);
    w.TableChanged(0);
    EXPECT_EQ(QDir::fromNativeSeparators(loc->text()), dir + QStringLiteral("/DestTar.db"));
    EXPECT_TRUE(verify->isEnabled() && rebuild->isEnabled());
    EXPECT_EQ(Child<QLabel>(w, "FieldsLB")->text(), QStringLiteral("2"));
    w.Verify();
    EXPECT_EQ(msg->text(), QStringLiteral("Verification Successful. Table has no errors."));
    EXPECT_EQ(Child<QProgressBar>(w, "PBData")->value(), 100);
    // Choosing an alias empties the location and disables both buttons.
    w.AliasChanged(0);
    EXPECT_TRUE(loc->text().isEmpty());
    EXPECT_FALSE(verify->isEnabled() || rebuild->isEnabled());
    EXPECT_EQ(Child<QLabel>(w, "FieldsLB")->text(), QStringLiteral("0"));
    EXPECT_EQ(Child<QProgressBar>(w, "PBData")->value(), 0);
    EXPECT_TRUE(msg->text().isEmpty());
    // A file picked by directory clears the alias and the table list.
    w.ChooseFile(ta);
    EXPECT_EQ(alias->currentIndex(), -1);
    EXPECT_EQ(table->count(), 0);
    EXPECT_TRUE(verify->isEnabled());

    // Its field count garbled, the structure is unreadable: the rebuild needs
    // one from elsewhere.
    ASSERT_TRUE(PutBytes(ta, QByteArray(2, char(0x5A)), 0x21));
    w.Verify();
    EXPECT_EQ(msg->text(),
              QStringLiteral("Verification Successful. Table must be rebuild manually."));
    w.Rebuild();
    EXPECT_TRUE(msg->text().isEmpty());
    auto* box = w.findChild<QMessageBox*>();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), QStringLiteral("Error Filling table structure"));
    box->close();
    const TableDesc desc = TableDesc::FromFields(kFields);
    w.Rebuild(&desc);
    EXPECT_EQ(msg->text(), QStringLiteral("Rebuild was successful."));
    EXPECT_EQ(Child<QProgressBar>(w, "PBRebuild")->value(), 100);
    // A table in use is not rebuilt; a missing one cannot be verified.
    {
        auto open = Table::ForFile(ta);
        ASSERT_TRUE(open->Open(true));
        w.Rebuild();
        EXPECT_TRUE(msg->text().startsWith(QStringLiteral("Rebuild was not successful.\n")));
    }
    w.ChooseFile(env.Path(QStringLiteral("None.db")));
    w.Verify();
    EXPECT_TRUE(msg->text().contains(QStringLiteral("None.db")));

    w.ShowAbout();
    EXPECT_TRUE(w.About()->isVisible());
    w.About()->findChild<QPushButton*>(QStringLiteral("OKButton"))->click();
    EXPECT_FALSE(w.About()->isVisible());
}

TEST(StartupRecovery, JournalFirstThenBothTablesRebuiltWithTheWindowShown) {
    TestEnv env;
    const QString dir = env.Path(QStringLiteral("Tables"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString dest = dir + QStringLiteral("/DestTar.db");
    const QString ta = dir + QStringLiteral("/TarifTA2.db");
    Make(dest, 20);
    Make(ta, 5);
    {
        // A commit cut short after its journal was written: the row is
        // committed but not yet in the file.
        auto t = Table::ForFile(dest);
        ASSERT_TRUE(t->Open());
        Transaction tx(dir);
        ASSERT_TRUE(t->Append({99, QStringLiteral("late")}));
        ASSERT_TRUE(tx.Commit(nullptr, Transaction::Stop::AfterJournal));
    }
    EXPECT_EQ(FileBytes(dest).size(), 0x800 + 2048);                 // still the old file
    ASSERT_TRUE(PutBytes(ta, QByteArray(2, char(0x5A)), 0x800 + 4)); // a damaged block header
    // The hooks run on the recovery's thread: they only note what they see.
    QStringList calls;
    RecoveryHooks hooks;
    hooks.closeTable = [&](const QString& f) { calls << QStringLiteral("close ") + f; };
    hooks.reopenTable = [&](const QString& f) { calls << QStringLiteral("reopen ") + f; };
    const TableDesc desc = TableDesc::FromFields(kFields);
    QList<UtilRun> runs;
    bool done = false;
    {
        TableRecovery recovery(
            dir, {{QStringLiteral("DestTar.db"), desc}, {QStringLiteral("TarifTA2.db"), desc}},
            hooks,
            [&](const QList<UtilRun>& r) {
                runs = r;
                done = true;
            },
            env.Dir());
        EXPECT_TRUE(recovery.Window()->isVisible());
        ASSERT_TRUE(WaitUntil([&] { return done; }, 20000));
        EXPECT_FALSE(recovery.Window()->isVisible());
    }
    EXPECT_EQ(calls, (QStringList{"close DestTar.db", "reopen DestTar.db", "close TarifTA2.db",
                                  "reopen TarifTA2.db"}));
    ASSERT_EQ(runs.size(), 2);
    // The sound table is not rebuilt; the damaged one is, its old file kept
    // beside it as well as in Backup.Db.
    EXPECT_EQ(runs[0].message, QStringLiteral("Verification Successful. Table has no errors."));
    EXPECT_EQ(runs[0].result, 0);
    EXPECT_EQ(runs[1].result, 1);
    EXPECT_EQ(runs[1].message, QStringLiteral("Rebuild was successful."));
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral(".bak")));
    EXPECT_EQ(FileBytes(ta + QStringLiteral(".bak")),
              FileBytes(dir + QStringLiteral("/Backup.Db")));
    EXPECT_EQ(Rows(dest), 21);
    auto t = Table::ForFile(dest);
    ASSERT_TRUE(t->Open(true));
    EXPECT_TRUE(t->Locate({QStringLiteral("Number")}, {99}));
    EXPECT_EQ(Rows(ta), 0);
    EXPECT_EQ(Rows(dir + QStringLiteral("/PROBLEM.DB")), 5);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<TMainFormTableUtil*>(w));

    t->Close();
    // Both damaged, and a rebuild's work file left by a killed one: each
    // table's old file is kept as its own copy, and the work file goes.
    ASSERT_TRUE(PutBytes(dest, QByteArray(2, char(0x5A)), 0x800 + 4));
    ASSERT_TRUE(PutBytes(ta, QByteArray(2, char(0x5A)), 0x800 + 4));
    ASSERT_TRUE(PutBytes(dest + QStringLiteral(".rebuild~"), QByteArray(4096, 'x')));
    const QByteArray oldDest = FileBytes(dest), oldTa = FileBytes(ta);
    const auto again = RecoverTables(
        dir, {{QStringLiteral("DestTar.db"), desc}, {QStringLiteral("TarifTA2.db"), desc}}, {});
    ASSERT_EQ(again.size(), 2);
    EXPECT_EQ(again[0].message, QStringLiteral("Rebuild was successful."))
        << again[0].error.toStdString();
    EXPECT_EQ(FileBytes(dest + QStringLiteral(".bak")), oldDest);
    EXPECT_EQ(FileBytes(ta + QStringLiteral(".bak")), oldTa);
    EXPECT_FALSE(QFile::exists(dest + QStringLiteral(".rebuild~")));
}
