// Call start and end frames through to TarifTA2, DestTar and the day file.
#include "CallRecordsTestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

// DestTar columns.
enum { AbNumber, DateOfCall, TimeOfCall, Longivity, Cat, NumberOfCall, Code, CodeForeign, TRF };
// Day file columns.
enum { AbonA, AbonB, Hour, Min, Dlit };

} // namespace

TEST(CallRecords, StartRowHoldsTheFrameAndTheEndBillsIt) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.calls->OnCallStart(*r.ats,
                         StartFrame(300, QStringLiteral("2345678"), QStringLiteral("1234"), 1));
    auto ta = r.TarifTA();
    ASSERT_EQ(ta.size(), 1);
    EXPECT_EQ(ta[0], (QVariantList{2345678, 300, QDateTime(QDate(2026, 12, 5), QTime(10, 0)), 1,
                                   1234, 7, 4, 1}));
    Clock::Advance(83500);
    r.calls->OnCallEnd(*r.ats, EndFrame(300, QStringLiteral("1234")));
    EXPECT_TRUE(r.TarifTA().isEmpty());
    const auto dest = r.DestTar();
    ASSERT_EQ(dest.size(), 1);
    EXPECT_EQ(dest[0], (QVariantList{2345678, QDate(2026, 12, 5), QTime(10, 0), 83, 1, 1234,
                                     QVariant(), QVariant(), 0.0}));
    const auto day = r.DayRows();
    ASSERT_EQ(day.size(), 1);
    EXPECT_EQ(day[0], (QVariantList{QStringLiteral("162E"), QStringLiteral("1234"), 10, 1, 83,
                                    QVariant(), QVariant()}));
    EXPECT_TRUE(LogLines().isEmpty()) << LogLines().join('\n').toStdString();
}

// The rule itself is the billing test's; here what reaches the tables.
TEST(CallRecords, FreeCallsLeaveNoRowAndDlitHoldsWhatFits) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.mode.maxNoPaneTime = 5;
    r.Call(1, QStringLiteral("100"), QStringLiteral("200"), 1, 4999); // free
    r.mode.maxNoPaneTime = 0;
    r.mode.timeMode = 2;
    r.Call(3, QStringLiteral("100"), QStringLiteral("200"), 1, 32767); // fits DLIT
    r.Call(3, QStringLiteral("100"), QStringLiteral("200"), 1, 32768); // does not
    QList<qint64> dest, dlit;
    for (const auto& row : r.DestTar())
        dest << row[Longivity].toLongLong();
    for (const auto& row : r.DayRows())
        dlit << row[Dlit].toLongLong();
    EXPECT_EQ(dest, (QList<qint64>{32767, 32768}));
    EXPECT_EQ(dlit, (QList<qint64>{32767, 32767}));
    EXPECT_TRUE(r.TarifTA().isEmpty()); // the free call left no start row either
    const QStringList log = LogLines();
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(
        log[0].startsWith(QStringLiteral("Продолжительность 32768 не помещается в поле DLIT")));
}

TEST(CallRecords, AbonAIsHexOfTheLastFourDigitsAndAbonBKeepsTheDigitCount) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("12345"), QStringLiteral("0012"), 1, 1000);
    r.Call(1, QStringLiteral("9999"), QStringLiteral("7"), 1, 1000);
    r.Call(1, QStringLiteral("10000"), QStringLiteral("7654321"), 1, 1000);
    r.ats->SLCheck = true; // the extra digit comes off in both tables
    r.Call(1, QStringLiteral("100"), QStringLiteral("91234"), 3, 1000);
    const auto day = r.DayRows();
    ASSERT_EQ(day.size(), 4);
    EXPECT_EQ(day[0][AbonA].toString(), QStringLiteral("0929"));
    EXPECT_EQ(day[0][AbonB].toString(), QStringLiteral("0012"));
    EXPECT_EQ(day[1][AbonA].toString(), QStringLiteral("270F"));
    EXPECT_EQ(day[2][AbonA].toString(), QStringLiteral("0000"));
    EXPECT_EQ(day[2][AbonB].toString(), QStringLiteral("7654321"));
    EXPECT_EQ(day[3][AbonB].toString(), QStringLiteral("01234"));
    EXPECT_EQ(r.DestTar()[3][NumberOfCall].toInt(), 1234);
}

