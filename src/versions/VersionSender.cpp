#include "versions/VersionSender.h"

#include <limits>

namespace {
const QString kReadError = QStringLiteral("Ошибка чтения файла версии");
} // namespace

VersionSender::StartResult VersionSender::Start(const QString& path, int64_t now) {
    Close();
    m_phase = Phase::Idle;
    m_timeoutArmed = false;
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) return StartResult::CannotOpen;
    // A file of whole records only: a short last record would otherwise stop
    // the load half-way, with the exchange holding part of the version.
    const qint64 size = m_file.size();
    if (size <= 0 || size % Vers::kRecordBytes != 0) {
        m_file.close();
        return StartResult::BadFile;
    }
    m_count = int(std::min<qint64>(size / Vers::kRecordBytes, std::numeric_limits<int>::max()));
    m_delay = 0;
    m_ramPhase = true;
    m_area = 0;
    m_address = 0;
    m_mainStart = -1;
    m_index = 0;
    m_framesSent = 0;
    if (!m_file.seek(0)) {
        m_file.close();
        return StartResult::CannotReset;
    }
    if (!NextBlock(now)) {
        m_file.close();
        return StartResult::BadFile;
    }
    m_phase = Phase::Waiting;
    m_silent = 0;
    return StartResult::Started;
}

void VersionSender::Stop() {
    m_phase = Phase::Idle;
    m_timeoutArmed = false;
}

void VersionSender::Close() {
    Stop();
    if (m_file.isOpen()) m_file.close();
}

// Reads the next record, tracks the area and builds its frame.
bool VersionSender::NextBlock(int64_t now) {
    Vers::Record r{};
    if (m_file.read(reinterpret_cast<char*>(r.data()), Vers::kRecordBytes) != Vers::kRecordBytes)
        return false;
    ++m_index;
    m_address = Vers::Address(r);
    const uint32_t a = uint32_t(m_address);
    if (a >= 0x1F00 && a < 0x4000) m_area = 1;
    if (a == 0x8000 && !m_ramPhase) ++m_area;
    if (a >= 0x4000 && a <= 0x8000 && m_ramPhase) {
        m_area = 2;
        m_ramPhase = false;
        m_mainStart = now;
    }
    if (OnBlock) OnBlock({uint16_t(a), m_area, Vers::ProgressPos(m_area, a), m_index, m_count});
    // The stored checksum is not trusted: it is made again with the bank code
    // of this type.
    const uint8_t bank = Vers::BankCode(m_area, m_type);
    Vers::SetSum(r, uint16_t(Vers::BlockSum(r) + bank));
    m_frame = Vers::EncodeFrame(bank, r);
    return true;
}

void VersionSender::Receive(uint8_t code, int64_t now) {
    if (m_phase != Phase::Waiting) return;
    code &= 31;
    m_timeoutArmed = false;
    if (code == Vers::kAnswerNext || code == Vers::kAnswerAgain) m_silent = 0;
    if (code == Vers::kAnswerNext) {
        if (AtEnd()) return Complete();
        if (!NextBlock(now)) return Fail(kReadError);
        while (Vers::Skipped(uint32_t(m_address))) {
            // Nothing is left after the skipped blocks: the load is complete.
            if (AtEnd()) return Complete();
            if (!NextBlock(now)) return Fail(kReadError);
        }
        return Send();
    }
    if (code == Vers::kAnswerAgain) {
        if (m_simplex && m_ramPhase && m_delay < kDelayLimit) {
            m_delay = kDelayLimit - m_delay < kDelayStep ? kDelayLimit : m_delay + kDelayStep;
            if (OnDelay) OnDelay(m_delay);
        }
        return Send();
    }
    // Not an answer: nothing is sent, the time-out repeats the block.
    m_timeoutArmed = true;
    m_timeoutAt = now + ResendMs;
}

void VersionSender::Send() {
    m_phase = Phase::Sending;
    ++m_framesSent;
    if (OnSendFrame) OnSendFrame();
}

void VersionSender::FrameWritten(int64_t now) {
    if (m_phase != Phase::Sending) return;
    m_phase = Phase::Waiting;
    m_timeoutArmed = true;
    m_timeoutAt = now + ResendMs;
}

void VersionSender::Tick(int64_t now) {
    if (m_phase == Phase::Waiting && m_timeoutArmed && now >= m_timeoutAt) {
        m_timeoutArmed = false;
        if (++m_silent >= kSilentLimit) {
            Stop();
            if (OnGaveUp) OnGaveUp();
            return;
        }
        Send();
    }
}

int64_t VersionSender::NextDeadline() const {
    if (m_phase == Phase::Waiting && m_timeoutArmed) return m_timeoutAt;
    return std::numeric_limits<int64_t>::max();
}

void VersionSender::Complete() {
    Stop();
    if (OnCompleted) OnCompleted();
}

void VersionSender::Fail(const QString& message) {
    Stop();
    if (OnFailed) OnFailed(message);
}
