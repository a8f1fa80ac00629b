#include "link/StepWait.h"

#include "link/Ats.h"
#include "platform/EscNotifier.h"
#include "platform/EscTracker.h"

#include <QTimer>

StepWait::StepWait(QObject* parent) : QObject(parent) {}

StepWait::~StepWait() {
    Stop();
}

bool StepWait::Begin(bool escEnds, Report done) {
    Stop();
    m_done = std::move(done);
    m_active = true;
    if (!escEnds) return true;
    if (EscTracker::IsEscDown()) {
        Finish(End::Escaped);
        return false;
    }
    m_links.push_back(connect(&EscNotifier::Instance(), &EscNotifier::pressed, this,
                              [this] { Finish(End::Escaped); }));
    return true;
}

void StepWait::ForLine(TAts& ats, bool escEnds, Report done) {
    if (!Begin(escEnds, std::move(done))) return;
    if (!ats.IsSending()) {
        Finish(End::Done);
        return;
    }
    m_links.push_back(connect(&ats.Link(), &Line::drained, this, [this] { Finish(End::Done); }));
    m_links.push_back(connect(&ats, &QObject::destroyed, this, [this] { Finish(End::Gone); }));
}

void StepWait::ForTimer(QTimer& timer, bool escEnds, Report done) {
    if (!Begin(escEnds, std::move(done))) return;
    m_timer = &timer;
    timer.setSingleShot(true);
    m_links.push_back(connect(&timer, &QTimer::timeout, this, [this] { Finish(End::Done); }));
    timer.start();
}

void StepWait::Stop() {
    ++m_generation;
    Disconnect();
    if (m_timer) m_timer->stop();
    m_timer.clear();
    m_done = nullptr;
    m_active = false;
    m_ending = false;
}

void StepWait::Disconnect() {
    for (const QMetaObject::Connection& c : m_links)
        disconnect(c);
    m_links.clear();
}

void StepWait::Finish(End end) {
    if (!m_active || m_ending) return;
    m_ending = true;
    Disconnect();
    if (m_timer && end != End::Done) m_timer->stop();
    m_timer.clear();
    const unsigned generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, end] {
            if (generation != m_generation) return;
            Report done = std::move(m_done);
            m_done = nullptr;
            m_active = false;
            m_ending = false;
            if (done) done(end);
        },
        Qt::QueuedConnection);
}
