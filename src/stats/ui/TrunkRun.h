#pragma once
// The run of the trunk statistics ("Статистика ВК", "Статистика ИК"): from
// the button through the stored or refreshed configuration to the live
// overview, and its end.
class StatDesk;
class TrunkOverview;

// ButtonStatVKClick and ButtonStatIKClick.
void ButtonStatVKClick(StatDesk& desk);
void ButtonStatIKClick(StatDesk& desk);

// The run with the kind's overview (created by the caller, freed after).
void RunTrunkStatistics(StatDesk& desk, TrunkOverview& overview);
