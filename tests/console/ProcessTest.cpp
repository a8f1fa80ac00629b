// The built terminal as a child process: exit signals, a second start, the
// demonstration script.
#include "TestSupport.h"

#include "platform/Registry.h"
#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {
const QString kMain = QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS");

std::optional<QString> Stored(const QString& registry, const QString& name,
                              const QString& key = kMain) {
    Registry reg(registry);
    if (!reg.OpenKey(key, false)) return std::nullopt;
    return reg.ReadString(name);
}

// The terminal writes "TimerStatWait" at its first show. The file is read
// directly while the child runs: the settings library keeps what it read and
// misses a rewrite of the same size within the file system's time grain.
bool Shown(const QString& registry) {
    return FileBytes(registry).contains("TimerStatWait=");
}

struct Terminal {
    QProcess proc;
    QString registry;

    Terminal(const TestEnv& env, const QString& instance) : registry(env.RegistryPath()) {
        PasswordOff();
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert(QStringLiteral("VARNEL_REGISTRY"), registry);
        pe.insert(QStringLiteral("VARNEL_INSTANCE"), instance);
        pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        proc.setProcessEnvironment(pe);
        proc.setWorkingDirectory(env.Dir());
        proc.setProgram(QStringLiteral(VARNEL_BIN_DIR "/varnel"));
    }
    ~Terminal() {
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished(5000);
        }
    }
    // Started and through its first show.
    bool StartAndWaitShown() {
        proc.start();
        return proc.waitForStarted(10000) &&
               WaitUntil([this] { return Shown(registry) || proc.state() != QProcess::Running; },
                         30000) &&
               proc.state() == QProcess::Running;
    }
};

QString InstanceName(const char* tag) {
    return QStringLiteral("varnel-proc-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QLatin1String(tag));
}
} // namespace

// SIGTERM and SIGINT close the window like the operator does. A second start
// meanwhile hands over to the first and ends, writing nothing.
TEST(Process, SignalsCloseTheWindowCleanlyAndASecondStartHandsOver) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        TestEnv env;
        const QString name = InstanceName(sig == SIGTERM ? "term" : "int");
        Terminal term(env, name);
        ASSERT_TRUE(term.StartAndWaitShown()) << term.proc.readAllStandardError().toStdString();
        if (sig == SIGTERM) {
            Terminal second(env, name);
            second.proc.start();
            ASSERT_TRUE(second.proc.waitForFinished(15000));
            EXPECT_EQ(second.proc.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(second.proc.exitCode(), 0);
            EXPECT_EQ(term.proc.state(), QProcess::Running);
        }
        EXPECT_EQ(Stored(term.registry, QStringLiteral("CorrectLogOff")), QStringLiteral("false"));
        ::kill(pid_t(term.proc.processId()), sig);
        ASSERT_TRUE(term.proc.waitForFinished(15000));
        EXPECT_EQ(term.proc.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(term.proc.exitCode(), 0);
        EXPECT_EQ(Stored(term.registry, QStringLiteral("CorrectLogOff")), QStringLiteral("true"));
    }
}

