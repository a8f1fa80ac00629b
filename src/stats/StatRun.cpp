#include "stats/StatRun.h"

#include "link/Ats.h"
#include "link/ExchangeSet.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Wait.h"

#include <QTimer>

StatFields& StatContext::FieldsOf(int number) {
    if (number < 1 || number > int(Fields.size())) return m_spare;
    return Fields[size_t(number - 1)];
}

StatRun::StatRun(StatContext& ctx, StatProtocol& protocol, Hooks hooks)
    : m_ctx(ctx), m_protocol(protocol), m_hooks(std::move(hooks)) {
    m_ats = ctx.Exchanges.Current();
    m_number = m_ats ? m_ats->Number() : 0;
    m_ctx.Running = true;
}

StatRun::~StatRun() {
    End();
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
    if (showProgress && m_hooks.showProgress) {
        m_hooks.showProgress();
        m_progressShown = true;
    }
    m_session = std::make_unique<RequestSession>(*m_ats, m_ctx.Tracker);
    m_session->Parse = [this](const uint8_t* data, int code) { Parse(data, code); };
    m_session->NoContinue = false;
    m_session->BitMode = false;
    m_session->ExpectFrames(3);
    Cursor(true);
    return true;
}

void StatRun::Send(const StatStep& step) {
    RequestSession& s = *m_session;
    s.NoContinue = step.live;
    s.BitMode = step.bitMode;
    s.ExpectFrames(step.FrameLen());
    s.DataCount = step.code;
    s.FrameDone = false;
    s.FrameCounter = 0;
    m_decoded = false;
    s.Send(StepDirective(step, Fields()));
}

bool StatRun::RunStep(const StatStep& step) {
    if (!Alive()) {
        End();
        return false;
    }
    RequestSession& s = *m_session;
    Send(step);
    RequestTracker& t = m_ctx.Tracker;
    WaitWhile([&] { return Alive() && !s.FrameDone && !t.AbortRequest; }, true);
    if (!Alive() || !s.FrameDone) {
        End();
        return false;
    }
    if (step.progress >= 0 && m_hooks.setProgress) m_hooks.setProgress(step.progress);
    // Without the continuation the exchange repeats its frames until the
    // next request: waiting for a quiet line would never end.
    if (!s.NoContinue) WaitQuiet();
    return true;
}

bool StatRun::RunSteps(const std::vector<StatStep>& steps) {
    for (const StatStep& step : steps)
        if (!RunStep(step)) return false;
    return !m_ended;
}

void StatRun::WaitQuiet() {
    RequestTracker& t = m_ctx.Tracker;
    WaitWhile([&] { return Alive() && t.FramesArriving(); }, true);
}

void StatRun::StartLive(const StatStep& step) {
    if (!Alive()) return;
    StatStep live = step;
    live.live = true;
    m_ctx.Tracker.RequestPending = true;
    Send(live);
    EndProgress();
}

bool StatRun::Request(const StatStep& step, bool escEnds) {
    if (!Alive()) return false;
    RequestTracker& t = m_ctx.Tracker;
    t.AbortRequest = false; // an earlier abort must not end this request unasked
    t.RequestPending = true;
    RequestSession& s = *m_session;
    Send(step);
    WaitWhile([&] { return Alive() && !s.FrameDone && !t.AbortRequest; }, escEnds);
    return Alive() && m_decoded;
}

void StatRun::StopDecoding() {
    if (m_session) m_session->FrameDone = true;
}

void StatRun::Pause() {
    if (!Alive()) return;
    Quiet();
    m_session->StopFrames();
    EndProgress();
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
}

// The end of the requests: nothing more is decoded, the exchange stops
// repeating (the continuation spaces once the line is quiet).
void StatRun::Quiet() {
    RequestTracker& t = m_ctx.Tracker;
    t.RequestPending = false;
    t.TimerWeStillDontGet->stop();
    RequestSession& s = *m_session;
    s.FrameDone = true; // nothing more reaches the protocol
    s.NoContinue = false;
    s.FrameCounter = 2; // every frame still coming sends the continuation
    // A request still leaving the queue would be cut by the spaces.
    WaitWhile([&] { return s.Exchange() && s.Exchange()->IsSending(); }, true);
    WaitWhile([&] { return s.Exchange() && t.FramesArriving(); }, true);
    s.SendContinue();
}

void StatRun::End() {
    if (m_ended) return;
    m_ended = true;
    RequestTracker& t = m_ctx.Tracker;
    t.RequestPending = false;
    t.TimerWeStillDontGet->stop();
    if (m_session && m_session->Exchange()) {
        Quiet();
        m_session->StopFrames();
    }
    m_session.reset();
    EndProgress();
    m_ctx.Running = false;
}
