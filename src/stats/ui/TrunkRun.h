#pragma once
// The run of the trunk statistics ("Статистика ВК", "Статистика ИК"): from
// the button through the stored or refreshed configuration to the live
// overview, and its end.
class StatDesk;

// ButtonStatVKClick and ButtonStatIKClick: the run starts (it goes on on the
// event loop; the desk keeps it until it ends).
void ButtonStatVKClick(StatDesk& desk);
void ButtonStatIKClick(StatDesk& desk);
