#include "link/RequestSession.h"

#include "link/Ats.h"
#include "link/LineCode.h"
#include "link/RequestTracker.h"
#include "platform/Wait.h"

#include <QElapsedTimer>

RequestSession::RequestSession(TAts& ats, RequestTracker& tracker) : RequestSession(ats) {
    m_tracker = &tracker;
    tracker.AbortRequest = false;
}

RequestSession::RequestSession(TAts& ats) : m_ats(&ats), m_data(kDataSize, 0) {
    if (RequestSession* before = ats.m_session) before->Release();
    ats.m_session = this;
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
    if (!ats || ats->m_session != this) return;
    ats->m_session = nullptr;
    ats->Receiver().StopFrames();
    ats->Receiver().StopCapture();
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
}

bool RequestSession::CapturePending() const {
    return m_ats && m_ats->Receiver().CapturePending();
}

void RequestSession::OnCaptured(const QString& value) {
    CapturedValue = value;
}

std::optional<QString> RequestSession::Capture(const QString& prefix, int length,
                                               const std::function<void()>& send, int timeoutMs,
                                               bool escEnds) {
    CapturedValue.clear();
    StartCapture(prefix, length);
    if (send) send();
    QElapsedTimer t;
    t.start();
    WaitWhile([&] { return CapturePending() && t.elapsed() < timeoutMs; }, escEnds);
    if (!m_ats) return std::nullopt;
    if (CapturePending()) {
        StopCapture();
        return std::nullopt;
    }
    return CapturedValue;
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
