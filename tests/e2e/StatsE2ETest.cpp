// The statistics in the whole terminal against the simulator program: from
// the "Статистика" tab through the requests to the live windows, details
// opened and closed, and back to plain printouts.
#include "TestSupport.h"

#include "console/Form2.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/Codec.h"
#include "platform/Registry.h"
#include "platform/Wait.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/UnitAKBal.h"
#include "stats/ui/UnitISK.h"
#include "stats/ui/UnitNaprAK.h"
#include "stats/ui/UnitPB.h"
#include "stats/ui/UnitVK.h"
#include "stats/ui/UnitVKNapr.h"
#include "tables/Table.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
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
        form->Tracker()->TimerWeStillGetIt->setInterval(500);
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        form.reset();
    }
    // Clicks a statistics button; a run that does not end within a minute is
    // cut short with Esc.
    void Run(const char* button) {
        QPushButton* b = form->findChild<QPushButton*>(QLatin1String(button));
        ASSERT_NE(b, nullptr);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { EscTracker::SetEscDown(true); });
        guard.start(60000);
        b->click();
        guard.stop();
        EscTracker::SetEscDown(false);
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
};

template <class T> T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}
} // namespace

TEST_F(StatsE2E, IncomingTrunksFromTheButtonToPlainPrintoutsAgain) {
    TForm2& form = *this->form;
    QWidget* page = form.Page(QStringLiteral("Статистика"));
    ASSERT_NE(page, nullptr);
    const QStringList captions{"Статистика ПБ", "Статистика ИК",  "Статистика ВК",
                               "Статистика АК", "Статистика ИШК", "Статистика ВШК"};
    QStringList shown;
    for (QPushButton* b : page->findChildren<QPushButton*>())
        shown << b->text();
    EXPECT_EQ(shown, captions);
    QPushButton* vk = page->findChild<QPushButton*>(QStringLiteral("ButtonStatVK"));
    ASSERT_NE(vk, nullptr);
    EXPECT_EQ(vk->toolTip(), QStringLiteral("Снятие статистики Входящих Комплектов"));

    // The operator: waits for the overview, opens direction 2, closes it,
    // closes the overview.
    int step = 0;
    bool detailSeen = false;
    QTimer operatorTimer;
    QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
        TFormStatVK* o = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TFormStatVK*>(w)) o = f;
        if (!o) return;
        if (step == 0 && o->isVisible()) {
            ++step;
            EXPECT_TRUE(form.isMinimized());
            EXPECT_TRUE(o->Panels()[2]->Raised()); // directions 0..23 have kits
            EXPECT_FALSE(o->Panels()[30]->Raised());
            QTimer::singleShot(0, o, [o] { QTest::mouseClick(o->Panels()[2], Qt::LeftButton); });
        } else if (step == 1 && o->FormVKNapr()->isVisible()) {
            ++step;
            TFormVKNapr* d = o->FormVKNapr();
            detailSeen = d->LabelCountVK->text().toInt() > 0;
            d->close();
        } else if (step == 2 && o->isVisible()) {
            ++step;
            o->close();
        }
    });
    operatorTimer.start(20);
    Run("ButtonStatVK");
    EXPECT_EQ(step, 3);
    EXPECT_TRUE(detailSeen);
    auto kits = tables::Table::ForFile(env.Path(QStringLiteral("Tables/TableVK1.db")));
    ASSERT_TRUE(kits->Open(true));
    EXPECT_EQ(kits->RecordCount(), 192);

    ExpectPrintoutInRoll();
}

TEST_F(StatsE2E, ReceiversBlocksAndRacksLiveAndTheBlockRefreshedByTheMainWindowsTimer) {
    // The operator's steps, each once its condition holds.
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> steps;
    size_t next = 0;
    QTimer operatorTimer;
    QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
        if (next < steps.size() && steps[next].first())
            QTimer::singleShot(0, &operatorTimer, steps[next++].second);
    });
    operatorTimer.start(20);
    auto frames = [](KitWindow* w) { return w ? w->PanelGet->ColourWrites() : 0; };

    // Battery receivers: 48, live.
    int before = 0;
    steps.push_back(
        {[&] { return Shown<TFormStatPB>(); }, [&] { before = frames(Shown<TFormStatPB>()); }});
    steps.push_back({[&] { return frames(Shown<TFormStatPB>()) > before + 4; },
                     [&] {
                         TFormStatPB* w = Shown<TFormStatPB>();
                         EXPECT_TRUE(form->isMinimized());
                         EXPECT_TRUE(w->Panels()[47]->Raised());
                         EXPECT_FALSE(w->Panels()[48]->Raised());
                         EXPECT_EQ(w->Panels()[7]->Colour(), stats::colour::kPurple);
                         w->close();
                     }});
    Run("ButtonStatPB");
    EXPECT_EQ(next, steps.size());

    // Subscriber block 0, blocked in part while it is shown: the main
    // window's TimerStatAK refreshes the blocked bits.
    QTimer* timer = form->findChild<QTimer*>(QStringLiteral("TimerStatAK"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 30000);
    steps.clear();
    next = 0;
    steps.push_back(
        {[&] { return Shown<TFormStatAK>(); },
         [&] { QTest::mouseClick(Shown<TFormStatAK>()->Panels()[0], Qt::LeftButton); }});
    steps.push_back({[&] { return Shown<TFormAKNapr>(); },
                     [&] {
                         EXPECT_TRUE(timer->isActive());
                         sim.Post(QStringLiteral("poke D83 FFFF")); // positions 0..15 blocked
                         timer->setInterval(300);
                     }});
    steps.push_back({[&] {
                         TFormAKNapr* d = Shown<TFormAKNapr>();
                         return d && d->Panels()[0]->Colour() == stats::colour::kPurple;
                     },
                     [&] {
                         timer->setInterval(30000);
                         Shown<TFormAKNapr>()->close();
                     }});
    steps.push_back({[&] { return Shown<TFormStatAK>(); },
                     [&] {
                         EXPECT_FALSE(timer->isActive());
                         Shown<TFormStatAK>()->close();
                     }});
    Run("ButtonStatAK");
    EXPECT_EQ(next, steps.size());

    // Outgoing cord kits: rack 1 live.
    steps.clear();
    next = 0;
    steps.push_back(
        {[&] { return Shown<TFormStatISK>(); },
         [&] { QTest::mouseClick(Shown<TFormStatISK>()->Panels()[1], Qt::LeftButton); }});
    steps.push_back(
        {[&] { return Shown<TFormIskNapr>(); }, [&] { before = frames(Shown<TFormIskNapr>()); }});
    steps.push_back({[&] { return frames(Shown<TFormIskNapr>()) > before + 4; },
                     [&] { Shown<TFormIskNapr>()->close(); }});
    steps.push_back(
        {[&] { return Shown<TFormStatISK>(); }, [&] { Shown<TFormStatISK>()->close(); }});
    Run("ButtonStatISK");
    EXPECT_EQ(next, steps.size());

    ExpectPrintoutInRoll();
}
