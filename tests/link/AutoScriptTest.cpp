// The automatic script of an exchange: its run over a port in memory, its
// modes and times by a test clock, its file.
#include "TestSupport.h"

#include "link/Ats.h"
#include "link/AutoScript.h"
#include "link/LineCode.h"
#include "link/LinkOptions.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/EscTracker.h"
#include "platform/ProgramLog.h"

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
        app.rollDir = env.Dir() + QStringLiteral("/Rulon/");
        ats = std::make_unique<TAts>(app, 1, std::unique_ptr<SerialPort>(port));
        ats->SwitchPort(true);
        ats->Link().SetPaceInterval(1);
        port->Written.clear();
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        Clock::SetTestTime(QDateTime());
    }
    // The run has ended and the line is quiet.
    bool Done(const QSignalSpy& finished, int runs) {
        return WaitUntil([&] { return finished.count() == runs && !ats->IsSending(); });
    }

    TestEnv env;
    LinkOptions app;
    FakePort* port = new FakePort;
    std::unique_ptr<TAts> ats;
};
} // namespace

TEST_F(AutoRun, RunSendsItsCopyInCapitalsWithPausesAndArmsAgain) {
    AutoScript& script = ats->Script();
    ASSERT_TRUE(script.Save(QStringLiteral("ук_6,-\n\n   \n0\n5 сек\nУК_2,3-")));
    script.SwitchEvery(true);
    QSignalSpy finished(&script, &AutoScript::finished);
    emit ats->Schedule().due();
    EXPECT_FALSE(ats->Schedule().AutoTimer->isActive());
    // The pause "0" ends by itself; "5 сек" pauses five seconds, here until Esc.
    ASSERT_TRUE(WaitUntil(
        [&] { return script.IsPausing() && ats->Schedule().PauseTimer->interval() == 5000; }));
    // Typed meanwhile: it goes out between the script's directives.
    ats->SendDirective(QStringLiteral("ТО_7-"));
    // Saved during the run: this run keeps its copy, the next one reads the file.
    ASSERT_TRUE(script.Save(QStringLiteral("то_5,-")));
    EscTracker::SetEscDown(true);
    ASSERT_TRUE(Done(finished, 1));
    EscTracker::SetEscDown(false);
    EXPECT_EQ(port->Written, Encoded({QStringLiteral("УК_6,-"), QStringLiteral("ТО_7-"),
                                      QStringLiteral("УК_2,3-")}));
    EXPECT_TRUE(Codec::FromCp1251(FileBytes(ats->RollLog().FileName()))
                    .endsWith(QStringLiteral("|  ТО_7-\r\n9,05|05,12,26|  УК_2,3-")));
    EXPECT_EQ(ats->Schedule().AutoTimer->interval(), 3600000);

    port->Written.clear();
    emit ats->Schedule().due();
    ASSERT_TRUE(Done(finished, 2));
    EXPECT_EQ(port->Written, Encoded({QStringLiteral("ТО_5,-")}));
}

TEST_F(AutoRun, MissingFileIsCreatedEmptyAndAnUnreadableOneStopsTheTimer) {
    ats->Script().SwitchEvery(true);
    emit ats->Schedule().due();
    EXPECT_EQ(QFileInfo(ats->AutoFileName()).size(), 0);
    EXPECT_TRUE(QFileInfo(ats->AutoFileName()).isFile());
    EXPECT_TRUE(port->Written.empty());
    EXPECT_TRUE(ats->Schedule().AutoTimer->isActive());

    // A folder where the file should be: neither read nor written.
    ASSERT_TRUE(QFile::remove(ats->AutoFileName()) && QDir().mkpath(ats->AutoFileName()));
    emit ats->Schedule().due();
    EXPECT_TRUE(Codec::FromCp1251(FileBytes(LogFilePath()))
                    .contains(QStringLiteral("  Ошибка АвтоТаймера ATS 1\r\n")));
    EXPECT_FALSE(ats->Schedule().AutoTimer->isActive());
}

// A script file over the size limit (or not a file at all) is refused by
// the run, said in the status list and the log, and the timer stays off; a
// text over the limit is not saved.
TEST_F(AutoRun, OversizedScriptIsRefusedAndNeverLoaded) {
    AutoScript& script = ats->Script();
    QStringList status;
    QObject::connect(ats.get(), &TAts::status, [&](const QString& s) { status << s; });
    const QByteArray big = QByteArray("УК_6,-\r\n").repeated(AutoScript::kMaxFileBytes / 8 + 1);
    QDir().mkpath(app.rollDir);
    {
        QFile f(ats->AutoFileName());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(big) == big.size());
    }
    script.SwitchEvery(true);
    QSignalSpy loaded(&script, &AutoScript::loaded);
    emit ats->Schedule().due();
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_TRUE(port->Written.empty());
    EXPECT_FALSE(ats->Schedule().AutoTimer->isActive());
    ASSERT_EQ(status.size(), 1);
    EXPECT_TRUE(status[0].contains(QStringLiteral("больше 64 КБ"))) << status[0].toStdString();
    QString why;
    EXPECT_TRUE(script.FileText(&why).isEmpty());
    EXPECT_EQ(why, status[0]);
    EXPECT_FALSE(script.Save(QString::fromUtf8(big), &why));
    EXPECT_TRUE(why.contains(QStringLiteral("64 КБ")));
    EXPECT_EQ(FileBytes(ats->AutoFileName()), big);
}

TEST_F(AutoRun, ModesExcludeEachOtherAndTimesAreArmedByTheClock) {
    AutoScript& script = ats->Script();
    AtsSettings& s = ats->Settings;
    QTimer* timer = ats->Schedule().AutoTimer;
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(0, 30)));
    script.SwitchRunAt(true);
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("01:00")));
    EXPECT_EQ(timer->interval(), 1800000);
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(1, 30)));
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("01:00")));
    EXPECT_EQ(timer->interval(), 84600000);

    // Midnight is a run-at time, also when read back; a period of zero is not.
    ASSERT_TRUE(script.SetRunAtText(QStringLiteral("00:00")));
    EXPECT_FALSE(script.SetRunAtText(QStringLiteral("24:00")) ||
                 script.SetRunAtText(QStringLiteral("12:60")));
    script.SwitchEvery(true);
    EXPECT_FALSE(script.SetEveryText(QStringLiteral("00:00")));
    ASSERT_TRUE(script.SetEveryText(QStringLiteral(" 0:02")));
    EXPECT_EQ(timer->interval(), 120000);
    AtsSettings reread(1, s.StorePath());
    reread.Load(true, 150);
    EXPECT_EQ(reread.AutoInTime, 0);
    EXPECT_TRUE(reread.AutoEvery && !reread.AutoIn);

    // A store that held both modes: switching one off leaves the other armed.
    s.SetAutoIn(true);
    script.SwitchRunAt(false);
    EXPECT_TRUE(timer->isActive());
    script.SwitchEvery(false);
    EXPECT_FALSE(timer->isActive());
}

TEST(AutoScriptLines, OverlongPausesAndDirectivesAreCut) {
    EXPECT_EQ(AutoScript::Read(QStringLiteral("99999999999999")).pauseMs,
              AutoScript::kMaxPauseSeconds * 1000);
    EXPECT_EQ(AutoScript::Read(QString(5000, QChar(0x0444))).directive,
              QString(AutoScript::kMaxDirective, QChar(0x0424)));
}
