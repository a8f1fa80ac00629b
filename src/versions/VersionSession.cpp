#include "versions/VersionSession.h"

#include <limits>

VersionSession::VersionSession(QObject* parent) : QObject(parent) {
    m_clock.start();
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    m_poll.setSingleShot(true);
    m_poll.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { Deadline(); });
}

bool VersionSession::TakeOver(VersionLine* line) {
    if (m_holding) GiveBack();
    m_line = line;
    if (!line) return false;
    m_holding =
        line->TakeOver({[this](uint8_t c) { Code(uint8_t(c & 31)); }, [this] { Lost(); }, Owner()});
    return m_holding;
}

bool VersionSession::GiveBack() {
    Stop();
    if (!m_line || !m_holding) return m_line && m_line->IsOpen();
    m_holding = false;
    return m_line->GiveBack();
}

void VersionSession::Schedule(int64_t deadline) {
    if (deadline == std::numeric_limits<int64_t>::max()) {
        m_deadline.stop();
        return;
    }
    m_deadline.start(int(std::clamp<int64_t>(deadline - Now(), 0, 60000)));
}

void VersionSession::Lost() {
    Stop();
    emit lineLost();
}

// --- Sending ---------------------------------------------------------------

VersionSendSession::VersionSendSession(QObject* parent) : VersionSession(parent) {
    m_sender.OnSendFrame = [this] { WriteFrame(); };
    m_sender.OnBlock = [this](const VersionSender::Block& b) { emit block(b); };
    m_sender.OnDelay = [this](int delay) { emit delayChanged(delay); };
    m_sender.OnCompleted = [this] {
        Stop();
        emit completed();
    };
    m_sender.OnFailed = [this](const QString& message) {
        Stop();
        emit failed(message);
    };
    m_sender.OnGaveUp = [this] {
        Stop();
        emit gaveUp();
    };
    connect(&m_poll, &QTimer::timeout, this, &VersionSendSession::Continue);
}

VersionSender::StartResult VersionSendSession::Start(const QString& path, Vers::Type type) {
    Stop();
    m_sender.SetType(type);
    m_sender.SetSimplex(!m_line || !m_line->Duplex());
    const auto result = m_sender.Start(path, Now());
    Schedule(m_sender.NextDeadline());
    return result;
}

void VersionSendSession::Stop() {
    m_sender.Stop();
    m_held.clear();
    m_poll.stop();
    m_deadline.stop();
}

void VersionSendSession::Close() {
    Stop();
    m_sender.Close();
}

void VersionSendSession::Code(uint8_t code) {
    if (!m_sender.Running()) return;
    if (m_sender.Sending()) {
        // Codes that came while the frame was being written are stale; once
        // it is all written, the exchange may answer it while it drains.
        if (m_written == Vers::kFrameChars) m_held.push_back(code);
        return;
    }
    m_sender.Receive(code, Now());
    Schedule(m_sender.NextDeadline());
}

void VersionSendSession::Deadline() {
    m_sender.Tick(Now());
    Schedule(m_sender.NextDeadline());
}

void VersionSendSession::WriteFrame() {
    m_frame = m_sender.CurrentFrame();
    m_written = 0;
    m_held.clear();
    // A simplex line gets a pause after each character once the exchange has
    // asked for repeats; the pause is kept by the clock, not by spinning.
    m_pauseNs = m_line && !m_line->Duplex() ? VersionSender::PauseNs(m_sender.Delay()) : 0;
    m_pace.start();
    m_drainFrom = -1;
    Continue();
}

bool VersionSendSession::WriteDue() {
    int due = Vers::kFrameChars;
    if (m_pauseNs > 0)
        due = int(std::min<int64_t>(Vers::kFrameChars, m_pace.nsecsElapsed() / m_pauseNs + 1));
    if (due <= m_written) return true;
    if (!m_line || !m_line->Write(m_frame.data() + m_written, due - m_written)) return false;
    m_written = due;
    return true;
}

void VersionSendSession::Continue() {
    if (!m_sender.Sending()) return;
    if (m_written < Vers::kFrameChars) {
        if (!WriteDue()) return Lost();
        if (m_written < Vers::kFrameChars) {
            const int64_t nextNs = int64_t(m_written) * m_pauseNs - m_pace.nsecsElapsed();
            m_poll.start(int(std::clamp<int64_t>(nextNs / 1000000, 1, 1000)));
            return;
        }
    }
    // A duplex frame is done when it has left the port, or when the line has
    // held it back for the bound (clear-to-send kept low): then it is dropped
    // and the answer time-out sends it again.
    if (m_line->Duplex() && m_line->IsSending()) {
        if (m_drainFrom < 0) m_drainFrom = Now();
        if (Now() - m_drainFrom < DrainBoundMs) {
            m_poll.start(1);
            return;
        }
        m_line->DropOutput();
    }
    m_sender.FrameWritten(Now());
    Schedule(m_sender.NextDeadline());
    std::vector<uint8_t> held;
    held.swap(m_held);
    for (uint8_t c : held)
        Code(c);
}

// --- Receiving -------------------------------------------------------------

VersionGetSession::VersionGetSession(QObject* parent) : VersionSession(parent) {
    m_receiver.OnAnswer = [this](uint8_t code) { Answer(code); };
    m_receiver.OnStore = [this](const Vers::Record& r) { return m_work.Append(r); };
    m_receiver.OnBlock = [this](const VersionReceiver::Block& b) {
        if (m_firstBlockAt < 0) m_firstBlockAt = Now();
        emit block(b);
    };
    m_receiver.OnCompleted = [this] {
        m_deadline.stop();
        if (m_work.Commit())
            emit completed();
        else
            emit failed(QStringLiteral("Cant write"));
    };
    m_receiver.OnGaveUp = [this] {
        Stop();
        emit gaveUp();
    };
    m_receiver.OnFailed = [this](const QString& message) {
        Stop();
        emit failed(message);
    };
    connect(&m_poll, &QTimer::timeout, this, &VersionGetSession::Drain);
}

bool VersionGetSession::Start(const QString& folder) {
    Stop();
    if (!m_line || !m_work.Begin(folder)) return false;
    m_firstBlockAt = -1;
    m_receiver.Start(Now());
    Schedule(m_receiver.NextDeadline());
    return true;
}

void VersionGetSession::Stop() {
    m_receiver.Stop();
    m_work.Cancel();
    m_pending.clear();
    m_poll.stop();
    m_deadline.stop();
}

void VersionGetSession::Code(uint8_t code) {
    if (!m_receiver.Running()) return;
    m_receiver.Receive(&code, 1, Now());
    Schedule(m_receiver.NextDeadline());
}

void VersionGetSession::Deadline() {
    m_receiver.Tick(Now());
    Schedule(m_receiver.NextDeadline());
}

void VersionGetSession::Answer(uint8_t code) {
    m_pending.push_back(code);
    Drain();
}

void VersionGetSession::Drain() {
    if (!m_line || m_pending.empty()) return;
    // On a duplex line an answer waits until what went before has left.
    if (m_line->Duplex() && m_line->IsSending()) {
        m_poll.start(1);
        return;
    }
    std::vector<uint8_t> out;
    out.swap(m_pending);
    if (!m_line->Write(out.data(), int(out.size()))) Lost();
}
