// varnel-tool's encode and registry commands, run as the program itself.
#include "TestSupport.h"

#include "link/AtsSettings.h"
#include "platform/Registry.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {
struct ToolRun {
    int code = -1;
    QString out;
    QString err;
};

ToolRun Tool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-tool"), args);
    ToolRun r;
    if (!p.waitForFinished(20000)) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

const QString kAts2 = QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 2");
} // namespace

TEST(ToolLine, EncodePrintsTheCodes) {
    const ToolRun r = Tool({QStringLiteral("encode"), QStringLiteral("УК"), QStringLiteral("1-")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("0 0 7 15 4 27 23 3\n")); // the words joined by a space
    EXPECT_EQ(Tool({QStringLiteral("encode")}).code, 2);
    EXPECT_EQ(Tool({QStringLiteral("nonsense")}).code, 2);
}

TEST(ToolLine, RegistryIsTheTerminalsStore) {
    TestEnv env;
    EXPECT_EQ(Tool({"registry", "set", kAts2, "Port", "7", "--int"}).code, 0);
    EXPECT_EQ(Tool({"registry", "set", kAts2, "Name", "Юг, 2"}).code, 0);
    EXPECT_EQ(Tool({"registry", "set", kAts2, "SLCheck", "yes", "--bool"}).code, 0);
    // Values the type refuses are not written.
    EXPECT_EQ(Tool({"registry", "set", kAts2, "Port", "seven", "--int"}).code, 2);
    EXPECT_EQ(Tool({"registry", "set", kAts2, "In", "maybe", "--bool"}).code, 2);

    ToolRun r = Tool({"registry", "list", kAts2});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, QStringLiteral("Name=Юг, 2\nPort=7\nSLCheck=true\n"));
    r = Tool({"registry", "list", "\\Software\\ZezozuDaruduri"});
    EXPECT_EQ(r.out, QStringLiteral("ATS 2\\\n"));
    EXPECT_EQ(Tool({"registry", "get", kAts2, "Port", "--int"}).out, QStringLiteral("7\n"));
    EXPECT_EQ(Tool({"registry", "get", kAts2, "Name", "--int"}).code, 1);
    EXPECT_EQ(Tool({"registry", "get", kAts2, "Missing"}).code, 1);
    EXPECT_EQ(Tool({"registry", "list", "\\Software\\ZezozuDaruduri\\ATS 3"}).code, 1);

    // The exchange object reads what the tool wrote, and the tool what it wrote.
    EXPECT_EQ(AtsSettings(2, QString()).Port, 7);
    {
        Registry reg;
        ASSERT_TRUE(reg.OpenKey(kAts2, false));
        EXPECT_TRUE(reg.WriteString(QStringLiteral("MG"), QStringLiteral("0")));
    }
    EXPECT_EQ(Tool({"registry", "get", kAts2, "MG"}).out, QStringLiteral("0\n"));

    // A store that cannot be read is an access error, not a missing key.
    QDir().mkpath(env.Path(QStringLiteral("folder.ini")));
    qputenv("VARNEL_REGISTRY", env.Path(QStringLiteral("folder.ini")).toUtf8());
    r = Tool({"registry", "get", kAts2, "Port"});
    qputenv("VARNEL_REGISTRY", env.RegistryPath().toUtf8());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("access denied"))) << r.err.toStdString();
}
