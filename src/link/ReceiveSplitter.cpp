#include "link/ReceiveSplitter.h"

#include "link/Notation.h"
#include "platform/Clock.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {
using frames::kCallHeader;
using frames::kDataHeader;
// Codes kept when a full buffer must make room, so that a capture whose
// prefix has arrived can still be completed.
constexpr int kKeepTail = 512;

// Follows the register switches of codes that are dropped undecoded, so that
// later text is read in the register the exchange is in.
void TrackRegister(LineCodeState& st, const uint8_t* codes, int count) {
    for (int i = 0; i < count; ++i) {
        const uint8_t c = codes[i];
        if (c == LineCode::kRussian || c == LineCode::kFigures || c == LineCode::kLatin)
            st.RxRegister = c;
    }
}

// Pending frames are kept in position order; a cut at pos makes the headers
// from pos - 3 on worth another look, so those entries go.
template <class V> void DropFrom(V& list, int pos) {
    while (!list.empty() && list.back().pos >= pos)
        list.pop_back();
}

// After the first `count` codes have left the buffer.
template <class V> void ShiftDown(V& list, int count) {
    auto keep =
        std::find_if(list.begin(), list.end(), [count](const auto& p) { return p.pos >= count; });
    list.erase(list.begin(), keep);
    for (auto& p : list)
        p.pos -= count;
}

// The roll stamp has minute resolution: on the system clock it is made once a
// minute rather than for every line (the local time lookup is costly).
QString MinuteStamp() {
    if (Clock::IsTestClock()) return GetDateTime();
    static qint64 minute = -1;
    static QString text;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 60000;
    if (now != minute) {
        text = GetDateTime();
        minute = now;
    }
    return text;
}
} // namespace

ReceiveSplitter::ReceiveSplitter(Output& out, std::function<QString()> stamp)
    : m_out(out), m_stamp(stamp ? std::move(stamp) : MinuteStamp), m_text(kCapacity, 0) {}

bool ReceiveSplitter::TakeLineStamped() {
    const bool stamped = m_code.LineStamped;
    m_code.LineStamped = false;
    return stamped;
}

void ReceiveSplitter::ExpectFrames(int frameLen) {
    m_framesExpected = true;
    m_frameLen = std::max(frameLen, frames::kHeaderLength);
}

void ReceiveSplitter::StopFrames() {
    m_framesExpected = false;
}

void ReceiveSplitter::StartCapture(const QString& prefix, int length) {
    m_prefix = prefix;
    m_captureLength = std::max(0, length);
    m_capturePending = true;
}

void ReceiveSplitter::StopCapture() {
    const bool gaveUp = m_capturePending;
    m_capturePending = false;
    // The text the capture held back is shown now, not at the next read.
    if (gaveUp && !m_busy && m_len > 0) {
        m_busy = true;
        Process(nullptr, 0);
        m_busy = false;
    }
}

void ReceiveSplitter::ResetScan() {
    m_scanned = 0;
    m_data.clear();
    m_start.clear();
    m_end.clear();
    m_decodeValid = false;
    m_decoded.clear();
    m_decodedUpTo = 0;
    m_searched.clear();
    m_searchFrom = 0;
    m_prefixAt = -1;
}

// ---------------------------------------------------------------- reading

void ReceiveSplitter::Feed(const uint8_t* codes, int count) {
    if (count <= 0) return;
    // Output calls run no event loop, so a read never arrives inside another.
    Q_ASSERT(!m_busy);
    m_busy = true;
    Take(codes, count);
    m_busy = false;
}

// A read longer than the room left is taken in pieces; a buffer that is full
// of held codes gives up its oldest ones first.
void ReceiveSplitter::Take(const uint8_t* codes, int count) {
    while (count > 0) {
        if (m_len >= kCapacity) MakeRoom(std::min(count, kCapacity));
        const int n = std::min(count, kCapacity - m_len);
        Process(codes, n);
        codes += n;
        count -= n;
    }
}