TEST(CallRecords, DestinationsAreLookedUpInTheTablesAsTheyAreNow) {
    TariffRig r;
    QFile::remove(r.Std(QStringLiteral("Sng.db")));
    QFile::remove(r.Std(QStringLiteral("Foren.db")));
    ASSERT_TRUE(r.Start());
    EXPECT_TRUE(LogLines().contains(QStringLiteral("Ошибка открытия таблиц SNG или Foren")));
    r.Call(1, QStringLiteral("100"), QStringLiteral("8495"), 8, 1000); // no tables: not found
    // Set up while the terminal runs: read without a restart.
    ASSERT_TRUE(
        r.Destinations(QStringLiteral("Sng.db"), QStringLiteral("4,1.5,a\n49,2.5,b\n10,7,c\n")));
    ASSERT_TRUE(r.Destinations(QStringLiteral("Foren.db"), QStringLiteral("4,9.25,d\n")));
    r.Call(1, QStringLiteral("100"), QStringLiteral("8495"), 8, 1000); // 495 missing: 49
    // Sng changes: 495 now exists, 10 is gone.
    ASSERT_TRUE(r.Destinations(QStringLiteral("Sng.db"), QStringLiteral("495,3.75,e\n")));
    r.Call(1, QStringLiteral("100"), QStringLiteral("8495"), 8, 1000);
    {
        auto sng = tables::Table::ForFile(r.Std(QStringLiteral("Sng.db")));
        ASSERT_TRUE(sng->Open());
        ASSERT_TRUE(sng->Locate({QStringLiteral("KOD")}, {QStringLiteral("10")}));
        ASSERT_TRUE(sng->Delete());
    }
    r.Call(1, QStringLiteral("100"), QStringLiteral("8104"), 8, 1000); // falls back to Foren's 4
    {
        QFile f(r.Std(QStringLiteral("Sng.db"))); // damaged
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, '\x07'));
    }
    r.Call(1, QStringLiteral("100"), QStringLiteral("8495"), 8, 1000);
    const auto d = r.DestTar();
    ASSERT_EQ(d.size(), 5);
    auto codes = [&](int i) {
        return std::make_tuple(d[i][Code].toString(), d[i][CodeForeign].toString(),
                               d[i][TRF].toDouble());
    };
    EXPECT_EQ(d[0][Code].toString(), QStringLiteral("Not found"));
    EXPECT_EQ(codes(1), std::make_tuple(QStringLiteral("49"), QString(), 2.5));
    EXPECT_EQ(codes(2), std::make_tuple(QStringLiteral("495"), QString(), 3.75));
    EXPECT_EQ(codes(3), std::make_tuple(QString(), QStringLiteral("4"), 9.25));
    EXPECT_EQ(d[4][Code].toString(), QStringLiteral("Not found"));
}

TEST(CallRecords, MatchingStaleStartsAndBadFrames) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    // Unusable starts store nothing.
    r.calls->OnCallStart(*r.ats, StartFrame(-1, QStringLiteral("100"), QStringLiteral("5"), 1));
    r.calls->OnCallStart(*r.ats, StartFrame(4, QStringLiteral("000"), QStringLiteral("5"), 1));
    EXPECT_TRUE(r.TarifTA().isEmpty());
    // An end without a start writes nothing; so does one of another exchange.
    r.calls->OnCallEnd(*r.ats, EndFrame(4, QStringLiteral("5")));
    r.calls->OnCallStart(*r.ats, StartFrame(4, QStringLiteral("100"), QStringLiteral("5"), 1));
    AtsSettings other(2, QString());
    r.calls->OnCallEnd(other, EndFrame(4, QStringLiteral("5")));
    EXPECT_TRUE(r.DestTar().isEmpty());
    EXPECT_EQ(r.TarifTA().size(), 1);
    // A stale start of the same kit is dropped, the matching one billed.
    r.calls->OnCallStart(*r.ats, StartFrame(4, QStringLiteral("101"), QStringLiteral("6"), 1));
    Clock::Advance(2000);
    r.calls->OnCallEnd(*r.ats, EndFrame(4, QStringLiteral("6")));
    ASSERT_EQ(r.DestTar().size(), 1);
    EXPECT_EQ(r.DestTar()[0][AbNumber].toInt(), 101);
    EXPECT_TRUE(r.TarifTA().isEmpty());
    // An end whose number differs deletes the start and bills nothing.
    r.calls->OnCallStart(*r.ats, StartFrame(5, QStringLiteral("100"), QStringLiteral("77"), 1));
    r.calls->OnCallEnd(*r.ats, EndFrame(5, QStringLiteral("78")));
    EXPECT_TRUE(r.TarifTA().isEmpty());
    EXPECT_EQ(r.DestTar().size(), 1);
    // Dialled exactly the extra digit: the end stops, its row stays.
    r.ats->SLCheck = true;
    r.calls->OnCallStart(*r.ats, StartFrame(6, QStringLiteral("100"), QStringLiteral("9"), 5));
    r.calls->OnCallEnd(*r.ats, EndFrame(6, QStringLiteral("9")));
    EXPECT_EQ(r.TarifTA().size(), 1);
    EXPECT_EQ(r.DestTar().size(), 1);
    EXPECT_EQ(LogLines(), QStringList{QStringLiteral("Ошибка записи в таблицу DestTar")});
}

