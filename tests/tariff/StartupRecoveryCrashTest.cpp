// A terminal killed with SIGKILL at random moments of a call stream, 50 times:
// each next start completes or drops the cut commit, rebuilds the two tariff
// tables as after an unclean end, and every table then verifies clean, no
// billed call is there twice and no acknowledged one is lost. The child is
// this test binary again, running only the Child test.
#include "CallRecordsTestSupport.h"
#include "tables/StartupRecovery.h"
#include "tables/TableUtil.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr int kCalls = 3000;
constexpr int kInFlight = 40; // a call ends this many starts after its own
constexpr int kEvents = 2 * (kCalls + kInFlight);
constexpr int kKills = 50;
const QDateTime kBase(QDate(2026, 12, 5), QTime(9, 0));

bool IsStart(int e) {
    return e % 2 == 0;
}
int CallOf(int e) {
    return IsStart(e) ? e / 2 : e / 2 - kInFlight;
}

QList<int> Progress(const QString& file) {
    QFile f(file);
    QList<int> out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& l : f.readAll().split('\n'))
        if (!l.isEmpty()) out << l.toInt();
    return out;
}

} // namespace

TEST(StartupRecoveryCrash, Child) {
    const QString dir = qEnvironmentVariable("VARNEL_RECOVERY_CHILD");
    if (dir.isEmpty()) GTEST_SKIP() << "runs as the child of StartupRecoveryCrash.Killed50Times";
    const int from = qEnvironmentVariableIntValue("VARNEL_RECOVERY_FROM");
    SetLogDir(dir);
    Clock::SetTestTime(kBase.addMSecs(qint64(from) * 10));
    BillingRules mode;
    TariffTables tables(dir);
    tables.OpenTables();
    CallRecords calls(mode, tables);
    AtsSettings ats(1, QString());
    QFile progress(dir + QStringLiteral("/progress.txt"));
    ASSERT_TRUE(progress.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    for (int e = from; e < kEvents; ++e) {
        const int call = CallOf(e);
        if (call >= 0 && call < kCalls) {
            const QString b = QString::number(3000000 + call);
            if (IsStart(e))
                calls.OnCallStart(ats,
                                  StartFrame(call % 500, QString::number(100000 + call), b, 1));
            else
                calls.OnCallEnd(ats, EndFrame(call % 500, b));
        }
        progress.write(QByteArray::number(e) + '\n');
        Clock::Advance(10);
    }
}

TEST(StartupRecoveryCrash, Killed50TimesTablesVerifyCleanAfterTheStartUpRebuild) {
    TestEnv env;
    QRandomGenerator rng(15);
    QSet<int> done, cut;
    int from = 0;
    int kills = 0;
    const QString progressFile = env.Path(QStringLiteral("progress.txt"));
    QDir().mkpath(env.Path(QStringLiteral("Tables")));
    for (const char* t : {"Tables/Sng.db", "Tables/Foren.db"})
        ASSERT_TRUE(tables::LoadCsv(env.Path(QString::fromLatin1(t)),
                                    QStringLiteral("KOD:A10,TRF:F\n"), nullptr, nullptr));
    Clock::SetTestTime(kBase);
    struct ResetClock {
        ~ResetClock() { Clock::SetTestTime(QDateTime()); }
    } resetClock;

    // The next start after an unclean end, as the main window runs it.
    auto restart = [&] {
        SCOPED_TRACE(QStringLiteral("after %1 kills").arg(kills).toStdString());
        TariffTables tables(env.Dir());
        tables.OpenTables();
        tables::RecoveryHooks hooks;
        hooks.closeTable = [&](const QString& f) { tables.CloseTariffTable(f); };
        hooks.reopenTable = [&](const QString& f) { tables.ReopenTariffTable(f); };
        const auto runs =
            tables::RecoverTables(tables.StandardDir(),
                                  {{QStringLiteral("DestTar.db"),
                                    tables::TableDesc::FromFields(TariffTables::DestTarFields())},
                                   {QStringLiteral("TarifTA2.db"),
                                    tables::TableDesc::FromFields(TariffTables::TarifTAFields())}},
                                  hooks);
        // A sound table is only verified, a damaged one rebuilt.
        for (const auto& r : runs)
            ASSERT_TRUE(r.message == tables::kRebuildDone ||
                        (r.result == 0 && r.outcome == tables::UtilRun::Done))
                << r.message.toStdString() << r.error.toStdString();
        tables::TTableUtil util;
        for (const auto* t : {tables.TableTA(), tables.TableTarif(), tables.TableSegm()}) {
            int result = -1;
            ASSERT_TRUE(util.VerifyTable(t->Path(), result)) << util.LastError().toStdString();
            ASSERT_EQ(result, 0) << t->Path().toStdString()
                                 << util.Findings().join('\n').toStdString();
        }
        // Rows per call, by the number the call's rows carry in this field.
        auto count = [](tables::Table* t, const char* field, qint64 base) {
            QHash<qint64, int> n;
            for (int i = 0; i < t->RecordCount(); ++i) {
                EXPECT_TRUE(t->GoTo(i)) << field;
                ++n[t->AsText(QLatin1String(field)).toLongLong() - base];
            }
            return n;
        };
        const auto billed = count(tables.TableTarif(), "Number_of_call", 3000000);
        const auto pending = count(tables.TableTA(), "AbNumber", 100000);
        EXPECT_EQ(billed, count(tables.TableToday(), "ABON_B", 3000000));
        for (int call = 0; call < kCalls; ++call) {
            const int s = 2 * call;
            const int e = 2 * (call + kInFlight) + 1;
            const int b = billed.value(call);
            const int p = pending.value(call);
            SCOPED_TRACE(call);
            ASSERT_LE(b, 1); // never billed twice
            ASSERT_LE(p, 1);
            ASSERT_FALSE(b && p);
            if (done.contains(s) && done.contains(e)) {
                ASSERT_EQ(b, 1); // acknowledged: never lost
            }
            if (!done.contains(e) && !cut.contains(e)) {
                ASSERT_EQ(b, 0);
            }
        }
    };

    while (from < kEvents) {
        QFile::remove(progressFile);
        QProcess child;
        QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
        pe.insert(QStringLiteral("VARNEL_RECOVERY_CHILD"), env.Dir());
        pe.insert(QStringLiteral("VARNEL_RECOVERY_FROM"), QString::number(from));
        // The registry and platform variables are already in this process's own.
        child.setProcessEnvironment(pe);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=StartupRecoveryCrash.Child")});
        ASSERT_TRUE(child.waitForStarted(20000));
        const bool last = kills == kKills;
        if (!last) {
            const int target = from + 20 + int(rng.bounded(100));
            for (int i = 0; i < 30000 && child.state() == QProcess::Running; ++i) {
                const QList<int> p = Progress(progressFile);
                if (!p.isEmpty() && p.last() >= target) break;
                QThread::msleep(1);
            }
            QThread::usleep(rng.bounded(2000));
            child.kill(); // SIGKILL
            ++kills;
        }
        ASSERT_TRUE(child.waitForFinished(120000));
        const QList<int> p = Progress(progressFile);
        for (int e : p)
            done.insert(e);
        const int next = p.isEmpty() ? from : p.last() + 1;
        if (last || next >= kEvents) {
            ASSERT_EQ(child.exitStatus(), QProcess::NormalExit);
            from = kEvents;
        } else {
            cut.insert(next); // in progress at the kill: committed or not
            from = next + 1;
        }
        restart();
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(kills, kKills);
    const QStringList log = LogLines();
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
}
