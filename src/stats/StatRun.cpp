#include "stats/StatRun.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/EscNotifier.h"
#include "platform/EscTracker.h"

#include <utility>

StatFields& StatContext::FieldsOf(int number) {
    if (number < 1 || number > int(Fields.size())) return m_spare;
    return Fields[size_t(number - 1)];
}

StatRun::StatRun(StatContext& ctx, StatProtocol& protocol, Hooks hooks)
    : m_ctx(ctx), m_protocol(protocol), m_hooks(std::move(hooks)), m_tracker(&ctx.Tracker) {
    m_ats = ctx.Exchanges.Current();
    m_number = m_ats ? m_ats->Number() : 0;
    m_ctx.Running = true;
    m_wake.setSingleShot(true);
    m_wake.setInterval(0);
    m_drain.setSingleShot(true);
    m_drain.setInterval(1);
    m_guard.setInterval(100);
    connect(&m_wake, &QTimer::timeout, this, &StatRun::Advance);
    connect(&m_drain, &QTimer::timeout, this, &StatRun::Advance);
    connect(&m_guard, &QTimer::timeout, this, &StatRun::Wake);
    // Frames stopped arriving; the operator answered the no-answer question
    // (these run after the tracker's own handlers); Esc went down.
    RequestTracker& t = ctx.Tracker;
    connect(t.TimerWeStillGetIt, &QTimer::timeout, this, &StatRun::Wake);
    connect(t.TimerWeStillDontGet, &QTimer::timeout, this, &StatRun::Wake);
    connect(&EscNotifier::Instance(), &EscNotifier::pressed, this, &StatRun::Wake);
}

StatRun::~StatRun() {
    if (m_finished) return;
    m_ended = true;
    SetWait(Wait::None);
    // At the program's end the tracker may be gone before the run.
    if (m_tracker) {
        m_tracker->RequestPending = false;
        m_tracker->TimerWeStillDontGet->stop();
    }
    if (m_session && m_session->Exchange()) {
        m_session->FrameDone = true;
        if (!m_session->Exchange()->IsSending()) m_session->SendContinue();
        m_session->StopFrames();
    }
    m_session.reset();
    EndProgress();
    m_ctx.Running = false;
}

TAts* StatRun::Exchange() const {
    return m_ats.data();
}

int StatRun::Number() const {
    return m_number;
}

bool StatRun::PortOpen() const {
    return m_ats && m_ats->PortIsOpen();
}

StatFields& StatRun::Fields() {
    return m_ctx.FieldsOf(m_number);
}

bool StatRun::Alive() const {
    return !m_ended && m_session && m_session->Exchange();
}

void StatRun::Cursor(bool busy) {
    if (busy == m_busyCursor) return;
    m_busyCursor = busy;
    if (m_hooks.busyCursor) m_hooks.busyCursor(busy);
}

void StatRun::Prepare() {
    m_ctx.Tracker.AbortRequest = false;
    m_ctx.Tracker.RequestPending = true;
}

bool StatRun::Begin(bool report, bool showProgress) {
    if (m_ended) return false;
    if (!PortOpen()) {
        if (report && m_hooks.status)
            m_hooks.status(QStringLiteral("Порт закрыт. Продолжение невозможно"));
        End();
        return false;
    }
    m_session = std::make_unique<RequestSession>(*m_ats, m_ctx.Tracker, m_ctx.Owner);
    if (m_session->Refused()) {
        End();
        return false;
    }
    if (showProgress && m_hooks.showProgress) {
        m_hooks.showProgress();
        m_progressShown = true;
    }
    m_session->Parse = [this](const uint8_t* data, int code) { Parse(data, code); };
    m_session->NoContinue = false;
    m_session->BitMode = false;
    m_session->ExpectFrames(3);
    Cursor(true);
    return true;
}

void StatRun::Send(const StatStep& step) {
    RequestSession& s = *m_session;
    s.NoContinue = step.live || step.noContinue;
    s.BitMode = step.bitMode;
    s.ExpectFrames(step.FrameLen());
    s.DataCount = step.code;
    s.FrameDone = false;
    s.FrameCounter = 0;
    m_decoded = false;
    s.Send(StepDirective(step, Fields()));
}

void StatRun::SetWait(Wait wait) {
    m_wait = wait;
    if (wait == Wait::None) {
        m_guard.stop();
        m_wake.stop();
        m_drain.stop();
    } else if (!m_guard.isActive()) {
        m_guard.start();
    }
}

void StatRun::Wake() {
    if (m_wait != Wait::None) m_wake.start();
}

void StatRun::RunSteps(std::vector<StatStep> steps, std::function<void()> done) {
    if (!Alive()) return End();
    m_steps = std::move(steps);
    m_next = 0;
    m_stepsDone = std::move(done);
    NextStep();
}

void StatRun::NextStep() {
    SetWait(Wait::None);
    // Esc held: no further request goes out.
    if (!Alive() || EscTracker::IsEscDown()) return End();
    if (m_next == m_steps.size()) {
        m_steps.clear();
        if (auto done = std::exchange(m_stepsDone, nullptr)) done();
        return;
    }
    Send(m_steps[m_next++]);
    SetWait(Wait::Frame);
}

