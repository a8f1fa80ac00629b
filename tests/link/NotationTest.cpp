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

TEST(Notation, ShortHexAndExchangeAddressNotation) {
    const std::pair<int, const char*> hex[] = {{0, "0"},       {0x0D80, "D80"}, {0x5F30, "5F30"},
                                               {0x00BF, "BF"}, {0x0F, "F"},     {0x1ABCD, "ABCD"}};
    for (const auto& [v, text] : hex)
        EXPECT_EQ(ShortHex(v), QLatin1String(text));
    const std::pair<uint16_t, const char*> addresses[] = {
        {0x2000, "10000"}, {0x4000, "20000"}, {0x8000, "40000"}, {0xBFC0, "573C0"},
        {0xE809, "72009"}, {0xD809, "66009"}, {0xFFFF, "773FF"}};
    for (const auto& [v, text] : addresses)
        EXPECT_EQ(ValueToVarnel(v), QLatin1String(text));
    for (int v = 0; v <= 0xFFFF; ++v) {
        const QString s = ValueToVarnel(uint16_t(v));
        ASSERT_EQ(VarnelToValue(s), uint16_t(v)) << s.toStdString();
        ASSERT_EQ(ReadVarnel(s), v) << s.toStdString();
    }
    // Strict: five characters, each in its range.
    for (const char* bad :
         {"80000", "00400", "0000", "000-1", "573 F", "573F ", "5730+", "573c0", "5730x"})
        EXPECT_EQ(VarnelToValue(QString::fromLatin1(bad)), std::nullopt) << bad;
    // Lenient: only 0-9 and A-F count, from the right.
    EXPECT_EQ(ReadVarnel(QStringLiteral("5_73C0")), 0xBFC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("   C0")), 0xC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("1573C0")), 0xBFC0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("c0")), 0);
    EXPECT_EQ(ReadVarnel(QString()), 0);
    EXPECT_EQ(ReadVarnel(QStringLiteral("99999")), 9 * 8192 + 9 * 1024 + 9 * 256 + 9 * 16 + 9);
}
