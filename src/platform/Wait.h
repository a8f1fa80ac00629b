#pragma once
// Waits that keep the window alive: the event loop runs (and sleeps between
// events) until the condition turns false. Handlers run inside such a wait and
// must tolerate re-entry.
#include <QObject>

#include <functional>

// Runs the event loop while cond() is true. With escEnds, a held Esc key ends
// the wait early. Returns true when the condition ended the wait, false when
// Esc did. Sleeps between events: no CPU is used while nothing happens.
bool WaitWhile(const std::function<bool()>& cond, bool escEnds);

// The program is shutting down: every running wait, and every later one,
// returns false at once so the message loop can unwind and the window close.
// EndWaits(false) lets waits run again (tests).
void EndWaits(bool end = true);

// Runs the event loop for about ms milliseconds (Esc ends it when escEnds).
bool WaitFor(int ms, bool escEnds);

// Application-wide tracking of the Esc key. Install once after the
// application object exists; IsEscDown() answers "is Esc held now", and
// EscNotifier (platform/EscNotifier.h) tells when it goes down.
namespace EscTracker {
void Install();
bool IsEscDown();
void SetEscDown(bool down); // tests and synthetic input
} // namespace EscTracker