void ReceiveSplitter::Process(const uint8_t* codes, int count) {
    m_lineReady = true;
    if (count > 0) {
        std::memcpy(m_text.data() + m_len, codes, size_t(count));
        m_len += count;
    }

    bool headerSeen = false;
    Collect(headerSeen);
    // A data frame still coming in counts as activity at every read.
    if (!m_data.empty() && !headerSeen) m_out.DataHeader();
    if (!m_data.empty() || !m_start.empty() || !m_end.empty()) m_lineReady = false;

    // Hold rule: a trailing 11 or 14 may begin a frame header.
    if (m_len > 0) {
        const uint8_t last = m_text[size_t(m_len - 1)];
        if (last == kCallHeader || last == kDataHeader) m_lineReady = false;
    }

    bool written = false;
    if (m_lineReady && m_capturePending) {
        m_lineReady = false;
        written = TryCapture();
    }
    // While data frames or a capture are awaited, the text around them is
    // neither logged nor shown.
    if (m_lineReady && (m_framesExpected || m_capturePending)) Consume(m_len, false);
    if (m_lineReady && !written) Consume(m_len, true);
}

// ---------------------------------------------------------------- frames

void ReceiveSplitter::Collect(bool& headerSeen) {
    int pos = 0, len = 0;
    FrameKind kind = DataFrameKind;
    while (NextFrame(pos, len, kind, headerSeen))
        CutFrame(pos, len, kind);
}

// Finds the first complete frame. Positions below m_scanned have been looked
// at: there is no complete frame among them, and the incomplete ones are
// listed. Only those can complete with new codes.
bool ReceiveSplitter::NextFrame(int& pos, int& len, FrameKind& kind, bool& headerSeen) {
    if (m_framesExpected != m_scanFramesExpected ||
        (m_framesExpected && m_frameLen != m_scanFrameLen)) {
        // What counts as a data frame changed: look at everything again.
        m_scanFramesExpected = m_framesExpected;
        m_scanFrameLen = m_frameLen;
        m_scanned = 0;
        m_data.clear();
        m_start.clear();
        m_end.clear();
    }
    const uint8_t* t = m_text.data();
    const int n = m_len;
    int best = INT_MAX;
    auto headDone = [&](const std::vector<Pending>& list, FrameKind k) {
        if (!list.empty() && list.front().pos + list.front().len <= n && list.front().pos < best) {
            best = list.front().pos;
            len = list.front().len;
            kind = k;
        }
    };
    headDone(m_data, DataFrameKind);
    headDone(m_start, CallStartKind);
    headDone(m_end, CallEndKind);

    int i = m_scanned;
    while (i < n && i < best) {
        const uint8_t c = t[i];
        if (c == kDataHeader && m_scanFramesExpected) {
            if (i + 2 >= n) {
                // The header may go on in the next read.
                if (i + 1 >= n || t[i + 1] == kDataHeader) break;
            } else if (t[i + 1] == kDataHeader && t[i + 2] == kDataHeader) {
                headerSeen = true;
                m_out.DataHeader();
                if (i + m_scanFrameLen <= n) {
                    best = i;
                    len = m_scanFrameLen;
                    kind = DataFrameKind;
                    break;
                }
                m_data.push_back({i, m_scanFrameLen});
            }
        } else if (c == kCallHeader) {
            if (i + 3 >= n) {
                bool prefix = true;
                for (int k = i + 1; k < n; ++k)
                    prefix = prefix && t[k] == kCallHeader;
                if (prefix) break;
            } else if (t[i + 1] == kCallHeader && t[i + 2] == kCallHeader &&
                       (t[i + 3] == frames::kStartMark || t[i + 3] == frames::kEndMark)) {
                const bool start = t[i + 3] == frames::kStartMark;
                const int l = start ? frames::kStartLength : frames::kEndLength;
                if (i + l <= n) {
                    best = i;
                    len = l;
                    kind = start ? CallStartKind : CallEndKind;
                    break;
                }
                (start ? m_start : m_end).push_back({i, l});
            }
        }
        ++i;
    }
    m_scanned = std::max(m_scanned, std::min(i, n));
    if (best == INT_MAX) return false;
    pos = best;
    return true;
}

void ReceiveSplitter::CutFrame(int pos, int len, FrameKind kind) {
    uint8_t* t = m_text.data();
    // The frame leaves the buffer before its consumer runs: the consumer may
    // run the event loop and bring more codes.
    m_frame.assign(t + pos, t + pos + len);
    const uint8_t* frame = m_frame.data();
    std::memmove(t + pos, t + pos + len, size_t(m_len - pos - len));
    m_len -= len;
    const int again = std::max(0, pos - 3);
    DropFrom(m_data, again);
    DropFrom(m_start, again);
    DropFrom(m_end, again);
    m_scanned = again;
    if (pos < m_decodedUpTo) {
        m_decodeValid = false;
        m_decodedUpTo = 0;
    }
    m_lineReady = true;

    switch (kind) {
    case DataFrameKind:
        m_out.DataFrame(frame + frames::kHeaderLength, len - frames::kHeaderLength);
        break;
    case CallStartKind:
        m_out.CallStart(FrameNibbles<frames::kStartLength>(frame));
        break;
    case CallEndKind:
        m_out.CallEnd(FrameNibbles<frames::kEndLength>(frame));
        break;
    }
}

