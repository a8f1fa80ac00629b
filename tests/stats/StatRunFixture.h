#pragma once
// The fixture of the statistics runs: a terminal's exchange object on a
// pseudo-terminal with the simulated exchange at the far end, the
// "Статистика" buttons on a main window, and the operator's steps as a
// script that runs on the event loop while the run goes on.
#include "StatTestSupport.h"

#include "Image.h"
#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/LinkOptions.h"
#include "link/RequestTracker.h"
#include "platform/EscTracker.h"
#include "stats/StatIKAts.h"
#include "stats/StatVKAts.h"
#include "stats/ui/FormStatIK.h"
#include "stats/ui/FormStatPr.h"
#include "stats/ui/FormStatVK.h"
#include "stats/ui/FormVKNapr.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/KitWindow.h"
#include "stats/ui/StatButtons.h"
#include "stats/ui/StatDesk.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace sim::layout;

template <class T> T* TopWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w)) return t;
    return nullptr;
}

// Steps of a test that run while a run goes on: each action runs once its
// condition holds, in order, the next condition looked at once it has begun.
// A script that stalls is cut short after 30 s: Esc is held and the
// statistics windows are hidden until the run ends.
class Script : public QObject {
public:
    using Cond = std::function<bool()>;
    void Then(Cond cond, std::function<void()> action) { m_steps.push_back({cond, action}); }
    void Start() {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer.start();
        m_clock.start();
    }
    bool Done() const { return m_next == m_steps.size() && !m_stalled; }

private:
    void Tick() {
        if (m_stalled) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<TrunkOverview*>(w) || qobject_cast<TrunkDetail*>(w) ||
                    qobject_cast<KitWindow*>(w))
                    w->hide();
        } else if (m_next < m_steps.size() && m_steps[m_next].first()) {
            // Outside this timer's slot: an action may open a modal question,
            // and the timer does not fire while its slot runs.
            QTimer::singleShot(0, this, m_steps[m_next++].second);
        } else if (m_next < m_steps.size() && m_clock.elapsed() > 30000) {
            ADD_FAILURE() << "script stalled before step " << m_next + 1;
            m_stalled = true;
            EscTracker::SetEscDown(true);
        }
    }
    std::vector<std::pair<Cond, std::function<void()>>> m_steps;
    size_t m_next = 0;
    bool m_stalled = false;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

inline QMessageBox* Question() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->text() == QStringLiteral("Обновить данные") ? box : nullptr;
}

class StatRuns : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Ok());
        peer.Pty().MapToPort(1);
        app.rollDir = env.Dir() + QStringLiteral("/Rulon/");
        ats = &exchanges.Add(std::make_unique<TAts>(app, 1));
        ats->InitSettings();
        ats->Link().SetPaceInterval(1);
        ats->SwitchPort(true);
        ASSERT_TRUE(ats->PortIsOpen());
        exchanges.Select(1);
        tracker.TimerWeStillGetIt->setInterval(250);
        tracker.AskNoAnswer = [this] {
            ++asked;
            return answers.empty() ? RequestTracker::NoAnswer::Abort : answers.takeFirst();
        };
        buttons = new StatButtons(new QWidget(&main), exchanges, tracker, env.Dir(), &main,
                                  [this](const QString& s) { status << s; });
        main.show();
    }
    void TearDown() override {
        EscTracker::SetEscDown(false);
        exchanges.Clear();
    }
    // Clicks the button; the run (and the script) go on until the run has
    // ended and its windows are freed (a stalled script ends it after 30 s).
    void Run(const char* button) {
        script.Start();
        buttons->Button(QLatin1String(button))->click();
        EXPECT_TRUE(WaitUntil([this] { return !buttons->Desk().Busy(); }, 35000));
        EXPECT_TRUE(script.Done());
    }
    // The line is given back, the windows are gone, the main window is back.
    void ExpectEndedCleanly() {
        EXPECT_FALSE(ats->Receiver().FramesExpected());
        EXPECT_EQ(ats->Session(), nullptr);
        EXPECT_FALSE(tracker.RequestPending);
        EXPECT_FALSE(buttons->Context().Running);
        EXPECT_FALSE(buttons->Progress()->isVisible());
        EXPECT_EQ(TopWindow<TrunkOverview>(), nullptr);
        EXPECT_EQ(TopWindow<TrunkDetail>(), nullptr);
        EXPECT_EQ(TopWindow<KitWindow>(), nullptr);
        EXPECT_FALSE(main.isMinimized());
    }
    // The overview of the run is shown and its live frames arrive.
    TrunkOverview* LiveOverview() {
        TrunkOverview* o = TopWindow<TrunkOverview>();
        const bool live =
            peer.Sim().Repeating() && peer.FramesOf(int(peer.Directives.size()) - 1) >= 2;
        return o && o->isVisible() && live ? o : nullptr;
    }
    // Tables of exchange 1 filled: kits 0..7 of direction 1, all present.
    void StoreTables(const TrunkKind& kind) {
        TrunkStats s(kind, env.Dir());
        for (int k = 0; k < 8; ++k) {
            s.Exist[size_t(k)] = 1;
            s.Napr[size_t(k)] = 1;
        }
        ASSERT_TRUE(s.Tables().Open(1));
        ASSERT_TRUE(s.WriteTables());
    }

    TestEnv env;
    SimPeer peer;
    LinkOptions app;
    ExchangeSet exchanges;
    RequestTracker tracker;
    TAts* ats = nullptr;
    QMainWindow main;
    StatButtons* buttons = nullptr;
    QStringList status;
    Script script;
    int asked = 0;
    QList<RequestTracker::NoAnswer> answers;
};
