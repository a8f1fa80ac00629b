#include "stats/ui/AkRun.h"

#include "platform/Wait.h"
#include "stats/StatRun.h"
#include "stats/ui/StatDesk.h"
#include "stats/ui/UnitAKBal.h"
#include "stats/ui/UnitNaprAK.h"

#include <QPointer>
#include <QTimer>

namespace {
// The block detail of a run: opened from the overview, its blocked bits and
// then its live free bits requested again at every tick of the refresh timer
// while it is shown.
class BlockDetail {
public:
    BlockDetail(StatDesk& desk, StatRun& run, TFormStatAK& overview)
        : m_run(run), m_overview(overview), m_detail(*overview.FormAKNapr()) {
        // The main window's TimerStatAK, else the detail's own.
        m_timer = desk.MainTimer(QStringLiteral("TimerStatAK"));
        if (!m_timer) m_timer = m_detail.TimerStatAK;
        m_detail.Hidden = [this] {
            m_closing = true;
            m_run.StopDecoding();
        };
    }
    ~BlockDetail() {
        m_detail.Hidden = nullptr;
        if (m_timer) m_timer->stop();
    }

    // A block panel's click: the detail shown until it is closed, the
    // overview hidden meanwhile; then the line is given back to printouts
    // until the next block.
    void Open(int block) {
        if (m_open || m_run.Ended() || !m_timer) return;
        m_open = true;
        m_closing = false;
        {
            BusyCursor busy;
            m_run.Fields().SelectedUnit = block;
            m_overview.hide();
            Refresh();
            m_detail.ShowBlock(block);
            m_detail.show();
            m_detail.raise();
        }
        const auto tick =
            QObject::connect(m_timer, &QTimer::timeout, &m_detail, [this] { Refresh(); });
        m_timer->start();
        const QPointer<TFormAKNapr> detail(&m_detail);
        WaitWhile([&] { return detail && detail->isVisible(); }, false);
        m_timer->stop();
        QObject::disconnect(tick);
        m_overview.show();
        m_run.Pause();
        m_detail.hide();
        m_open = false;
    }

private:
    // ButtonStatAKNaprClick, the tick of TimerStatAK: the blocked bits (Esc
    // does not end the wait), then the free bits live.
    void Refresh() {
        if (m_refreshing) return; // a tick while the previous one still waits
        m_refreshing = true;
        const int block = m_run.Fields().SelectedUnit;
        if (m_run.Request(TStatAKAts::BlockedStep(block), false) && !m_closing)
            m_run.StartLive(TStatAKAts::FreeStep(block));
        m_refreshing = false;
    }

    StatRun& m_run;
    TFormStatAK& m_overview;
    TFormAKNapr& m_detail;
    QPointer<QTimer> m_timer;
    bool m_open = false;
    bool m_closing = false;
    bool m_refreshing = false;
};
} // namespace

void ButtonStatAKClick(StatDesk& desk) {
    {
        TFormStatAK overview;
        RunSubscriberStatistics(desk, overview);
    } // the windows and the protocol object are freed
    desk.RestoreMain();
}

void RunSubscriberStatistics(StatDesk& desk, TFormStatAK& overview) {
    StatRun run(desk.Context(), overview.Stats(), desk.Hooks());
    run.Prepare();
    if (!run.Begin(true, true) || !run.RunSteps(TStatAKAts::OverviewSteps())) return;
    run.EndProgress();
    BlockDetail detail(desk, run, overview);
    QObject context; // the click binding lasts as long as the run
    QObject::connect(&overview, &KitWindow::panelClicked, &context,
                     [&detail](int block) { detail.Open(block); });
    desk.ShowLive(&overview);
    run.End();
}
