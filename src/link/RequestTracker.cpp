#include "link/RequestTracker.h"

#include "link/RequestSession.h"

#include <QTimer>

RequestTracker::RequestTracker(QObject* parent) : QObject(parent) {
    auto make = [this](const char* name, int ms, bool single, void (RequestTracker::*tick)()) {
        auto* t = new QTimer(this);
        t->setObjectName(QLatin1String(name));
        t->setInterval(ms);
        t->setSingleShot(single);
        connect(t, &QTimer::timeout, this, tick);
        return t;
    };
    TimerStat = make("TimerStat", 100, false, &RequestTracker::TimerStatTimer);
    TimerWeStillGetIt =
        make("TimerWeStillGetIt", 2000, true, &RequestTracker::TimerWeStillGetItTimer);
    TimerWeStillDontGet =
        make("TimerWeStillDontGet", 10000, true, &RequestTracker::TimerWeStillDontGetTimer);
    TimerReceiveData = make("TimerReceiveData", 40, true, &RequestTracker::TimerReceiveDataTimer);
}

RequestTracker::~RequestTracker() {
    if (m_current) m_current->m_tracker = nullptr;
}

void RequestTracker::SetWatchdogInterval(int ms) {
    if (ms > 0) TimerWeStillDontGet->setInterval(ms);
}

bool RequestTracker::FramesArriving() const {
    return TimerWeStillGetIt->isActive();
}

void RequestTracker::Sent(RequestSession& s, const QString& text) {
    m_current = &s;
    TimerStat->start();
    if (RequestPending) {
        TimerWeStillDontGet->start();
        LastRequest = text;
    }
}

void RequestTracker::DataHeaderSeen() {
    TimerWeStillGetIt->start();
    if (ProgressVisible && ProgressVisible()) {
        emit indicator(true);
        TimerReceiveData->start();
    }
}

void RequestTracker::Detach(RequestSession* s) {
    if (m_current != s) return;
    m_current = nullptr;
    TimerStat->stop();
    TimerWeStillDontGet->stop();
    RequestPending = false;
}

void RequestTracker::TimerStatTimer() {
    RequestSession* s = m_current;
    if (!s || !s->Exchange()) {
        TimerStat->stop();
    } else if (!s->CapturePending() && s->FrameDone) {
        TimerStat->stop();
    } else if (s->AnswerTicks < 100) {
        s->AnswerTicks += 1;
    } else {
        TimerStat->stop();
        s->StopCapture();
    }
}

void RequestTracker::TimerWeStillGetItTimer() {
    TimerWeStillGetIt->stop();
}

void RequestTracker::TimerReceiveDataTimer() {
    TimerReceiveData->stop();
    emit indicator(false);
}

void RequestTracker::TimerWeStillDontGetTimer() {
    TimerWeStillDontGet->stop();
    const NoAnswer answer = AskNoAnswer ? AskNoAnswer() : NoAnswer::Cancel;
    if (answer == NoAnswer::Retry) {
        if (m_current && m_current->Exchange()) m_current->Send(LastRequest);
        TimerWeStillDontGet->start();
    } else if (answer == NoAnswer::Abort) {
        AbortRequest = true;
    }
}
