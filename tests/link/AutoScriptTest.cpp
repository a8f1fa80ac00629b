// The automatic script of an exchange: its run over a port in memory, its
// modes and times by a test clock, its file.
#include "TestSupport.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "link/AutoScript.h"
#include "link/LineCode.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "platform/Wait.h"

#include <QDir>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
using Codes = std::vector<uint8_t>;

// The codes a fresh exchange sends for these directives, one after another.
Codes Encoded(const QStringList& directives) {
    LineCodeState st;
    Codes out;
    std::array<uint8_t, 4096> buf{};
    for (const QString& d : directives) {
        const int n = EncodeCodes(st, d, buf.data(), int(buf.size()));
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
    return out;
}

class AutoRun : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5)));
        app.RollDir = env.Dir() + QStringLiteral("/Rulon/");
        for (int n = 1; n <= 2; ++n) {
            ats[n - 1] = std::make_unique<TAts>(app, n, std::unique_ptr<SerialPort>(port[n - 1]));
            ats[n - 1]->SwitchPort(true);
            ats[n - 1]->Link().SetPaceInterval(1);
            port[n - 1]->Written.clear();
        }
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        Clock::SetTestTime(QDateTime());
    }
    void WriteScript(int n, const QString& text) {
        QFile f(app.RollDir + QStringLiteral("Auto%1.txt").arg(n));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Codec::ToCp1251(text));
    }
    // Runs until the exchange's run has ended and its line is quiet.
    bool Done(int n, const QSignalSpy& finished, int runs) {
        return WaitUntil([&] { return finished.count() == runs && !ats[n - 1]->IsSending(); });
    }

    TestEnv env;
    AppState app;
    std::array<FakePort*, 2> port{new FakePort, new FakePort};
    std::array<std::unique_ptr<TAts>, 2> ats;
};
} // namespace

TEST_F(AutoRun, RunSendsItsCopyInCapitalsWithPausesAndArmsAgain) {
    TAts& a = *ats[0];
    AutoScript& script = a.Script();
    WriteScript(1, QStringLiteral("ук_6,-\r\n\r\n   \r\n0\r\n5 сек\r\nУК_2,3-\r\n"));
    script.SwitchEvery(true);
    QSignalSpy loaded(&script, &AutoScript::loaded);
    QSignalSpy finished(&script, &AutoScript::finished);

    emit a.Schedule().due();
    EXPECT_FALSE(a.Schedule().AutoTimer->isActive());
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(script.Lines().size(), 6);
    // The pause "0" ends by itself; "5 сек" pauses five seconds until Esc.
    ASSERT_TRUE(WaitUntil(
        [&] { return script.IsPausing() && a.Schedule().PauseTimer->interval() == 5000; }));
    EXPECT_EQ(port[0]->Written, Encoded({QStringLiteral("УК_6,-")}));
    // Saved during the run: this run keeps its copy, the next one reads the file.
    ASSERT_TRUE(script.Save(QStringLiteral("то_5,-")));
    EscTracker::SetEscDown(true);
    ASSERT_TRUE(Done(1, finished, 1));
    EscTracker::SetEscDown(false);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_EQ(port[0]->Written, Encoded({QStringLiteral("УК_6,-"), QStringLiteral("УК_2,3-")}));
    const QString roll = Codec::FromCp1251(FileBytes(a.RollLog().FileName()));
    EXPECT_TRUE(roll.contains(QStringLiteral("|  УК_6,-\r\n")));
    EXPECT_TRUE(roll.endsWith(QStringLiteral("|  УК_2,3-")));
    EXPECT_TRUE(a.Schedule().AutoTimer->isActive());
    EXPECT_EQ(a.Schedule().AutoTimer->interval(), 3600000);

    emit a.Schedule().due();
    ASSERT_TRUE(Done(1, finished, 2));
    EXPECT_EQ(port[0]->Written, Encoded({QStringLiteral("УК_6,-"), QStringLiteral("УК_2,3-"),
                                         QStringLiteral("ТО_5,-")}));
}

TEST_F(AutoRun, RunsOfTwoExchangesAndTypedDirectivesShareEachLineInTurn) {
    WriteScript(1, QStringLiteral("УК_1-\n0\nУК_4,1-"));
    WriteScript(2, QStringLiteral("МВ_-\n0\nТО_5,-"));
    QSignalSpy finished1(&ats[0]->Script(), &AutoScript::finished);
    QSignalSpy finished2(&ats[1]->Script(), &AutoScript::finished);
    emit ats[0]->Schedule().due();
    emit ats[1]->Schedule().due();
    // Typed while exchange 1's first directive is still going out.
    ats[0]->SendDirective(QStringLiteral("ТО_7-"));
    ASSERT_TRUE(Done(1, finished1, 1));
    ASSERT_TRUE(Done(2, finished2, 1));
    EXPECT_EQ(port[0]->Written, Encoded({QStringLiteral("УК_1-"), QStringLiteral("ТО_7-"),
                                         QStringLiteral("УК_4,1-")}));
    EXPECT_EQ(port[1]->Written, Encoded({QStringLiteral("МВ_-"), QStringLiteral("ТО_5,-")}));
    // Neither mode is on: nothing is armed.
    EXPECT_FALSE(ats[0]->Schedule().AutoTimer->isActive());
}

