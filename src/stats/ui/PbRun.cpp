#include "stats/ui/PbRun.h"

#include "stats/StatRun.h"
#include "stats/ui/StatDesk.h"
#include "stats/ui/UnitPB.h"

void ButtonStatPBClick(StatDesk& desk) {
    {
        TFormStatPB window;
        RunBatteryStatistics(desk, window);
    } // the window and the protocol object are freed
    desk.RestoreMain();
}

void RunBatteryStatistics(StatDesk& desk, TFormStatPB& window) {
    StatRun run(desk.Context(), window.Stats(), desk.Hooks());
    run.Prepare();
    if (!run.Begin(true, true) || !run.RunStep(TStatPbAts::CountStep())) return;
    const int last = run.Fields().PbLastKit;
    if (!run.RunSteps(TStatPbAts::TableSteps(last))) return;
    run.StartLive(TStatPbAts::BusyStep(last));
    window.ShowReceivers(last);
    window.Hidden = [&run] { run.StopDecoding(); };
    desk.ShowLive(&window);
    window.Hidden = nullptr;
    run.End();
}
