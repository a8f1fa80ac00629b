#include "stats/ui/AkRun.h"

#include "stats/StatRun.h"
#include "stats/ui/FormAKNapr.h"
#include "stats/ui/FormStatAK.h"
#include "stats/ui/StatDesk.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <utility>

namespace {
// The run with the overview (freed with the run): the blocks, then each
// block opened shows its blocked bits and then its live free bits, both
// requested again at every tick of the refresh timer while it is shown (the
// overview hidden meanwhile); then the line is given back to printouts until
// the next block.
class AkRun : public QObject {
public:
    AkRun(StatDesk& desk, std::unique_ptr<TFormStatAK> overview)
        : m_desk(desk), m_overview(std::move(overview)), m_detail(*m_overview->FormAKNapr()),
          m_timer(*m_detail.TimerStatAK),
          m_run(std::make_unique<StatRun>(desk.Context(), m_overview->Stats(), desk.Hooks())) {
        connect(m_run.get(), &StatRun::ended, this, [this] {
            m_timer.stop();
            m_desk.Finished(this);
        });
    }
    ~AkRun() override {
        m_detail.disconnect(this);
        m_overview->disconnect(this);
        m_timer.stop();
        m_run.reset();
        m_overview.reset();
        m_desk.RestoreMain();
    }

    void Start() {
        m_run->Prepare();
        if (!m_run->Begin(true, true)) return;
        m_run->RunSteps(TStatAKAts::OverviewSteps(), [this] { Live(); });
    }

private:
    void Live() {
        m_run->EndProgress();
        connect(&m_detail, &KitWindow::hidden, this, &AkRun::DetailHidden);
        connect(&m_timer, &QTimer::timeout, this, [this] { Refresh(nullptr); });
        connect(m_overview.get(), &KitWindow::panelClicked, this, &AkRun::Open);
        connect(m_overview.get(), &KitWindow::hidden, this, [this] {
            // Not hidden for the detail: the live display ends.
            if (!m_open || m_pausing) m_run->End();
        });
        m_desk.ShowLive(m_overview.get());
    }

    // A block panel's click: the detail shown once the blocked bits are in.
    // A block clicked while the line is given back after the one before
    // opens once it is.
    void Open(int block) {
        if (m_run->Ended()) return;
        if (m_open) {
            if (m_pausing) m_pending = block;
            return;
        }
        m_open = true;
        m_closing = false;
        m_busy = std::make_unique<BusyCursor>();
        m_run->Fields().SelectedUnit = block;
        PlaceBeside(m_detail, *m_overview);
        m_overview->hide();
        Refresh([this, block] {
            m_detail.ShowBlock(block);
            m_detail.show();
            m_detail.raise();
            m_busy.reset();
            m_timer.start();
        });
    }

    // ButtonStatAKNaprClick, the tick of TimerStatAK: the blocked bits (Esc
    // does not cut the wait), then the free bits live.
    void Refresh(std::function<void()> then) {
        if (m_refreshing) return; // a tick while the previous one still waits
        m_refreshing = true;
        const int block = m_run->Fields().SelectedUnit;
        m_run->Request(TStatAKAts::BlockedStep(block), [this, block, then](bool decoded) {
            m_refreshing = false;
            if (decoded && !m_closing) m_run->StartLive(TStatAKAts::FreeStep(block));
            if (then) then();
        });
    }

    void DetailHidden() {
        if (!m_open || m_closing) return;
        m_closing = true;
        m_run->StopDecoding();
        m_timer.stop();
        m_refreshing = false;
        if (m_run->Ended()) return;
        m_overview->show();
        m_pausing = true;
        m_run->Pause([this] {
            m_pausing = false;
            m_open = false;
            if (m_pending >= 0) Open(std::exchange(m_pending, -1));
        });
    }

    StatDesk& m_desk;
    std::unique_ptr<TFormStatAK> m_overview;
    TFormAKNapr& m_detail;
    QTimer& m_timer; // the detail's refresh timer
    std::unique_ptr<StatRun> m_run;
    std::unique_ptr<BusyCursor> m_busy; // from the click until the detail shows
    bool m_open = false;
    bool m_closing = false;
    bool m_refreshing = false;
    bool m_pausing = false;
    int m_pending = -1; // a block clicked while pausing
};
} // namespace

void ButtonStatAKClick(StatDesk& desk) {
    auto* run = new AkRun(desk, std::make_unique<TFormStatAK>());
    desk.Keep(run);
    run->Start();
}
