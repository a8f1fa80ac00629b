// Opening, creating and switching the tariff and call tables.
#include "CallRecordsTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using tables::FieldType;
using tables::Table;

namespace {
// The fields of a table file as "NAME:TYPE,..." (A<n> a string of n).
QString FieldsOf(const QString& path) {
    auto t = Table::ForFile(path);
    QStringList out;
    if (t->Open(true))
        for (const auto& f : t->Fields())
            out << tables::FieldSpecText(f);
    return out.join(QLatin1Char(','));
}

// A day file of that name left from a year before, with one row.
void OldDayFile(const TariffRig& r, const QString& mmdd) {
    QDir().mkpath(r.env.Path(QStringLiteral("EveryDay")));
    auto old = Table::ForFile(r.Day(mmdd));
    ASSERT_TRUE(old->Create(TariffTables::DayFields()));
    ASSERT_TRUE(old->Open());
    ASSERT_TRUE(old->Append({QStringLiteral("OLD"), QStringLiteral("1")}));
}
} // namespace

TEST(TariffTables, MissingTablesAreCreatedWithExactlyTheirFields) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    EXPECT_EQ(FieldsOf(r.Std(QStringLiteral("TarifTA2.DB"))),
              QStringLiteral("AbNumber:I,AkNumber:S,DateTime:DT,Cat:S,Number_of_call:I,DigAN:S,"
                             "DigTo:S,ATS:S"));
    EXPECT_EQ(FieldsOf(r.Std(QStringLiteral("DestTar.db"))),
              QStringLiteral("AbNumber:I,Date_of_call:D,Time_of_call:T,Longivity:I,Cat:S,"
                             "Number_of_call:I,Code:A10,CodeForeign:A10,TRF:F"));
    const QString day = QStringLiteral("ABON_A:A4,ABON_B:A15,HOUR:S,MIN:S,DLIT:S,KANAL:S,BLOCK:S");
    EXPECT_EQ(FieldsOf(r.env.Path(QStringLiteral("0601.dbf"))), day); // the template, in CurDir
    EXPECT_EQ(FieldsOf(r.Day(QStringLiteral("1205"))), day);
    EXPECT_EQ(FieldsOf(r.Std(QStringLiteral("Segment.DB"))),
              QStringLiteral("Segment:A20,Comment:A255"));
    auto segm = Table::ForFile(r.Std(QStringLiteral("Segment.DB")));
    ASSERT_TRUE(segm->Open(true));
    EXPECT_EQ(segm->KeyFieldCount(), 1);
    EXPECT_TRUE(LogLines().isEmpty());
}

TEST(TariffTables, MidnightStartsTheNewDayFromTheTemplate) {
    TariffRig r(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 0)));
    OldDayFile(r, QStringLiteral("1206")); // of tomorrow's name
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
    // DestTar holds the start of yesterday's call.
    EXPECT_EQ(r.DestTar()[1][1].toDate(), QDate(2026, 12, 5));
    EXPECT_EQ(r.DestTar()[1][2].toTime(), QTime(23, 59, 20));
}

// An existing day file is appended to at start-up, however old.
TEST(TariffTables, YearOldFileIsKeptAtStartUpAndTheTemplateIsCopiedAsItIs) {
    TariffRig r;
    OldDayFile(r, QStringLiteral("1205"));
    // An installed template with one more column: copied byte for byte.
    {
        auto tpl = Table::ForFile(r.env.Path(QStringLiteral("0601.dbf")));
        auto fields = TariffTables::DayFields();
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
    EXPECT_TRUE(FieldsOf(r.Day(QStringLiteral("1206"))).endsWith(QStringLiteral(",NOTE:A8")));
}

TEST(TariffTables, RebuildHooksCloseAndReopenOneTariffTable) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    EXPECT_TRUE(r.tables->CloseTariffTable(QStringLiteral("DestTar.db")));
    EXPECT_FALSE(r.tables->TableTarif()->IsOpen());
    EXPECT_TRUE(r.tables->TableTA()->IsOpen());
    EXPECT_FALSE(r.tables->CloseTariffTable(QStringLiteral("Segment.DB")));
    // The destination tables too are lent to a rebuild, and found by path.
    EXPECT_EQ(r.tables->BillingTableAt(r.env.Path(QStringLiteral("Tables/./Sng.db"))),
              QStringLiteral("Sng.db"));
    EXPECT_TRUE(r.tables->CloseTariffTable(QStringLiteral("Sng.db")));
    EXPECT_EQ(r.tables->Sng(), nullptr);
    EXPECT_TRUE(r.tables->ReopenTariffTable(QStringLiteral("Sng.db")));
    EXPECT_NE(r.tables->Sng(), nullptr);
    EXPECT_TRUE(r.tables->ReopenTariffTable(QStringLiteral("DestTar.db")));
    EXPECT_TRUE(r.tables->TableTarif()->IsOpen());
    r.tables->CloseTables();
    r.tables->CloseTables(); // closing twice is allowed
    EXPECT_FALSE(r.tables->TableTA()->IsOpen());
}
