#include "link/RequestSession.h"

#include "link/Ats.h"
#include "link/LineCode.h"
#include "link/RequestTracker.h"
#include "link/StepWait.h"
#include "platform/EscNotifier.h"
#include "platform/EscTracker.h"

#include <QTimer>

// The waits of one asynchronous capture: the line sending the request, then
// the bound; ctx drops a report not yet made when the session ends.
struct RequestSession::CaptureWait {
    QObject ctx;
    StepWait wait;
    QTimer bound;
    CaptureReport done;
    QMetaObject::Connection esc;
    bool waiting = false;
    unsigned generation = 0;
};

namespace {
const QString kBusy = QStringLiteral("Линия АТС занята: идет ");
const QString kSomeRequest = QStringLiteral("запрос к АТС");
} // namespace

RequestSession::RequestSession(TAts& ats, RequestTracker& tracker, QString owner)
    : RequestSession(ats, std::move(owner)) {
    if (m_refused) return; // the tracker times the session that holds the line
    m_tracker = &tracker;
    tracker.AbortRequest = false;
}

RequestSession::RequestSession(TAts& ats, QString owner)
    : m_ats(&ats), m_owner(owner.isEmpty() ? kSomeRequest : std::move(owner)), m_data(kDataSize, 0),
      m_capture(std::make_unique<CaptureWait>()) {
    if (ats.m_session) {
        m_refused = true;
        m_ats.clear();
        emit ats.lineRefused(BusyText(ats));
        return;
    }
    ats.m_session = this;
    emit ats.lineHolderChanged();
}

QString RequestSession::BusyText(const TAts& ats) {
    return ats.m_session ? kBusy + ats.m_session->m_owner : QString();
}

RequestSession::~RequestSession() {
    Release();
    if (m_tracker) m_tracker->Detach(this);
}

// Gives the line back.
void RequestSession::Release() {
    TAts* ats = m_ats.data();
    m_ats.clear();
    m_raw = nullptr;
    if (ats && ats->m_session == this) {
        ats->m_session = nullptr;
        ats->Receiver().StopFrames();
        ats->Receiver().StopCapture();
        emit ats->lineHolderChanged();
    }
    EndCapture(CaptureEnd::LineLost);
}

TAts* RequestSession::Exchange() const {
    return m_ats.data();
}

void RequestSession::ExpectFrames(int frameLen) {
    if (m_ats) m_ats->Receiver().ExpectFrames(frameLen);
}

void RequestSession::StopFrames() {
    if (m_ats) m_ats->Receiver().StopFrames();
}

bool RequestSession::FramesExpected() const {
    return m_ats && m_ats->Receiver().FramesExpected();
}

void RequestSession::Send(const QString& request) {
    if (!m_ats) return;
    AnswerTicks = 0;
    if (m_tracker) m_tracker->Sent(*this, request);
    m_ats->QueueRequest(request);
}

void RequestSession::SendContinue() {
    static const uint8_t spaces[3] = {LineCode::kSpace, LineCode::kSpace, LineCode::kSpace};
    WriteRaw(spaces, 3);
}

void RequestSession::OnDataHeader() {
    if (m_tracker) m_tracker->DataHeaderSeen();
}

void RequestSession::OnDataFrame(const uint8_t* payload, int count) {
    if (!NoContinue && FrameCounter >= 2) SendContinue();
    const size_t cap = m_data.size();
    for (int k = 0; k < count; ++k) {
        const uint8_t code = payload[k];
        if (BitMode) {
            const size_t at = size_t(k) * 4;
            if (at + 3 >= cap) break;
            m_data[at] = (code >> 1) & 1;
            m_data[at + 1] = (code >> 2) & 1;
            m_data[at + 2] = (code >> 3) & 1;
            m_data[at + 3] = (code >> 4) & 1;
        } else {
            if (size_t(k) >= cap) break;
            m_data[size_t(k)] = LineCode::Nibble(code);
        }
    }
    if (!FrameDone && Parse) Parse(m_data.data(), DataCount);
}

void RequestSession::StartCapture(const QString& prefix, int length) {
    if (m_ats) m_ats->Receiver().StartCapture(prefix, length);
}

void RequestSession::StopCapture() {
    if (m_ats) m_ats->Receiver().StopCapture();
    EndCapture(CaptureEnd::TimedOut);
}

bool RequestSession::CapturePending() const {
    return m_ats && m_ats->Receiver().CapturePending();
}

void RequestSession::OnCaptured(const QString& value) {
    CapturedValue = value;
    EndCapture(CaptureEnd::Value);
}

void RequestSession::Capture(const QString& prefix, int length, const std::function<void()>& send,
                             int timeoutMs, CaptureReport done, bool escEnds) {
    CaptureWait& c = *m_capture;
    c.wait.Stop();
    c.bound.stop();
    ++c.generation;
    QObject::disconnect(c.esc);
    c.done = std::move(done);
    c.waiting = true;
    CapturedValue.clear();
    StartCapture(prefix, length);
    if (send) send();
    if (!c.waiting) return; // ended by send()
    if (!m_ats) {
        EndCapture(CaptureEnd::LineLost);
        return;
    }
    // Esc is watched over both waits, so a press between them is not lost.
    if (escEnds) {
        if (EscTracker::IsEscDown()) {
            EndCapture(CaptureEnd::Escaped);
            return;
        }
        c.esc = QObject::connect(&EscNotifier::Instance(), &EscNotifier::pressed, &c.ctx,
                                 [this] { EndCapture(CaptureEnd::Escaped); });
    }
    c.bound.setInterval(timeoutMs);
    c.wait.ForLine(*m_ats, false, [this](StepWait::End end) {
        if (end == StepWait::End::Gone) return EndCapture(CaptureEnd::LineLost);
        m_capture->wait.ForTimer(m_capture->bound, false,
                                 [this](StepWait::End) { EndCapture(CaptureEnd::TimedOut); });
    });
}

bool RequestSession::CaptureWaiting() const {
    return m_capture->waiting;
}

void RequestSession::EndCapture(CaptureEnd end) {
    CaptureWait& c = *m_capture;
    if (!c.waiting) return;
    c.waiting = false;
    QObject::disconnect(c.esc);
    c.wait.Stop();
    c.bound.stop();
    if (end != CaptureEnd::Value && m_ats) m_ats->Receiver().StopCapture();
    const QString value = end == CaptureEnd::Value ? CapturedValue : QString();
    QMetaObject::invokeMethod(
        &c.ctx,
        [this, generation = c.generation, end, value] {
            CaptureWait& w = *m_capture;
            if (generation != w.generation) return;
            CaptureReport done = std::move(w.done);
            w.done = nullptr;
            if (done) done(end, value);
        },
        Qt::QueuedConnection);
}

void RequestSession::SetRaw(RawHandler handler) {
    m_raw = std::move(handler);
}

void RequestSession::OnRaw(const uint8_t* codes, int count) {
    if (m_raw) m_raw(codes, count);
}

void RequestSession::WriteRaw(const uint8_t* bytes, int count) {
    if (m_ats) m_ats->Link().WriteDirect(bytes, count);
}
