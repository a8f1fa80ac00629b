// The statistics in the whole terminal against the simulator program: from
// the "Статистика" tab through the requests to the live windows, details
// opened and closed, and back to plain printouts.
#include "TestSupport.h"
#include "console/ConsoleTestSupport.h"

#include "console/DirectiveEntry.h"
#include "console/Form2.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/EscTracker.h"
#include "platform/Registry.h"
#include "state/ui/StatePages.h"
#include "stats/ui/FormAKNapr.h"
#include "stats/ui/FormStatAK.h"
#include "stats/ui/FormStatVK.h"
#include "stats/ui/FormVKNapr.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/StatButtons.h"
#include "stats/ui/StatDesk.h"
#include "tables/Table.h"
#include "versions/ui/FormGetVers.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
template <class T> T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

// The whole terminal with exchange 1 wired to a simulator program.
class StatsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(sim.Start({QStringLiteral("--seed"), QStringLiteral("3")}, 1).isEmpty());
        {
            Registry reg;
            reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS 1"), true);
            reg.WriteBool(QStringLiteral("In"), true);
            reg.WriteInteger(QStringLiteral("PortDelayMS"), 2);
            reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS"), true);
            reg.WriteBool(QStringLiteral("PasswEn"), false);
        }
        form = std::make_unique<TForm2>(env.Dir());
        form->show();
        ASSERT_TRUE(WaitUntil([&] { return form->Ats(1) && form->Ats(1)->PortIsOpen(); }, 5000));
        form->Term().Tracker().TimerWeStillGetIt->setInterval(500);
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        form.reset();
    }
    // An operator's step, taken once its condition holds during the next Run.
    void Then(std::function<bool()> cond, std::function<void()> action) {
        steps.push_back({std::move(cond), std::move(action)});
    }
    // Clicks a button of the "Статистика" tab; a run that does not end within
    // a minute is cut short with Esc.
    void Run(const char* button) {
        QWidget* page = PageOf(form.get(), QStringLiteral("Статистика"));
        QPushButton* b = page ? page->findChild<QPushButton*>(QLatin1String(button)) : nullptr;
        ASSERT_NE(b, nullptr);
        size_t next = 0;
        QTimer operatorTimer, guard;
        QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
            if (next < steps.size() && steps[next].first())
                QTimer::singleShot(0, &operatorTimer, steps[next++].second);
        });
        operatorTimer.start(20);
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { EscTracker::SetEscDown(true); });
        guard.start(60000);
        b->click();
        StatButtons* stats = form->findChild<StatButtons*>();
        ASSERT_NE(stats, nullptr);
        EXPECT_TRUE(WaitUntil([&] { return !stats->Desk().Busy(); }, 65000));
        guard.stop();
        EscTracker::SetEscDown(false);
        EXPECT_EQ(next, steps.size());
        steps.clear();
        EXPECT_FALSE(form->isMinimized());
        EXPECT_FALSE(form->Ats(1)->Receiver().FramesExpected());
    }
    // The line is plain again: a directive's printout reaches the roll.
    void ExpectPrintoutInRoll() {
        form->Ats(1)->SendDirective(QStringLiteral("МВ_-"));
        const QString roll = form->Ats(1)->RollLog().FileName();
        EXPECT_TRUE(WaitUntil(
            [&] { return Codec::FromCp1251(FileBytes(roll)).contains(QStringLiteral("МАШИННОЕ")); },
            8000));
    }

    TestEnv env;
    SimProcess sim;
    std::unique_ptr<TForm2> form;
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> steps;
};
} // namespace

TEST_F(StatsE2E, IncomingTrunksFromTheButtonToPlainPrintoutsAgain) {
    // The operator opens direction 2, closes it, closes the overview.
    Then([] { return Shown<TFormStatVK>(); },
         [&] {
             TFormStatVK* o = Shown<TFormStatVK>();
             EXPECT_TRUE(form->isMinimized());
             EXPECT_TRUE(o->Panels()[2]->Raised()); // directions 0..23 have kits
             EXPECT_FALSE(o->Panels()[30]->Raised());
             QTest::mouseClick(o->Panels()[2], Qt::LeftButton);
         });
    Then([] { return Shown<TFormVKNapr>(); },
         [] {
             TFormVKNapr* d = Shown<TFormVKNapr>();
             EXPECT_GT(d->LabelCountVK->text().toInt(), 0);
             d->close();
         });
    Then([] { return Shown<TFormStatVK>(); }, [] { Shown<TFormStatVK>()->close(); });
    Run("ButtonStatVK");
    auto kits = tables::Table::ForFile(env.Path(QStringLiteral("Tables/TableVK1.db")));
    ASSERT_TRUE(kits->Open(true));
    EXPECT_EQ(kits->RecordCount(), 192);
    ExpectPrintoutInRoll();
}