TEST_F(AutoRun, MissingFileIsCreatedEmptyAndAnUnreadableOneStopsTheTimer) {
    TAts& a = *ats[0];
    QSignalSpy finished(&a.Script(), &AutoScript::finished);
    a.Script().SwitchEvery(true);
    emit a.Schedule().due();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_TRUE(QFileInfo(a.AutoFileName()).isFile());
    EXPECT_EQ(QFileInfo(a.AutoFileName()).size(), 0);
    EXPECT_TRUE(port[0]->Written.empty());
    EXPECT_TRUE(a.Schedule().AutoTimer->isActive());

    // A folder where the file should be: neither read nor written.
    ASSERT_TRUE(QDir().mkpath(ats[1]->AutoFileName()));
    EXPECT_FALSE(ats[1]->Script().Save(QStringLiteral("УК_1-")));
    ats[1]->Script().SwitchEvery(true);
    emit ats[1]->Schedule().due();
    EXPECT_TRUE(Codec::FromCp1251(FileBytes(LogFilePath()))
                    .contains(QStringLiteral("  Ошибка АвтоТаймера ATS 2\r\n")));
    EXPECT_FALSE(ats[1]->Schedule().AutoTimer->isActive());
}

TEST_F(AutoRun, ModesExcludeEachOtherAndTimesAreArmedByTheClock) {
    TAts& a = *ats[0];
    AutoScript& script = a.Script();
    QTimer* timer = a.Schedule().AutoTimer;
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(0, 30)));
    script.SwitchRunAt(true);
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("01:00")));
    EXPECT_EQ(timer->interval(), 1800000);
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(1, 30)));
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("01:00")));
    EXPECT_EQ(timer->interval(), 84600000);

    // Midnight is a run-at time, also when read back; a period of zero is not.
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("00:00")));
    for (const char* bad : {"24:00", "12:60", "1_:00", "0"})
        EXPECT_FALSE(script.SetRunAtText(QString::fromUtf8(bad))) << bad;
    AtsSettings reread(1, a.Settings.StorePath());
    reread.Load(true, 150);
    EXPECT_EQ(reread.AutoInTime, 0);
    EXPECT_TRUE(reread.AutoIn);

    script.SwitchEvery(true);
    EXPECT_FALSE(a.Settings.AutoIn);
    EXPECT_EQ(timer->interval(), 3600000);
    EXPECT_FALSE(script.SetEveryText(QStringLiteral("00:00")));
    EXPECT_EQ(a.Settings.AutoEveryTime, 3600000);
    ASSERT_TRUE(script.SetEveryText(QStringLiteral(" 0:02")));
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 120000);
    reread.Load(true, 150);
    EXPECT_FALSE(reread.AutoIn);
    EXPECT_TRUE(reread.AutoEvery);
    EXPECT_EQ(reread.AutoEveryTime, 120000);

    // A store that held both modes: switching one off leaves the other armed.
    a.Settings.SetAutoIn(true);
    script.SwitchRunAt(false);
    EXPECT_TRUE(timer->isActive());
    script.SwitchEvery(false);
    EXPECT_FALSE(timer->isActive());
}

TEST(AutoScriptLines, PausesTakeTheLeadingNumberAndDirectivesTheirCapitals) {
    using Kind = AutoScript::Entry::Kind;
    EXPECT_EQ(AutoScript::Read(QStringLiteral("  ")).kind, Kind::Skip);
    const auto pause = AutoScript::Read(QStringLiteral("2abc"));
    EXPECT_EQ(pause.kind, Kind::Pause);
    EXPECT_EQ(pause.pauseMs, 2000);
    EXPECT_EQ(AutoScript::Read(QStringLiteral("99999999999999")).pauseMs,
              AutoScript::kMaxPauseSeconds * 1000);
    const auto d = AutoScript::Read(QStringLiteral("зм_1,2,ё-µ"));
    EXPECT_EQ(d.kind, Kind::Directive);
    EXPECT_EQ(d.directive, QStringLiteral("ЗМ_1,2,Ё-µ")); // µ has no capital in 1251
    EXPECT_EQ(AutoScript::Read(QString(5000, QChar(0x0444))).directive,
              QString(AutoScript::kMaxDirective, QChar(0x0424)));
}
