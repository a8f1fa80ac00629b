#pragma once
// Application-wide tracking of the Esc key. The key filter (platform/ui/EscKey.h)
// is installed once after the application object exists; IsEscDown() answers
// "is Esc held now", and EscNotifier (platform/EscNotifier.h) tells when it
// goes down, so a waiting sequence is woken instead of looking at the key.
namespace EscTracker {
bool IsEscDown();
void SetEscDown(bool down); // the key filter, tests and synthetic input
} // namespace EscTracker
