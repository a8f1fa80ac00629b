#pragma once
// The run of the cord kit statistics ("Статистика ИШК", "Статистика ВШК"):
// the rack overview, then any number of racks opened in the live detail
// window.
class StatDesk;

// ButtonStatISKClick and ButtonStatVSKClick: the run starts (it goes on on
// the event loop; the desk keeps it until it ends).
void ButtonStatISKClick(StatDesk& desk);
void ButtonStatVSKClick(StatDesk& desk);
