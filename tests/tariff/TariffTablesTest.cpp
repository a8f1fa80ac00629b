// Opening, creating and switching the tariff and call tables.
#include "CallRecordsTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using tables::FieldType;
using tables::Table;

namespace {

tables::FieldList FieldsOf(const QString& path) {
    auto t = Table::ForFile(path);
    return t->Open(true) ? t->Fields() : tables::FieldList{};
}

} // namespace

TEST(TariffTables, MissingTablesAreCreatedWithExactlyTheirFields) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    using F = tables::FieldDef;
    EXPECT_EQ(
        FieldsOf(r.Std(QStringLiteral("TarifTA2.DB"))),
        (tables::FieldList{F{"AbNumber", FieldType::Integer}, F{"AkNumber", FieldType::Smallint},
                           F{"DateTime", FieldType::DateTime}, F{"Cat", FieldType::Smallint},
                           F{"Number_of_call", FieldType::Integer}, F{"DigAN", FieldType::Smallint},
                           F{"DigTo", FieldType::Smallint}, F{"ATS", FieldType::Smallint}}));
    EXPECT_EQ(
        FieldsOf(r.Std(QStringLiteral("DestTar.db"))),
        (tables::FieldList{F{"AbNumber", FieldType::Integer}, F{"Date_of_call", FieldType::Date},
                           F{"Time_of_call", FieldType::Time}, F{"Longivity", FieldType::Integer},
                           F{"Cat", FieldType::Smallint}, F{"Number_of_call", FieldType::Integer},
                           F{"Code", FieldType::String, 10},
                           F{"CodeForeign", FieldType::String, 10}, F{"TRF", FieldType::Float}}));
    const tables::FieldList day{
        F{"ABON_A", FieldType::String, 4}, F{"ABON_B", FieldType::String, 15},
        F{"HOUR", FieldType::Smallint},    F{"MIN", FieldType::Smallint},
        F{"DLIT", FieldType::Smallint},    F{"KANAL", FieldType::Smallint},
        F{"BLOCK", FieldType::Smallint}};
    EXPECT_EQ(FieldsOf(r.env.Path(QStringLiteral("0601.dbf"))),
              day); // the template, made in CurDir
    EXPECT_EQ(FieldsOf(r.Day(QStringLiteral("1205"))), day);
    auto segm = Table::ForFile(r.Std(QStringLiteral("Segment.DB")));
    ASSERT_TRUE(segm->Open(true));
    EXPECT_EQ(segm->Fields(), (tables::FieldList{F{"Segment", FieldType::String, 20},
                                                 F{"Comment", FieldType::String, 255}}));
    EXPECT_EQ(segm->KeyFieldCount(), 1);
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST(TariffTables, SecondStartTheSameDayKeepsTheDayFile) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("100"), QStringLiteral("5"), 1, 3000);
    r.Stop();
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("100"), QStringLiteral("5"), 1, 3000);
    EXPECT_EQ(r.DayRows().size(), 2);
    EXPECT_EQ(r.DestTar().size(), 2);
}

TEST(TariffTables, MidnightStartsTheNewDayFromTheTemplate) {
    TariffRig r(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 0)));
    // A file of tomorrow's name left from a year before.
    QDir().mkpath(r.env.Path(QStringLiteral("EveryDay")));
    {
        auto old = Table::ForFile(r.Day(QStringLiteral("1206")));
        ASSERT_TRUE(old->Create(TTariffTables::DayFields()));
        ASSERT_TRUE(old->Open());
        ASSERT_TRUE(old->Append({QStringLiteral("OLD"), QStringLiteral("1")}));
    }
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("100"), QStringLiteral("5"), 1, 20000); // ends 23:59:20
    r.calls->OnCallStart(*r.ats, StartFrame(2, QStringLiteral("200"), QStringLiteral("6"), 1));
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 10)));
    r.calls->OnCallEnd(*r.ats, EndFrame(2, QStringLiteral("6")));
    EXPECT_EQ(r.tables->DayName(), QStringLiteral("1206"));
    ASSERT_EQ(r.DayRows(QStringLiteral("1205")).size(), 1);
    const auto today = r.DayRows(QStringLiteral("1206"));
    ASSERT_EQ(today.size(), 1); // the year-old row is gone
    EXPECT_EQ(today[0], (QVariantList{QStringLiteral("00C8"), QStringLiteral("6"), 0, 0, 50,
                                      QVariant(), QVariant()}));
    EXPECT_EQ(r.DestTar()[1][2].toTime(), QTime(23, 59, 20)); // start of yesterday's call
}

TEST(TariffTables, YearOldFileIsKeptAtStartUpAndTheTemplateIsCopiedAsItIs) {
    TariffRig r;
    QDir().mkpath(r.env.Path(QStringLiteral("EveryDay")));
    {
        auto old = Table::ForFile(r.Day(QStringLiteral("1205")));
        ASSERT_TRUE(old->Create(TTariffTables::DayFields()));
        ASSERT_TRUE(old->Open());
        ASSERT_TRUE(old->Append({QStringLiteral("OLD"), QStringLiteral("1")}));
    }
    // An installed template with one more column: copied byte for byte.
    {
        auto tpl = Table::ForFile(r.env.Path(QStringLiteral("0601.dbf")));
        auto fields = TTariffTables::DayFields();
        fields << tables::FieldDef{QStringLiteral("NOTE"), FieldType::String, 8};
        ASSERT_TRUE(tpl->Create(fields));
    }
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("100"), QStringLiteral("5"), 1, 3000);
    EXPECT_EQ(r.DayRows().size(), 2);
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 6), QTime(8, 0)));
    r.tables->SwitchDayFile();
    EXPECT_EQ(FileBytes(r.Day(QStringLiteral("1206"))),
              FileBytes(r.env.Path(QStringLiteral("0601.dbf"))));
    EXPECT_EQ(FieldsOf(r.Day(QStringLiteral("1206"))).size(), 8);
}

TEST(TariffTables, RebuildHooksCloseAndReopenOneTariffTable) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    EXPECT_TRUE(r.tables->CloseTariffTable(QStringLiteral("DestTar.db")));
    EXPECT_FALSE(r.tables->TableTarif()->IsOpen());
    EXPECT_TRUE(r.tables->TableTA()->IsOpen());
    EXPECT_FALSE(r.tables->CloseTariffTable(QStringLiteral("Sng.db")));
    EXPECT_TRUE(r.tables->ReopenTariffTable(QStringLiteral("DestTar.db")));
    EXPECT_TRUE(r.tables->TableTarif()->IsOpen());
    r.tables->CloseTables();
    r.tables->CloseTables(); // closing twice is allowed
    EXPECT_FALSE(r.tables->TableTA()->IsOpen());
}
