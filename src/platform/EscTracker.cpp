#include "platform/EscTracker.h"

#include "platform/EscNotifier.h"

namespace {
bool g_escDown = false;
} // namespace

bool EscTracker::IsEscDown() {
    return g_escDown;
}

void EscTracker::SetEscDown(bool down) {
    const bool pressed = down && !g_escDown;
    g_escDown = down;
    if (pressed) emit EscNotifier::Instance().pressed();
}