void StatRun::Advance() {
    RequestTracker& t = m_ctx.Tracker;
    switch (m_wait) {
    case Wait::None:
        return;
    case Wait::Frame: {
        if (!Alive()) return End();
        if (!m_session->FrameDone) {
            if (t.AbortRequest || EscTracker::IsEscDown()) End();
            return;
        }
        const StatStep& step = m_steps[m_next - 1];
        if (step.progress >= 0 && m_hooks.setProgress) m_hooks.setProgress(step.progress);
        // Without the continuation the exchange repeats its frames until the
        // next request: waiting for a quiet line would never end.
        if (m_session->NoContinue) return NextStep();
        SetWait(Wait::StepQuiet);
        [[fallthrough]];
    }
    case Wait::StepQuiet:
        if (!Alive() || EscTracker::IsEscDown()) return End();
        if (!t.FramesArriving()) NextStep();
        return;
    case Wait::Request:
        if (Alive() && !m_session->FrameDone && !t.AbortRequest) return;
        SetWait(Wait::None);
        if (auto done = std::exchange(m_requestDone, nullptr)) done(Alive() && m_decoded);
        return;
    case Wait::Drain: {
        TAts* ats = m_session ? m_session->Exchange() : nullptr;
        if (ats && ats->IsSending()) {
            m_drain.start();
            return;
        }
        if (ats) {
            m_session->NoContinue = false;
            m_session->FrameCounter = 2; // every frame still coming sends the continuation
        }
        SetWait(Wait::Quiet);
        [[fallthrough]];
    }
    case Wait::Quiet: {
        TAts* ats = m_session ? m_session->Exchange() : nullptr;
        if (ats && t.FramesArriving() && !EscTracker::IsEscDown()) return;
        if (ats) m_session->SendContinue();
        SetWait(Wait::None);
        if (auto done = std::exchange(m_quietDone, nullptr)) done();
        return;
    }
    }
}

void StatRun::StartLive(const StatStep& step) {
    if (!Alive()) return;
    StatStep live = step;
    live.live = true;
    m_ctx.Tracker.RequestPending = true;
    Send(live);
    EndProgress();
}

void StatRun::Request(const StatStep& step, std::function<void(bool decoded)> done) {
    if (!Alive()) {
        if (done) done(false);
        return;
    }
    RequestTracker& t = m_ctx.Tracker;
    t.AbortRequest = false; // an earlier abort must not end this request unasked
    t.RequestPending = true;
    m_requestDone = std::move(done);
    Send(step);
    SetWait(Wait::Request);
}

void StatRun::StopDecoding() {
    if (m_session) m_session->FrameDone = true;
    Wake();
}

void StatRun::Pause(std::function<void()> done) {
    if (!Alive()) {
        if (done) done();
        return;
    }
    m_requestDone = nullptr;
    Quiet([this, done = std::move(done)] {
        m_session->StopFrames();
        EndProgress();
        if (done) done();
    });
}

void StatRun::EndProgress() {
    Cursor(false);
    if (m_progressShown && m_hooks.hideProgress) m_hooks.hideProgress();
    m_progressShown = false;
}

void StatRun::Parse(const uint8_t* data, int code) {
    m_ctx.Tracker.TimerWeStillDontGet->stop(); // a frame has arrived
    if (m_protocol.FrameArrived) m_protocol.FrameArrived();
    const StatStep* step = m_protocol.Step(code);
    if (!step || !m_session) return;
    RequestSession& s = *m_session;
    m_protocol.Frame(*step, data, Fields());
    if (step->live) {
        m_protocol.Decode(*step, data, Fields());
        return;
    }
    if (s.FrameCounter < 2) {
        ++s.FrameCounter; // the first two frames of a request are not used
        return;
    }
    if (!step->writesTables || s.FrameCounter == 2) m_protocol.Decode(*step, data, Fields());
    m_decoded = true;
    s.FrameDone = true;
    Wake();
}

// The end of the requests: nothing more is decoded, and once a request still
// leaving the port has gone (the spaces would cut it) and the line is quiet,
// the continuation spaces stop the exchange repeating.
void StatRun::Quiet(std::function<void()> then) {
    RequestTracker& t = m_ctx.Tracker;
    t.RequestPending = false;
    t.TimerWeStillDontGet->stop();
    RequestSession& s = *m_session;
    s.FrameDone = true;  // nothing more reaches the protocol
    s.NoContinue = true; // no spaces from the frames while the line drains
    m_quietDone = std::move(then);
    SetWait(Wait::Drain);
    Advance();
}

void StatRun::End() {
    if (m_ended) return;
    m_ended = true;
    m_steps.clear();
    m_stepsDone = nullptr;
    m_requestDone = nullptr;
    m_quietDone = nullptr;
    SetWait(Wait::None);
    RequestTracker& t = m_ctx.Tracker;
    t.RequestPending = false;
    t.TimerWeStillDontGet->stop();
    if (m_session && m_session->Exchange())
        Quiet([this] { Finish(); });
    else
        Finish();
}

void StatRun::Finish() {
    if (m_session) m_session->StopFrames();
    m_session.reset();
    EndProgress();
    m_finished = true;
    m_ctx.Running = false;
    emit ended();
}