// ---------------------------------------------------------------- text

QString ReceiveSplitter::Decode(LineCodeState& st, const uint8_t* codes, int count) {
    if (count <= 0) return QString();
    QString text = DecodeCodes(st, codes, count, m_stamp);
    m_out.Decoded();
    return text;
}

// The collected codes are decoded once, as they come, from the register state
// at the start of the buffer; that state is committed only when the codes
// leave the buffer.
bool ReceiveSplitter::TryCapture() {
    if (!m_decodeValid) {
        m_decodeValid = true;
        m_decoded.clear();
        m_decodeState = m_code;
        m_decodedUpTo = 0;
        m_searched.clear();
        m_searchFrom = 0;
        m_prefixAt = -1;
    }
    if (m_len > m_decodedUpTo) {
        m_decoded += Decode(m_decodeState, m_text.data() + m_decodedUpTo, m_len - m_decodedUpTo);
        m_decodedUpTo = m_len;
    }
    const qsizetype want = m_captureLength;
    if (m_prefix != m_searched) {
        m_searched = m_prefix;
        m_searchFrom = 0;
        m_prefixAt = -1;
    }
    const QString& text = m_decoded;
    if (text.size() < m_prefix.size() + want) return false;
    // The first occurrence of the prefix is the one to take: any later one
    // has fewer characters after it.
    if (m_prefixAt < 0) {
        const qsizetype p = text.indexOf(m_prefix, m_searchFrom);
        if (p < 0) {
            m_searchFrom = int(std::max<qsizetype>(0, text.size() - m_prefix.size() + 1));
            return false;
        }
        m_prefixAt = int(p);
    }
    const qsizetype p = m_prefixAt;
    if (text.size() - p < m_prefix.size() + want) return false;

    const QString value = text.mid(p + m_prefix.size(), want);
    const QString rest = text.left(p) + text.mid(p + m_prefix.size() + want);
    m_capturePending = false;
    m_lineReady = true;
    m_code = m_decodeState;
    m_len = 0;
    ResetScan();
    m_out.Captured(value);
    Show(rest);
    return true;
}

// Takes the first `count` codes out of the buffer: shown and logged as text,
// or (show false) dropped, following their register switches.
void ReceiveSplitter::Consume(int count, bool show) {
    count = std::min(count, m_len);
    if (count <= 0) return;
    uint8_t* t = m_text.data();
    QString text;
    if (show)
        text = Decode(m_code, t, count);
    else
        TrackRegister(m_code, t, count);
    const int rest = m_len - count;
    std::memmove(t, t + count, size_t(rest));
    m_len = rest;
    if (rest == 0) {
        ResetScan();
    } else {
        ShiftDown(m_data, count);
        ShiftDown(m_start, count);
        ShiftDown(m_end, count);
        m_scanned = std::max(0, m_scanned - count);
        m_decodeValid = false;
        m_decodedUpTo = 0;
    }
    if (show) Show(text);
}

// The buffer is full of held codes (a long printout held by a trailing 11 or
// 14, a capture that does not match, a frame that cannot complete). The
// oldest codes go out as text (or are dropped while data frames are expected,
// as such text would be) so that nothing is written past the buffer and
// nothing the exchange printed is lost. Frames still pending are kept if they
// can be.
void ReceiveSplitter::MakeRoom(int needed) {
    const int deficit = needed - (kCapacity - m_len);
    if (deficit <= 0) return;
    int firstPending = m_len;
    for (const auto* list : {&m_data, &m_start, &m_end})
        if (!list->empty()) firstPending = std::min(firstPending, list->front().pos);
    const int count = std::min(m_len, std::max(deficit, std::min(firstPending, m_len - kKeepTail)));
    Consume(count, !m_framesExpected);
}

void ReceiveSplitter::Show(const QString& text) {
    if (!text.isEmpty()) m_out.Text(text);
}

void ReceiveSplitter::Flush() {
    if (m_busy) return;
    Consume(m_len, !m_framesExpected);
}
