#include "TestSupport.h"

#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {
const QString kAts1 = QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1");
} // namespace

// Keys are created only when asked; typed values round trip, malformed ones
// are unreadable.
TEST(Registry, KeysAndTypedValues) {
    TestEnv env;
    Registry reg;
    EXPECT_EQ(reg.StorePath(), env.RegistryPath());
    EXPECT_FALSE(reg.OpenKey(kAts1, false));
    ASSERT_TRUE(reg.OpenKey(kAts1, true));
    {
        // The empty key now exists, also for a fresh accessor, and is not a value.
        Registry other;
        EXPECT_TRUE(other.OpenKey(kAts1, false));
        EXPECT_TRUE(other.ValueNames().isEmpty());
        other.CloseKey();
        EXPECT_TRUE(other.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri"), false));
        EXPECT_EQ(other.KeyNames(), QStringList{QStringLiteral("ATS 1")});
        EXPECT_FALSE(other.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 2"), false));
    }
    const QString name = QStringLiteral("Юг, станция; @1 \"2\"");
    EXPECT_TRUE(reg.WriteInteger(QStringLiteral("Neg"), -5));
    EXPECT_TRUE(reg.WriteBool(QStringLiteral("In"), true));
    EXPECT_TRUE(reg.WriteBool(QStringLiteral("Off"), false));
    EXPECT_TRUE(reg.WriteString(QStringLiteral("Name"), name));
    EXPECT_TRUE(reg.WriteString(QStringLiteral("Empty"), QString()));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Neg")), -5);
    EXPECT_EQ(reg.ReadBool(QStringLiteral("In")), true);
    EXPECT_EQ(reg.ReadBool(QStringLiteral("Off")), false);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Name")), name);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Empty")), QString());
    // Wrong types and missing values are unreadable and take the default.
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Name")), std::nullopt);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Name"), 7), 7);
    EXPECT_EQ(reg.ReadBool(QStringLiteral("Name")), std::nullopt);
    EXPECT_EQ(reg.ReadBool(QStringLiteral("Neg")), std::nullopt);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Missing"), QStringLiteral("d")), QStringLiteral("d"));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Missing")));
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("Empty")));

    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("Neg")));
    QStringList names = reg.ValueNames();
    names.sort();
    EXPECT_EQ(names.join(QLatin1Char(' ')), QStringLiteral("Empty In Name Off"));
}

// Two accessors on one file, also written by hand, see each other's writes.
TEST(Registry, AccessorsShareAHandWrittenFile) {
    TestEnv env;
    QFile f(env.RegistryPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Software\\ZezozuDaruduri\\ATS "
            "1]\nPort=7\nName=\xd0\x92\xd0\xbe\xd1\x81\xd1\x82\xd0\xbe\xd0\xba\n");
    f.close();
    Registry window;
    Registry ats(window.StorePath());
    ASSERT_TRUE(window.OpenKey(kAts1, false));
    ASSERT_TRUE(ats.OpenKey(kAts1, false));
    EXPECT_EQ(window.ReadInteger(QStringLiteral("Port")), 7);
    EXPECT_EQ(ats.ReadString(QStringLiteral("Name")), QStringLiteral("Восток"));
    EXPECT_TRUE(ats.WriteInteger(QStringLiteral("Port"), 4));
    EXPECT_EQ(window.ReadInteger(QStringLiteral("Port")), 4);
    EXPECT_TRUE(window.WriteString(QStringLiteral("Name"), QStringLiteral("Север")));
    EXPECT_EQ(ats.ReadString(QStringLiteral("Name")), QStringLiteral("Север"));
    // And the values are on disk, not only in memory.
    EXPECT_TRUE(FileBytes(env.RegistryPath()).contains("Port=4"));
}

// A regular file where the store's folder should be (nothing can be created
// below it, whoever runs the test) is logged, not fatal; a folder where the
// settings file should be reads as an access error.
TEST(Registry, UnwritableOrUnreadableStore) {
    TestEnv env;
    QFile block(env.Path(QStringLiteral("blocker")));
    ASSERT_TRUE(block.open(QIODevice::WriteOnly));
    block.close();
    Registry reg(env.Path(QStringLiteral("blocker/registry.ini")));
    EXPECT_FALSE(reg.OpenKey(kAts1, true));
    EXPECT_FALSE(reg.WriteInteger(QStringLiteral("Port"), 1));
    const QByteArray log = FileBytes(LogFilePath());
    EXPECT_TRUE(log.contains(
        "\xce\xf8\xe8\xe1\xea\xe0 \xe7\xe0\xef\xe8\xf1\xe8 \xe2 \xf0\xe5\xe5\xf1\xf2\xf0"))
        << log.constData(); // "Ошибка записи в реестр" in Windows-1251

    ASSERT_TRUE(QDir().mkpath(env.RegistryPath()));
    EXPECT_FALSE(Registry().IsAccessible());
}

// Settings files that held a malformed line or binary garbage (tests/corpus):
// the value is stored at the first try, the readable values stay, the
// skipped lines are logged once.
TEST(Registry, MalformedFileIsWrittenCleanAndTheWriteSucceeds) {
    for (const char* name : {"registry-junk.ini", "registry-binary.ini"}) {
        SCOPED_TRACE(name);
        TestEnv env;
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(VARNEL_SOURCE_DIR "/tests/corpus/") + QLatin1String(name),
                        env.RegistryPath()));
        QFile::setPermissions(env.RegistryPath(), QFile::ReadOwner | QFile::WriteOwner);
        for (int run = 0; run < 2; ++run) {
            Registry reg;
            EXPECT_TRUE(reg.IsAccessible());
            ASSERT_TRUE(reg.OpenKey(kAts1, true));
            EXPECT_TRUE(reg.WriteString(QStringLiteral("Name"), QStringLiteral("Юг")));
        }
        Registry check;
        ASSERT_TRUE(check.OpenKey(kAts1, false));
        EXPECT_EQ(check.ReadString(QStringLiteral("Name")), QStringLiteral("Юг"));
        if (QLatin1String(name) == QLatin1String("registry-junk.ini")) {
            EXPECT_EQ(check.ReadInteger(QStringLiteral("Port")), 3);
        }
        const QByteArray log = FileBytes(LogFilePath());
        // "Ошибка формата" once, no write failure.
        EXPECT_EQ(log.count("\xce\xf8\xe8\xe1\xea\xe0 \xf4\xee\xf0\xec\xe0\xf2\xe0"), 1);
        EXPECT_FALSE(log.contains("\xe7\xe0\xef\xe8\xf1\xe8")) << log.constData();
    }
}
