#include "platform/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace {
bool g_escDown = false;
bool g_endWaits = false;
} // namespace

bool EscTracker::IsEscDown() {
    return g_escDown;
}
void EscTracker::SetEscDown(bool down) {
    const bool pressed = down && !g_escDown;
    g_escDown = down;
    if (pressed) emit EscNotifier::Instance().pressed();
}

EscNotifier& EscNotifier::Instance() {
    static EscNotifier notifier;
    return notifier;
}

bool WaitWhile(const std::function<bool()>& cond, bool escEnds) {
    if (!QCoreApplication::instance()) {
        // No event loop (command-line use): plain sleeps.
        while (cond())
            QThread::msleep(10);
        return true;
    }
    // A slow heartbeat makes sure conditions that change without an event
    // (a port's output buffer draining) are looked at again.
    QTimer heartbeat;
    heartbeat.setInterval(10);
    heartbeat.start();
    while (cond()) {
        if (g_endWaits) return false;
        if (escEnds && EscTracker::IsEscDown()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void EndWaits(bool end) {
    g_endWaits = end;
}

bool WaitFor(int ms, bool escEnds) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms);
    return WaitWhile([&] { return t.elapsed() < ms; }, escEnds);
}
