#include "stats/ui/CordRun.h"

#include "stats/StatRun.h"
#include "stats/ui/FormStatISK.h"
#include "stats/ui/FormStatVSK.h"
#include "stats/ui/StatDesk.h"

#include <memory>
#include <utility>

namespace {
// The run with the kind's overview (freed with the run): the racks, then
// each rack opened shows its states live in the detail until it is closed
// (the overview hidden meanwhile); then the line is given back to printouts
// until the next rack.
class CordRun : public QObject {
public:
    CordRun(StatDesk& desk, std::unique_ptr<CordOverview> overview)
        : m_desk(desk), m_overview(std::move(overview)), m_detail(*m_overview->Detail()),
          m_run(std::make_unique<StatRun>(desk.Context(), m_overview->Stats(), desk.Hooks())) {
        connect(m_run.get(), &StatRun::ended, this, [this] { m_desk.Finished(this); });
    }
    ~CordRun() override {
        m_detail.disconnect(this);
        m_overview->disconnect(this);
        m_run.reset();
        m_overview.reset();
        m_desk.RestoreMain();
    }

    void Start() {
        m_run->Prepare();
        if (!m_run->Begin(true, true)) return;
        m_run->RunSteps(m_overview->Stats().OverviewSteps(), [this] { Live(); });
    }

private:
    void Live() {
        m_run->EndProgress();
        connect(&m_detail, &KitWindow::hidden, this, &CordRun::DetailHidden);
        connect(m_overview.get(), &KitWindow::panelClicked, this, &CordRun::OpenRack);
        connect(m_overview.get(), &KitWindow::hidden, this, [this] {
            if (!m_detailShown) m_run->End();
        });
        m_desk.ShowLive(m_overview.get());
    }

    // ButtonStatISKNaprClick, ButtonStatVSKNaprClick. A rack clicked while
    // the line is given back after the one before opens once it is.
    void OpenRack(int rack) {
        if (m_detailShown || m_run->Ended()) return;
        if (m_pausing) {
            m_pending = rack;
            return;
        }
        {
            BusyCursor busy;
            m_run->Fields().SelectedUnit = rack;
            m_detail.ShowRack(rack);
            m_run->StartLive(m_overview->Stats().StatesStep(rack, m_run->Fields()));
            PlaceBeside(m_detail, *m_overview);
            m_detail.show();
            m_detail.raise();
        }
        m_detailShown = true;
        m_overview->hide();
    }

    void DetailHidden() {
        m_run->StopDecoding();
        if (!m_detailShown || m_run->Ended()) return;
        m_detailShown = false;
        m_overview->show();
        m_pausing = true;
        m_run->Pause([this] {
            m_pausing = false;
            if (m_pending >= 0) OpenRack(std::exchange(m_pending, -1));
        });
    }

    StatDesk& m_desk;
    std::unique_ptr<CordOverview> m_overview;
    CordDetail& m_detail;
    std::unique_ptr<StatRun> m_run;
    bool m_detailShown = false;
    bool m_pausing = false;
    int m_pending = -1; // a rack clicked while pausing
};

template <class Overview> void StartKind(StatDesk& desk) {
    auto* run = new CordRun(desk, std::make_unique<Overview>());
    desk.Keep(run);
    run->Start();
}
} // namespace

void ButtonStatISKClick(StatDesk& desk) {
    StartKind<TFormStatISK>(desk);
}

void ButtonStatVSKClick(StatDesk& desk) {
    StartKind<TFormStatVSK>(desk);
}
