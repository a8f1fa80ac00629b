// The demonstration's sample destination tables (scripts/demo): made with
// the table store as the demo makes them, they price the simulator's calls.
#include "CallRecordsTestSupport.h"
#include "tables/TableCsv.h"

#include <gtest/gtest.h>

TEST(DemoTables, SampleTablesPriceLongDistanceAndInternationalCalls) {
    TariffRig r;
    for (const char* t : {"Sng", "Foren"}) {
        const QString path = r.Std(QLatin1String(t) + QStringLiteral(".db"));
        QFile::remove(path);
        QString text, e;
        ASSERT_TRUE(tables::CsvText(FileBytes(QStringLiteral(VARNEL_SOURCE_DIR "/scripts/demo/") +
                                              QLatin1String(t) + QStringLiteral(".csv")),
                                    text, &e));
        int rows = 0;
        ASSERT_TRUE(tables::LoadCsv(path, text, &rows, &e)) << e.toStdString();
        EXPECT_GE(rows, 24);
    }
    ASSERT_TRUE(r.Start());
    r.Call(10, QStringLiteral("20010"), QStringLiteral("8495123"), 8, 61000);
    r.Call(11, QStringLiteral("20011"), QStringLiteral("8104912"), 9, 30000);
    r.Call(12, QStringLiteral("20012"), QStringLiteral("8423555"), 8, 5000);
    const auto d = r.DestTar();
    ASSERT_EQ(d.size(), 3);
    EXPECT_EQ(d[0][6].toString(), QStringLiteral("495"));
    EXPECT_DOUBLE_EQ(d[0][8].toDouble(), 2.5);
    EXPECT_EQ(d[1][7].toString(), QStringLiteral("49"));
    EXPECT_DOUBLE_EQ(d[1][8].toDouble(), 24.3);
    EXPECT_EQ(d[2][6].toString(), QStringLiteral("423"));
    EXPECT_DOUBLE_EQ(d[2][8].toDouble(), 5.1);
    EXPECT_FALSE(LogLines().join(QLatin1Char('\n')).contains(QStringLiteral("SNG")));
}
