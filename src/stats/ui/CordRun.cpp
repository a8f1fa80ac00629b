#include "stats/ui/CordRun.h"

#include "platform/Wait.h"
#include "stats/StatRun.h"
#include "stats/ui/StatDesk.h"
#include "stats/ui/UnitISK.h"
#include "stats/ui/UnitVSK.h"

#include <QPointer>

namespace {
template <class Overview> void RunKind(StatDesk& desk) {
    {
        Overview overview;
        RunCordStatistics(desk, overview);
    } // the windows and the protocol object are freed
    desk.RestoreMain();
}

// ButtonStatISKNaprClick, ButtonStatVSKNaprClick: the rack's states live in
// the detail until it is closed (the overview hidden meanwhile); then the
// line is given back to printouts until the next rack.
void OpenRack(StatRun& run, CordOverview& overview, int rack) {
    CordDetail& detail = *overview.Detail();
    if (detail.isVisible() || run.Ended()) return;
    {
        BusyCursor busy;
        run.Fields().SelectedUnit = rack;
        detail.ShowRack(rack);
        run.StartLive(overview.Stats().StatesStep(rack, run.Fields()));
        detail.show();
        detail.raise();
    }
    overview.hide();
    const QPointer<CordDetail> shown(&detail);
    WaitWhile([&] { return shown && shown->isVisible(); }, false);
    overview.show();
    run.Pause();
    detail.hide();
}
} // namespace

void ButtonStatISKClick(StatDesk& desk) {
    RunKind<TFormStatISK>(desk);
}

void ButtonStatVSKClick(StatDesk& desk) {
    RunKind<TFormStatVSK>(desk);
}

void RunCordStatistics(StatDesk& desk, CordOverview& overview) {
    StatRun run(desk.Context(), overview.Stats(), desk.Hooks());
    run.Prepare();
    if (!run.Begin(true, true) || !run.RunSteps(overview.Stats().OverviewSteps())) return;
    run.EndProgress();
    CordDetail& detail = *overview.Detail();
    detail.Hidden = [&run] { run.StopDecoding(); };
    QObject context; // the click binding lasts as long as the run
    QObject::connect(&overview, &KitWindow::panelClicked, &context,
                     [&run, &overview](int rack) { OpenRack(run, overview, rack); });
    desk.ShowLive(&overview);
    detail.Hidden = nullptr;
    run.End();
}