TEST_F(StatsE2E, SubscriberDetailRunsItsRefreshTimer) {
    // The run starts the detail's TimerStatAK while a block is shown (what a
    // tick refreshes is held by the statistics runs' own test).
    QPointer<QTimer> timer;
    Then([] { return Shown<TFormStatAK>(); },
         [] { QTest::mouseClick(Shown<TFormStatAK>()->Panels()[0], Qt::LeftButton); });
    Then([] { return Shown<TFormAKNapr>(); },
         [&] {
             timer = Shown<TFormAKNapr>()->TimerStatAK;
             EXPECT_EQ(timer->interval(), 30000);
             EXPECT_TRUE(timer->isActive());
             Shown<TFormAKNapr>()->close();
         });
    Then([] { return Shown<TFormStatAK>(); },
         [&] {
             EXPECT_FALSE(timer->isActive());
             Shown<TFormStatAK>()->close();
         });
    Run("ButtonStatAK");
    ExpectPrintoutInRoll();
}

// One tool on a line at a time: while a statistics run holds it, the state
// summary, a control-unit request and the unloading window are refused and
// say why, with nothing sent; a statistics button pressed during the state
// summary is refused the same way.
TEST_F(StatsE2E, ARefusedToolSaysWhatHoldsTheLineAndSendsNothing) {
    auto* pages = form->findChild<StatePages*>();
    ASSERT_NE(pages, nullptr);
    pages->PuuWaitTimer().setInterval(50);
    QStringList sent;
    QObject::connect(&form->Entry(), &DirectiveEntry::executing,
                     [&](const QString& d) { sent << d; });
    auto* memoState = form->findChild<QPlainTextEdit*>(QStringLiteral("MemoStateATS"));
    auto* memoStatus = form->findChild<QPlainTextEdit*>(QStringLiteral("MemoStatus"));
    const QString byStats = QString::fromUtf8("Линия АТС занята: идет статистика ВК");
    Then([] { return Shown<TFormStatVK>(); },
         [&] {
             form->findChild<QPushButton*>(QStringLiteral("ButtonStateATS"))->click();
             EXPECT_EQ(memoState->toPlainText(), byStats);
             form->findChild<QPushButton*>(QStringLiteral("Button15"))->click(); // ВВК
             EXPECT_FALSE(pages->Context().busy);
             EXPECT_TRUE(sent.isEmpty()) << sent.join(QLatin1Char(' ')).toStdString();
             EXPECT_EQ(form->PanelText(1), byStats);
             EXPECT_EQ(memoStatus->toPlainText().count(byStats), 2);
             TFormGetVers* get = nullptr;
             for (QWidget* w : QApplication::topLevelWidgets())
                 if (auto* g = qobject_cast<TFormGetVers*>(w)) get = g;
             ASSERT_NE(get, nullptr);
             get->show();
             get->StartClick();
             EXPECT_EQ(get->findChild<QPlainTextEdit*>(QStringLiteral("Memo1"))->toPlainText(),
                       byStats);
             EXPECT_FALSE(get->Session().Holding());
             get->hide();
             Shown<TFormStatVK>()->close();
         });
    Run("ButtonStatVK");
    EXPECT_TRUE(form->PanelText(1).isEmpty()); // the line is free again

    // A statistics button during the state summary.
    form->findChild<QPushButton*>(QStringLiteral("ButtonStateATS"))->click();
    ASSERT_TRUE(pages->Context().busy);
    QWidget* page = PageOf(form.get(), QStringLiteral("Статистика"));
    page->findChild<QPushButton*>(QStringLiteral("ButtonStatVK"))->click();
    StatButtons* stats = form->findChild<StatButtons*>();
    EXPECT_FALSE(stats->Context().Running);
    EXPECT_FALSE(stats->Desk().Busy());
    EXPECT_EQ(form->PanelText(1), QString::fromUtf8("Линия АТС занята: идет снятие состояния АТС"));
    ASSERT_TRUE(WaitUntil([&] { return !pages->Context().busy; }, 20000));
    EXPECT_EQ(sent.size(), 5); // the summary's own directives only
    EXPECT_FALSE(memoState->toPlainText().contains(QString::fromUtf8("занята")));
}
