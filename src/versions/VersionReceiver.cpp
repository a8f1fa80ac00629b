#include "versions/VersionReceiver.h"

#include <limits>

namespace {
bool AreaEnd(uint32_t a) {
    return a == 0x3FC0 || a == 0x7FC0 || a == 0xBFC0;
}
bool AreaStart(uint32_t a) {
    return a == 0x2000 || a == 0x3C00 || a == 0x4000 || a == 0x8000;
}
// Last kept blocks after which a new area may begin.
bool OpensArea(uint32_t a) {
    return a == 0 || a == 0x2000 || a == 0x37C0 || AreaEnd(a);
}
} // namespace

void VersionReceiver::Start(int64_t now) {
    m_buffer.clear();
    m_buffer.reserve(Vers::kFrameChars);
    m_lastReceived = m_lastStored = 0;
    m_area = 0;
    m_retries = 0;
    m_stored = 0;
    m_broken = 0;
    m_lastAnswer = Vers::kAnswerAgain;
    m_running = true;
    m_resyncing = false;
    Answer(Vers::kAnswerAgain, now);
}

void VersionReceiver::Stop() {
    m_running = false;
    m_resyncing = false;
    m_timerArmed = false;
    m_buffer.clear();
}

void VersionReceiver::Receive(const uint8_t* codes, size_t count, int64_t now) {
    for (size_t i = 0; i < count && m_running; ++i) {
        if (m_resyncing) {
            m_quietUntil = std::min(now + kQuietMs, m_resyncLimit);
            continue;
        }
        m_buffer.push_back(codes[i] & 31);
        if (m_buffer.size() < size_t(Vers::kFrameChars)) continue;
        std::vector<uint8_t> frame;
        frame.swap(m_buffer);
        m_buffer.reserve(Vers::kFrameChars);
        Frame(frame.data(), now);
    }
}

void VersionReceiver::Frame(const uint8_t* chars, int64_t now) {
    uint8_t bank = 0;
    Vers::Record r{};
    const bool sound = Vers::DecodeFrame(chars, bank, r);
    m_lastReceived = Vers::Address(r);
    if (!sound) {
        // What follows a broken frame belongs to it; once that has gone by,
        // the block is asked for again.
        ++m_broken;
        m_buffer.clear();
        m_lastAnswer = Vers::kAnswerAgain;
        m_resyncing = true;
        m_quietUntil = now + kQuietMs;
        m_resyncLimit = now + kSilenceMs;
        m_timerArmed = false;
        return;
    }
    const uint32_t a = m_lastReceived;
    // A block kept already (its acknowledgement lost), or the never kept
    // 0x1F00: accepted without keeping.
    if (a == m_lastStored || a == 0x1F00) return Answer(Vers::kAnswerNext, now);
    if (!Continues(a)) return Answer(Vers::kAnswerAgain, now);

    if (a == 0x2000) m_area = 1;
    if (a == 0x4000) m_area = 2;
    if (a == 0x8000) ++m_area;
    if (OnStore && !OnStore(r)) {
        // A version with a block missing is no version: the transfer ends.
        Stop();
        if (OnFailed) OnFailed(QStringLiteral("Cant write"));
        return;
    }
    m_lastStored = a;
    ++m_stored;
    if (OnBlock) OnBlock({uint16_t(a), m_area, Vers::ProgressPos(m_area, a), m_stored});
    Answer(Vers::kAnswerNext, now);
}

bool VersionReceiver::Continues(uint32_t a) const {
    if (m_lastStored != 0 && a == m_lastStored + Vers::kBlockStep && !AreaEnd(m_lastStored))
        return true;
    return OpensArea(m_lastStored) && AreaStart(a);
}

void VersionReceiver::Write(uint8_t code) {
    if (OnAnswer) OnAnswer(code);
}

void VersionReceiver::Answer(uint8_t code, int64_t now) {
    if (!m_running) return;
    m_lastAnswer = code;
    m_retries = 0;
    m_timerArmed = true;
    m_timerAt = now + kSilenceMs;
    Write(code);
}

// The last block of a bank was accepted, and nothing broken came after it.
bool VersionReceiver::Complete() const {
    return m_lastReceived == 0xBFC0 && m_lastStored == 0xBFC0 && m_lastAnswer == Vers::kAnswerNext;
}

void VersionReceiver::Tick(int64_t now) {
    if (m_running && m_resyncing && now >= m_quietUntil) {
        m_resyncing = false;
        return Answer(Vers::kAnswerAgain, now);
    }
    if (!m_running || m_resyncing || !m_timerArmed || now < m_timerAt) return;
    if (!Complete() && m_retries < kRetries) {
        // The exchange waits for an answer: a frame cut short will not be
        // finished.
        m_buffer.clear();
        ++m_retries;
        m_timerAt = now + kSilenceMs;
        Write(Vers::kAnswerAgain);
        return;
    }
    m_timerArmed = false;
    if (Complete()) {
        m_running = false;
        if (OnCompleted) OnCompleted();
        return;
    }
    Stop();
    if (OnGaveUp) OnGaveUp();
}

int64_t VersionReceiver::NextDeadline() const {
    if (m_running && m_resyncing) return m_quietUntil;
    return m_running && m_timerArmed ? m_timerAt : std::numeric_limits<int64_t>::max();
}
