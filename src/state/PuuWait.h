#pragma once
// The wait between the state analysis's directives: TimerPuuWait (6000 ms,
// single shot) is started and window messages are handled until it fires.
// A held Esc ends the wait early. No core is used while it waits.
class QTimer;

// True when the timer fired, false when Esc (or the program's end) cut the
// wait short; the timer is then stopped.
bool PuuWait(QTimer& timer);
