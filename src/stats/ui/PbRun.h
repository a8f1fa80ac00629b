#pragma once
// The run of the battery receiver statistics ("Статистика ПБ"): the count,
// the excluded and blocked bits, then the busy bits live until the window is
// closed.
class StatDesk;

// ButtonStatPBClick: the run starts (it goes on on the event loop; the desk
// keeps it until it ends).
void ButtonStatPBClick(StatDesk& desk);
