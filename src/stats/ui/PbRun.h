#pragma once
// The run of the battery receiver statistics ("Статистика ПБ"): the count,
// the excluded and blocked bits, then the busy bits live until the window is
// closed.
class StatDesk;
class TFormStatPB;

// ButtonStatPBClick.
void ButtonStatPBClick(StatDesk& desk);

// The run with the window (created by the caller, freed after).
void RunBatteryStatistics(StatDesk& desk, TFormStatPB& window);
