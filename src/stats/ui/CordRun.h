#pragma once
// The run of the cord kit statistics ("Статистика ИШК", "Статистика ВШК"):
// the rack overview, then any number of racks opened in the live detail
// window.
class CordOverview;
class StatDesk;

// ButtonStatISKClick and ButtonStatVSKClick.
void ButtonStatISKClick(StatDesk& desk);
void ButtonStatVSKClick(StatDesk& desk);

// The run with the kind's overview (created by the caller, freed after).
void RunCordStatistics(StatDesk& desk, CordOverview& overview);