TEST(CallRecords, UnwritableTablesAreLoggedAndTheStreamGoesOn) {
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.Stop();
    // DestTar damaged: it cannot be opened, every bill says so in the log.
    {
        QFile f(r.Std(QStringLiteral("DestTar.db")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("garbage");
    }
    EXPECT_FALSE(r.Start());
    r.Call(2, QStringLiteral("12345"), QStringLiteral("8495"), 9, 61000);
    r.Call(3, QStringLiteral("42"), QStringLiteral("7"), 1, 1000);
    EXPECT_TRUE(r.TarifTA().isEmpty());
    EXPECT_EQ(r.DayRows().size(), 2); // the day file is still written
    const QStringList log = LogLines();
    EXPECT_TRUE(log.contains(QStringLiteral(
        "Ошибка записи в таблицу DestTar NumberStation 12345 NumberOutCall 8495 AK 2 "
        "LongivityCall 61 Category 9 CodeCall Not found CodeForeignCall Not found TarifCall 0")))
        << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(
        QStringLiteral("Ошибка записи в таблицу DestTar NumberStation 42 NumberOutCall 7 AK 3 "
                       "LongivityCall 1 Category 1 CodeCall  CodeForeignCall  TarifCall 0")));
    // TarifTA2 damaged too: starts are logged with their frame values.
    r.Stop();
    {
        QFile f(r.Std(QStringLiteral("TarifTA2.DB")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("garbage");
    }
    r.Start();
    r.calls->OnCallStart(*r.ats, StartFrame(7, QStringLiteral("555"), QStringLiteral("21"), 4));
    r.calls->OnCallEnd(*r.ats, EndFrame(7, QStringLiteral("21")));
    EXPECT_TRUE(LogLines().contains(
        QStringLiteral("Ошибка записи в таблицу TarifTA NumberStation 555 NumberOutCall 21 AK 7 "
                       "N NumberStation 3 N NumberOutCall 2 KNS 4")));
    EXPECT_EQ(LogLines().last(), QStringLiteral("Ошибка записи в таблицу DestTar"));
}

TEST(CallRecords, DayFilesReadByAnIndependentReader) {
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) GTEST_SKIP() << "no /usr/bin/python3";
    TariffRig r;
    ASSERT_TRUE(r.Start());
    r.Call(1, QStringLiteral("12345"), QStringLiteral("0012"), 1, 61000);
    r.Call(2, QStringLiteral("42"), QStringLiteral("7654321"), 1, 5000);
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, dbfread\n"
                            "t = dbfread.DBF(sys.argv[1], encoding='cp1251')\n"
                            "print([f.name + f.type + str(f.length) for f in t.fields])\n"
                            "for r in t: print(list(r.values()))\n"),
             r.Day(QStringLiteral("1205"))});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    if (out.contains(QStringLiteral("No module named")))
        GTEST_SKIP() << "python3-dbfread not installed";
    EXPECT_EQ(out,
              QStringLiteral(
                  "['ABON_AC4', 'ABON_BC15', 'HOURN6', 'MINN6', 'DLITN6', 'KANALN6', 'BLOCKN6']\n"
                  "['0929', '0012', 10, 1, 61, None, None]\n"
                  "['002A', '7654321', 10, 1, 5, None, None]\n"));
}
