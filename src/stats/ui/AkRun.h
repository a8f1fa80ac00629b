#pragma once
// The run of the subscriber kit statistics ("Статистика АК"): the block
// overview, then any number of blocks opened in the detail window, each
// refreshed by the detail's TimerStatAK (30 s) while it is shown.
class StatDesk;

// ButtonStatAKClick: the run starts (it goes on on the event loop; the desk
// keeps it until it ends).
void ButtonStatAKClick(StatDesk& desk);
