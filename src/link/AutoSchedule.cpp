#include "link/AutoSchedule.h"

#include "link/AtsSettings.h"
#include "platform/Clock.h"

#include <QTimer>

AutoSchedule::AutoSchedule(QObject* parent) : QObject(parent) {
    AutoTimer = new QTimer(this);
    AutoTimer->setInterval(3600000);
    // A coarse timer of a long interval may fire up to a second early: the
    // run would start before its time of day and, ending within that second,
    // be armed again for the same time.
    AutoTimer->setTimerType(Qt::PreciseTimer);
    PauseTimer = new QTimer(this);
    PauseTimer->setInterval(1000);
    PauseTimer->setSingleShot(true);
    connect(AutoTimer, &QTimer::timeout, this, &AutoSchedule::due);
}

AutoSchedule::~AutoSchedule() {
    Stop();
}

void AutoSchedule::Apply(const AtsSettings& s) {
    if (s.AutoIn) ArmRunAt(s.AutoInTime);
    if (s.AutoEvery) {
        AutoTimer->setInterval(s.AutoEveryTime);
        AutoTimer->start();
    }
}

void AutoSchedule::ArmRunAt(int runAtMs) {
    const int now = Clock::Now().time().msecsSinceStartOfDay();
    AutoTimer->setInterval(now <= runAtMs ? runAtMs - now : runAtMs + 86400000 - now);
    AutoTimer->start();
}

void AutoSchedule::Stop() {
    AutoTimer->stop();
    PauseTimer->stop();
}
