#pragma once
// The run of the subscriber kit statistics ("Статистика АК"): the block
// overview, then any number of blocks opened in the detail window, each
// refreshed by TimerStatAK (30 s) while it is shown.
class StatDesk;
class TFormStatAK;

// ButtonStatAKClick.
void ButtonStatAKClick(StatDesk& desk);

// The run with the overview (created by the caller, freed after).
void RunSubscriberStatistics(StatDesk& desk, TFormStatAK& overview);
