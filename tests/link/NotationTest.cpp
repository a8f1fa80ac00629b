#include "link/Notation.h"

#include <gtest/gtest.h>

TEST(Notation, RollStamp) {
    EXPECT_EQ(GetDateTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 59))),
              QStringLiteral("9,05|05,12,26|"));
    EXPECT_EQ(GetDateTime(QDateTime(QDate(2026, 12, 5), QTime(14, 5))),
              QStringLiteral("14,05|05,12,26|"));
    EXPECT_EQ(GetDateTime(QDateTime(QDate(2009, 1, 31), QTime(0, 0))),
              QStringLiteral("0,00|31,01,09|"));
}

TEST(Notation, ShortHex) {
    EXPECT_EQ(ShortHex(0), QStringLiteral("0"));
    EXPECT_EQ(ShortHex(0x0D80), QStringLiteral("D80"));
    EXPECT_EQ(ShortHex(0x2230), QStringLiteral("2230"));
    EXPECT_EQ(ShortHex(0x5F30), QStringLiteral("5F30"));
    EXPECT_EQ(ShortHex(0x00BF), QStringLiteral("BF"));
    EXPECT_EQ(ShortHex(0x0F), QStringLiteral("F"));
    EXPECT_EQ(ShortHex(0x1ABCD), QStringLiteral("ABCD"));
}

TEST(Notation, ExchangeAddressNotation) {
    EXPECT_EQ(ValueToVarnel(0x2000), QStringLiteral("10000"));
    EXPECT_EQ(ValueToVarnel(0x4000), QStringLiteral("20000"));
    EXPECT_EQ(ValueToVarnel(0x8000), QStringLiteral("40000"));
    EXPECT_EQ(ValueToVarnel(0xBFC0), QStringLiteral("573C0"));
    EXPECT_EQ(ValueToVarnel(0xE809), QStringLiteral("72009"));
    EXPECT_EQ(ValueToVarnel(0xD809), QStringLiteral("66009"));
    EXPECT_EQ(ValueToVarnel(0xFFFF), QStringLiteral("773FF"));
    for (int v = 0; v <= 0xFFFF; ++v) {
        const QString s = ValueToVarnel(uint16_t(v));
        ASSERT_EQ(VarnelToValue(s), uint16_t(v)) << s.toStdString();
        ASSERT_EQ(ReadVarnel(s), v) << s.toStdString();
    }
    // Strict: five characters, each in its range.
    EXPECT_EQ(VarnelToValue(QStringLiteral("80000")), std::nullopt);
    EXPECT_EQ(VarnelToValue(QStringLiteral("00400")), std::nullopt);
    EXPECT_EQ(VarnelToValue(QStringLiteral("0000")), std::nullopt);
    EXPECT_EQ(VarnelToValue(QStringLiteral("000-1")), std::nullopt);
    for (const char* bad : {"573 F", "573F ", "5730+", "573c0", "5730x"})
        EXPECT_EQ(VarnelToValue(QString::fromLatin1(bad)), std::nullopt) << bad;
    // Lenient: only 0-9 and A-F count, from the right.
    EXPECT_EQ(ReadVarnel(QStringLiteral("5_73C0")), 0xBFC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("   C0")), 0xC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("1573C0")), 0xBFC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("c0")), 0);
    EXPECT_EQ(ReadVarnel(QString()), 0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("99999")), 9 * 8192 + 9 * 1024 + 9 * 256 + 9 * 16 + 9);
}