// The start-up password dialog runs inside the first show, before the main
// loop: an exit signal then still ends the terminal cleanly.
TEST(Process, TermEndsTheTerminalWhileThePasswordIsAsked) {
    TestEnv env;
    Terminal term(env, InstanceName("passw"));
    {
        Registry reg(term.registry);
        ASSERT_TRUE(reg.OpenKey(kMain, true));
        reg.WriteBool(QStringLiteral("PasswEn"), true);
    }
    ASSERT_TRUE(term.StartAndWaitShown()) << term.proc.readAllStandardError().toStdString();
    EXPECT_FALSE(term.proc.waitForFinished(500)); // the dialog is up
    ::kill(pid_t(term.proc.processId()), SIGTERM);
    ASSERT_TRUE(term.proc.waitForFinished(15000));
    EXPECT_EQ(term.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(term.proc.exitCode(), 0);
    EXPECT_EQ(Stored(term.registry, QStringLiteral("CorrectLogOff")), QStringLiteral("true"));
}

// The demonstration script against a scratch home: a second start while the
// first runs leaves the first one's settings, simulator and logs alone.
TEST(Process, SecondDemoStartLeavesTheRunningDemoAlone) {
    TestEnv env;
    const QString home = env.Path(QStringLiteral("home"));
    const QString profile = home + QStringLiteral("/.local/share/varnel-demo");
    const QString registry = profile + QStringLiteral("/registry.ini");
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"VARNEL_REGISTRY", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        pe.remove(QString::fromLatin1(v));
    pe.insert(QStringLiteral("HOME"), home);
    pe.insert(QStringLiteral("VARNEL_INSTANCE"), InstanceName("demo"));
    pe.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    pe.insert(QStringLiteral("VARNEL_DEMO_CALLS"), QStringLiteral("600"));
    auto demo = [&](QProcess& p) {
        p.setProcessEnvironment(pe);
        p.setProgram(QStringLiteral(VARNEL_SOURCE_DIR "/scripts/demo.sh"));
        p.setArguments({QStringLiteral(VARNEL_BIN_DIR)});
        // A group of its own, so that the script, the simulator and the
        // terminal can be ended together.
        p.setChildProcessModifier([] { ::setsid(); });
        p.start();
    };
    QProcess first;
    demo(first);
    struct EndGroup {
        QProcess& p;
        ~EndGroup() {
            if (p.state() == QProcess::NotRunning) return;
            ::kill(-pid_t(p.processId()), SIGKILL);
            p.waitForFinished(5000);
        }
    } end{first};
    auto device = [&] {
        return Stored(registry, QStringLiteral("1"),
                      QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"))
            .value_or(QString());
    };
    const QString log = profile + QStringLiteral("/varnel-sim.log");
    ASSERT_TRUE(WaitUntil([&] { return Shown(registry) && !FileBytes(log).isEmpty(); }, 60000))
        << first.readAllStandardError().toStdString();
    const QString line = device();
    ASSERT_TRUE(QFile::exists(line));
    const QByteArray logBefore = FileBytes(log);
    const QByteArray outBefore = FileBytes(profile + QStringLiteral("/varnel-sim.out"));

    QProcess second;
    demo(second);
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(device(), line);
    EXPECT_TRUE(QFile::exists(line)) << "the first simulator still serves the line";
    EXPECT_EQ(first.state(), QProcess::Running);
    const QByteArray logAfter = FileBytes(log);
    EXPECT_TRUE(logAfter.startsWith(logBefore)) << "the running simulator's log is kept";
    EXPECT_FALSE(logAfter.contains('\0'));
    EXPECT_EQ(FileBytes(profile + QStringLiteral("/varnel-sim.out")), outBefore);

    // Ending the demonstration ends its simulator.
    ::kill(-pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(15000));
    EXPECT_TRUE(WaitUntil([&] { return !QFile::exists(line); }, 10000));
}

// The start-up error box of a settings store that cannot be read closes on
// SIGTERM, the program ends and gives up the single-instance lock.
TEST(Process, TermClosesTheStartUpErrorBox) {
    TestEnv env;
    const QString name = InstanceName("box");
    Terminal term(env, name);
    const QString unreadable = env.Path(QStringLiteral("store-is-a-folder"));
    ASSERT_TRUE(QDir().mkpath(unreadable));
    QProcessEnvironment pe = term.proc.processEnvironment();
    pe.insert(QStringLiteral("VARNEL_REGISTRY"), unreadable);
    term.proc.setProcessEnvironment(pe);
    term.proc.start();
    ASSERT_TRUE(term.proc.waitForStarted(10000));
    // The box is up once the window's start-up has run; give it time.
    EXPECT_FALSE(term.proc.waitForFinished(2000));
    ::kill(pid_t(term.proc.processId()), SIGTERM);
    ASSERT_TRUE(term.proc.waitForFinished(15000));
    EXPECT_EQ(term.proc.exitStatus(), QProcess::NormalExit);
    SingleInstance after(name);
    EXPECT_TRUE(after.TryBecomePrimary());
}
