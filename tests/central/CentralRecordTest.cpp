#include "central/CentralRecord.h"

#include <gtest/gtest.h>

#include <QTimeZone>

TEST(CentralRecord, TextFormRoundTripsEscapesAndRefusesBrokenLines) {
    CentralRecord r;
    r.terminalId = QStringLiteral("узел\t1\\a\nb");
    r.epoch = 7;
    r.seq = 123456789012;
    r.exchange = 3;
    r.kit = 1017;
    r.started = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 58, 250), QTimeZone(3 * 3600));
    r.ended = r.started.addSecs(75);
    r.duration = 75;
    r.durationUnit = CentralRecord::UnitOf(1);
    r.aNumber = QStringLiteral("2345");
    r.bDialled = QStringLiteral("84951234567");
    r.bBilled = QStringLiteral("4951234567");
    r.category = 9;
    r.destCode = QStringLiteral("495");
    r.destCodeForeign = QStringLiteral("Not found");
    r.tariff = 2.5;

    const QByteArray line = r.ToCopyLine();
    EXPECT_EQ(line.count('\n'), 1); // the newline in the id is escaped
    EXPECT_EQ(line.count('\t'), 15);
    EXPECT_TRUE(line.contains("2026-12-07T23:59:58.250+03:00"));
    const auto back = CentralRecord::FromCopyLine(line);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->terminalId, r.terminalId);
    EXPECT_EQ(back->started, r.started);
    EXPECT_EQ(back->started.offsetFromUtc(), 3 * 3600);
    EXPECT_EQ(*back, r);
    // West of Greenwich, and on it.
    r.started = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone(0));
    r.ended = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), QTimeZone(-(3 * 3600 + 1800)));
    const QByteArray west = r.ToCopyLine();
    EXPECT_TRUE(west.contains("\t2026-01-02T03:04:05.000Z\t2026-01-02T03:04:05.006-03:30\t"));
    EXPECT_EQ(CentralRecord::FromCopyLine(west), r);

    EXPECT_FALSE(CentralRecord::FromCopyLine(line.left(line.size() / 2)));
    EXPECT_FALSE(CentralRecord::FromCopyLine(QByteArray(line).replace("\t75\t", "\tx\t")));
    EXPECT_FALSE(CentralRecord::FromCopyLine(QByteArray(line).replace("\\\\", "\\q")));
    EXPECT_FALSE(CentralRecord::FromCopyLine(QByteArray()));
}
