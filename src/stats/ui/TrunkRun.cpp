#include "stats/ui/TrunkRun.h"

#include "stats/StatRun.h"
#include "stats/ui/StatDesk.h"
#include "stats/ui/UnitStatIK.h"
#include "stats/ui/UnitVK.h"

#include <memory>

namespace {
template <class Overview> void RunKind(StatDesk& desk) {
    {
        auto overview = std::make_unique<Overview>(desk.Context().CurDir);
        RunTrunkStatistics(desk, *overview);
    } // the windows and the protocol object are freed
    desk.RestoreMain();
}
} // namespace

void ButtonStatVKClick(StatDesk& desk) {
    RunKind<TFormStatVK>(desk);
}

void ButtonStatIKClick(StatDesk& desk) {
    RunKind<TFormStatIK>(desk);
}

void RunTrunkStatistics(StatDesk& desk, TrunkOverview& overview) {
    TrunkStats& stats = overview.Stats();
    const TrunkKind& kind = stats.Kind();
    StatRun run(desk.Context(), stats, desk.Hooks());
    run.Prepare();
    stats.Tables().Open(run.Number());
    // Stored configuration in both tables: the operator may skip the reading.
    const bool refresh =
        !stats.Tables().BothHoldRows() || desk.Ask(QStringLiteral("Обновить данные"));
    if (refresh) {
        if (!run.Begin(true, true) || !run.RunSteps(kind.Refresh)) return;
        run.WaitQuiet();
        stats.LoadRecords();
    } else {
        // A closed port ends the stored path without a word.
        if (!run.Begin(false, false)) return;
        stats.LoadRecords();
        if (!run.RunSteps(kind.Stored)) return;
    }
    overview.Repaint();
    run.StartLive(kind.Live);
    desk.ShowLive(&overview);
    run.End();
    stats.Tables().Close();
}
