#include "TestSupport.h"

#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {
struct TestClock {
    explicit TestClock(const QDateTime& t) { Clock::SetTestTime(t); }
    ~TestClock() { Clock::SetTestTime(QDateTime()); }
};
const QDateTime k0905(QDate(2026, 12, 5), QTime(9, 5, 7));
} // namespace

// The test clock stands still until advanced; its texts have no leading zero hour.
TEST(Clock, TestClockIsFrozenAndAdvancedByHand) {
    {
        TestClock tc(k0905);
        EXPECT_TRUE(Clock::IsTestClock());
        EXPECT_EQ(Clock::TimeText(), QStringLiteral("9:05:07"));
        Clock::Advance(3600000 * 15);
        EXPECT_EQ(Clock::Now(), QDateTime(QDate(2026, 12, 6), QTime(0, 5, 7)));
        EXPECT_EQ(Clock::ShortDateText(), QStringLiteral("06.12.26"));
        EXPECT_EQ(Clock::TimeText(), QStringLiteral("0:05:07"));
    }
    EXPECT_FALSE(Clock::IsTestClock());
    EXPECT_LE(qAbs(Clock::Now().secsTo(QDateTime::currentDateTime())), 1);
}

TEST(Codec, Windows1251BothWays) {
    // Every byte but the one unassigned position survives a round trip.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        if (b != 0x98) all.append(char(b));
    EXPECT_EQ(Codec::ToCp1251(Codec::FromCp1251(all)), all);

    const QString text = QStringLiteral("ТО_5,- Ёё №«»");
    const QByteArray bytes = Codec::ToCp1251(text);
    EXPECT_EQ(bytes, QByteArray("\xd2\xce_5,- \xa8\xb8 \xb9\xab\xbb"));
    EXPECT_EQ(Codec::FromCp1251(bytes), text);
    // Characters without a byte become '?'.
    EXPECT_EQ(Codec::ToCp1251(QStringLiteral("a\u4e2db")), QByteArray("a?b"));
    EXPECT_EQ(Codec::Cp1251Byte(QChar(0x4e2d)), -1);
}

// A failure to write the log (its folder below a regular file) is silent.
TEST(ProgramLog, OneLinePerMessageInWindows1251) {
    TestEnv env;
    TestClock tc(k0905);
    EXPECT_EQ(LogFilePath(), env.Path(QStringLiteral("Zezozudaruduri.log")));
    WriteLog(QStringLiteral("Ошибка инициализации ATS 1"));
    Clock::Advance(60000);
    WriteLog(QStringLiteral("second"));
    EXPECT_EQ(Codec::FromCp1251(FileBytes(LogFilePath())),
              QStringLiteral("05.12.26 9:05:07  Ошибка инициализации ATS 1\r\n"
                             "05.12.26 9:06:07  second\r\n"));

    SetLogDir(LogFilePath() + QStringLiteral("/below"));
    WriteLog(QStringLiteral("nowhere"));
    EXPECT_FALSE(QFile::exists(LogFilePath()));
}
