// varnel-collect as a process: on a settings file of its own with exchange 1
// on the simulator it bills a call, refuses a second collector on the same
// settings, and ends cleanly on SIGTERM.
#include "TestSupport.h"
#include "tariff/CallRecordsTestSupport.h"

#include "app/CreateSettings.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

namespace {
const QString kCollector = QStringLiteral(VARNEL_BIN_DIR "/varnel-collect");

// A child process whose standard error is gathered as it comes; ended with
// SIGTERM (then killed) when still running.
struct Child {
    QProcess proc;
    QString err;
    Child(const QString& program, const QStringList& args,
          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        QObject::connect(&proc, &QProcess::readyReadStandardError, &proc,
                         [this] { err += QString::fromUtf8(proc.readAllStandardError()); });
        proc.setProcessEnvironment(env);
        proc.start(program, args);
    }
    ~Child() {
        if (proc.state() == QProcess::NotRunning) return;
        ::kill(pid_t(proc.processId()), SIGTERM);
        if (!proc.waitForFinished(10000)) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    bool Says(const QString& text, int ms) {
        return WaitUntil([&] { return err.contains(text); }, ms);
    }
};

struct Collector : Child {
    explicit Collector(const QString& dir) : Child(kCollector, {QStringLiteral("--dir"), dir}) {}
};
} // namespace

TEST(CollectorProcess, BillsRefusesASecondAndEndsCleanlyOnTerm) {
    TestEnv env;
    SimProcess sim;
    ASSERT_FALSE(sim.Start({QStringLiteral("--seed"), QStringLiteral("5")}, 1).isEmpty());
    SwitchLineOn(1, 1);

    Collector first(env.Dir());
    ASSERT_TRUE(first.Says(QStringLiteral("running, 1 line(s) open"), 15000))
        << first.err.toStdString();
    EXPECT_TRUE(first.err.contains(QStringLiteral("ATS 1 Порт открыт Com 1")))
        << first.err.toStdString();

    // The same settings from another folder: refused, the first one named.
    QTemporaryDir other;
    QProcess second;
    second.start(kCollector, {QStringLiteral("--dir"), other.path()});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_NE(second.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError())
                    .contains(QStringLiteral("already running on the settings ") +
                              env.RegistryPath() + QStringLiteral(" (varnel-collect, pid ")));

    // The window on the same settings is refused too (it says so before its
    // error box).
    {
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        pe.insert(QStringLiteral("VARNEL_INSTANCE"),
                  QStringLiteral("varnel-collect-test-%1").arg(QCoreApplication::applicationPid()));
        Child window(QStringLiteral(VARNEL_BIN_DIR "/varnel"), {}, pe);
        EXPECT_TRUE(window.Says(QStringLiteral("(varnel-collect, pid "), 15000))
            << window.err.toStdString();
    }

    EXPECT_TRUE(sim.Command(QStringLiteral("call 1234 5678 1 1")).startsWith(QStringLiteral("ok")));
    const QString destTar = env.Path(QStringLiteral("Tables/DestTar.db"));
    EXPECT_TRUE(WaitUntil([&] { return ReadRows(destTar).size() == 1; }, 10000));

    ::kill(pid_t(first.proc.processId()), SIGTERM);
    ASSERT_TRUE(first.proc.waitForFinished(15000));
    first.err += QString::fromUtf8(first.proc.readAllStandardError());
    EXPECT_EQ(first.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.proc.exitCode(), 0);
    EXPECT_TRUE(first.err.contains(QStringLiteral("varnel-collect: stopped")))
        << first.err.toStdString();
    Registry reg;
    ASSERT_TRUE(reg.OpenKey(CreateSettings::kKey, false));
    EXPECT_EQ(reg.ReadBool(QStringLiteral("CorrectLogOff")), true);
    EXPECT_EQ(ReadRows(destTar).size(), 1);
    const QString log =
        QString::fromLatin1(FileBytes(env.Path(QStringLiteral("Zezozudaruduri.log"))));
    EXPECT_TRUE(log.contains(QStringLiteral("varnel-collect: start"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("varnel-collect: stopped"))) << log.toStdString();

    // Once it has ended the settings are free again.
    Collector again(env.Dir());
    EXPECT_TRUE(again.Says(QStringLiteral("running, 1 line(s) open"), 15000))
        << again.err.toStdString();
}
