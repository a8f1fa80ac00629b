#include "tariff/ReceiveParser.h"

#include "link/Ats.h"
#include "link/Notation.h"
#include "link/RollView.h"
#include "platform/Clock.h"

#include <QApplication>
#include <QPalette>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {
constexpr uint8_t kCallHeader = 11;
constexpr uint8_t kDataHeader = 14;
constexpr uint8_t kStartMark = 17;
constexpr uint8_t kEndMark = 1;
constexpr int kStartLen = 28;
constexpr int kEndLen = 16;
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
QString Stamp() {
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

QString Crlf(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}
} // namespace

TReceive::TReceive(AppState& app, QObject* parent) : QObject(parent), App(app) {
    TimerStat = new QTimer(this);
    TimerStat->setInterval(100);
    TimerWeStillGetIt = new QTimer(this);
    TimerWeStillGetIt->setInterval(2000);
    TimerWeStillGetIt->setSingleShot(true);
    TimerWeStillDontGet = new QTimer(this);
    TimerWeStillDontGet->setInterval(10000);
    TimerWeStillDontGet->setSingleShot(true);
    TimerReceiveData = new QTimer(this);
    TimerReceiveData->setInterval(40);
    TimerReceiveData->setSingleShot(true);
    TimerStat->setObjectName(QStringLiteral("TimerStat"));
    TimerWeStillGetIt->setObjectName(QStringLiteral("TimerWeStillGetIt"));
    TimerWeStillDontGet->setObjectName(QStringLiteral("TimerWeStillDontGet"));
    TimerReceiveData->setObjectName(QStringLiteral("TimerReceiveData"));
    connect(TimerStat, &QTimer::timeout, this, &TReceive::TimerStatTimer);
    connect(TimerWeStillGetIt, &QTimer::timeout, this, &TReceive::TimerWeStillGetItTimer);
    connect(TimerWeStillDontGet, &QTimer::timeout, this, &TReceive::TimerWeStillDontGetTimer);
    connect(TimerReceiveData, &QTimer::timeout, this, &TReceive::TimerReceiveDataTimer);
}

TReceive::~TReceive() {
    if (App.Receiver == this) App.Receiver = nullptr;
}

TReceive::Scan& TReceive::StateOf(TAts& ats) {
    auto it = m_scans.find(&ats);
    if (it != m_scans.end()) return *it->second;
    auto owned = std::make_unique<Scan>();
    Scan& s = *owned;
    m_scans.emplace(&ats, std::move(owned));
    connect(&ats, &QObject::destroyed, this, [this, key = &ats] { m_scans.erase(key); });
    return s;
}

void TReceive::ResetScan(Scan& s) {
    s.scanned = 0;
    s.data.clear();
    s.start.clear();
    s.end.clear();
    s.decodeValid = false;
    s.decoded.clear();
    s.decodedUpTo = 0;
    s.prefix.clear();
    s.searchFrom = 0;
    s.prefixAt = -1;
}

// ---------------------------------------------------------------- reading

void TReceive::ReceiveParser(TAts& ats) {
    if (ats.RxCount <= 0) return;
    Scan& s = StateOf(ats);
    const int n = std::min<int>(ats.RxCount, int(ats.RawRx.size()));
    s.inbox.insert(s.inbox.end(), ats.RawRx.begin(), ats.RawRx.begin() + n);
    // A consumer that runs the event loop may bring the next read of this
    // exchange here again: its codes wait in the inbox for this call.
    if (s.busy) return;
    s.busy = true;
    struct Unbusy {
        Scan& s;
        ~Unbusy() { s.busy = false; }
    } unbusy{s};
    while (!s.inbox.empty()) {
        s.work.swap(s.inbox);
        s.inbox.clear();
        Take(ats, s, s.work.data(), int(s.work.size()));
        s.work.clear();
    }
}

void TReceive::Take(TAts& ats, Scan& s, const uint8_t* codes, int count) {
    if (ats.RxText.size() < size_t(kRxTextSize)) return; // the buffer could not be allocated
    if (ats.RxTextLen < 0 || ats.RxTextLen > kRxTextSize) ats.RxTextLen = 0;
    // A read longer than the room left is taken in pieces; a buffer that is
    // full of held codes gives up its oldest ones first.
    while (count > 0) {
        if (ats.RxTextLen != s.knownLen) {
            ResetScan(s);
            s.knownLen = ats.RxTextLen;
        }
        if (ats.RxTextLen >= kRxTextSize) MakeRoom(ats, s, std::min(count, kRxTextSize));
        const int n = std::min(count, kRxTextSize - ats.RxTextLen);
        Process(ats, s, codes, n);
        codes += n;
        count -= n;
    }
}

void TReceive::Process(TAts& ats, Scan& s, const uint8_t* codes, int count) {
    if (ats.RxTextLen != s.knownLen) ResetScan(s); // RxText was changed elsewhere
    ats.LineReady = true;
    if (count > 0) {
        std::memcpy(ats.RxText.data() + ats.RxTextLen, codes, size_t(count));
        ats.RxTextLen += count;
    }
    s.knownLen = ats.RxTextLen;

    bool headerSeen = false;
    Collect(ats, s, headerSeen);
    // A data frame still coming in counts as activity at every read.
    if (!s.data.empty() && !headerSeen) DataHeaderSeen(ats);
    if (!s.data.empty() || !s.start.empty() || !s.end.empty()) ats.LineReady = false;

    // Hold rule: a trailing 11 or 14 may begin a frame header.
    if (ats.RxTextLen > 0) {
        const uint8_t last = ats.RxText[size_t(ats.RxTextLen - 1)];
        if (last == kCallHeader || last == kDataHeader) ats.LineReady = false;
    }

    bool written = false;
    if (ats.LineReady && ats.CapturePending) {
        ats.LineReady = false;
        written = TryCapture(ats, s);
    }
    // While data frames or a capture are awaited, the text around them is
    // neither logged nor shown.
    if (ats.LineReady && (ats.FramesExpected || ats.CapturePending))
        Consume(ats, s, ats.RxTextLen, false);
    if (ats.LineReady && !written) Consume(ats, s, ats.RxTextLen, true);
    s.knownLen = ats.RxTextLen;
}

// ---------------------------------------------------------------- frames

bool TReceive::DataHeaderSeen(TAts& ats) {
    (void)ats;
    TimerWeStillGetIt->start();
    if (ProgressVisible && ProgressVisible()) {
        if (SetProgressPanelColor) SetProgressPanelColor(QColor(0, 255, 0));
        TimerReceiveData->start();
    }
    return true;
}

void TReceive::Collect(TAts& ats, Scan& s, bool& headerSeen) {
    int pos = 0, len = 0;
    FrameKind kind = DataFrame;
    while (NextFrame(ats, s, pos, len, kind, headerSeen))
        CutFrame(ats, s, pos, len, kind);
}

// Finds the first complete frame in RxText. Positions below s.scanned have
// been looked at: there is no complete frame among them, and the incomplete
// ones are listed in s.data/start/end. Only those can complete with new codes.
bool TReceive::NextFrame(TAts& ats, Scan& s, int& pos, int& len, FrameKind& kind,
                         bool& headerSeen) {
    const int dataLen = std::max(ats.FrameLen, 3);
    if (ats.FramesExpected != s.framesExpected || (ats.FramesExpected && dataLen != s.frameLen)) {
        // What counts as a data frame changed: look at everything again.
        s.framesExpected = ats.FramesExpected;
        s.frameLen = dataLen;
        s.scanned = 0;
        s.data.clear();
        s.start.clear();
        s.end.clear();
    }
    const uint8_t* t = ats.RxText.data();
    const int n = ats.RxTextLen;
    int best = INT_MAX;
    auto headDone = [&](const std::vector<Pending>& list, FrameKind k) {
        if (!list.empty() && list.front().pos + list.front().len <= n && list.front().pos < best) {
            best = list.front().pos;
            len = list.front().len;
            kind = k;
        }
    };
    headDone(s.data, DataFrame);
    headDone(s.start, CallStart);
    headDone(s.end, CallEnd);

    int i = s.scanned;
    while (i < n && i < best) {
        const uint8_t c = t[i];
        if (c == kDataHeader && s.framesExpected) {
            if (i + 2 >= n) {
                // The header may go on in the next read.
                if (i + 1 >= n || t[i + 1] == kDataHeader) break;
            } else if (t[i + 1] == kDataHeader && t[i + 2] == kDataHeader) {
                headerSeen = DataHeaderSeen(ats);
                if (i + dataLen <= n) {
                    best = i;
                    len = dataLen;
                    kind = DataFrame;
                    break;
                }
                s.data.push_back({i, dataLen});
            }
        } else if (c == kCallHeader) {
            if (i + 3 >= n) {
                bool prefix = true;
                for (int k = i + 1; k < n; ++k)
                    prefix = prefix && t[k] == kCallHeader;
                if (prefix) break;
            } else if (t[i + 1] == kCallHeader && t[i + 2] == kCallHeader &&
                       (t[i + 3] == kStartMark || t[i + 3] == kEndMark)) {
                const bool start = t[i + 3] == kStartMark;
                const int l = start ? kStartLen : kEndLen;
                if (i + l <= n) {
                    best = i;
                    len = l;
                    kind = start ? CallStart : CallEnd;
                    break;
                }
                (start ? s.start : s.end).push_back({i, l});
            }
        }
        ++i;
    }
    s.scanned = std::max(s.scanned, std::min(i, n));
    if (best == INT_MAX) return false;
    pos = best;
    return true;
}

void TReceive::CutFrame(TAts& ats, Scan& s, int pos, int len, FrameKind kind) {
    uint8_t* t = ats.RxText.data();
    const uint8_t* f = t + pos;
    std::array<uint8_t, kStartLen> start{};
    std::array<uint8_t, kEndLen> end{};
    if (kind == DataFrame) {
        if (!ats.NoContinue && ats.FrameCounter >= 2) SendContinue(ats);
        const int payload = len - 3;
        const size_t cap = ats.Data.size();
        for (int k = 0; k < payload; ++k) {
            const uint8_t code = f[3 + k];
            if (ats.BitMode) {
                const size_t at = size_t(k) * 4;
                if (at + 3 >= cap) break;
                ats.Data[at] = (code >> 1) & 1;
                ats.Data[at + 1] = (code >> 2) & 1;
                ats.Data[at + 2] = (code >> 3) & 1;
                ats.Data[at + 3] = (code >> 4) & 1;
            } else {
                if (size_t(k) >= cap) break;
                ats.Data[size_t(k)] = LineCode::Nibble(code);
            }
        }
    } else if (kind == CallStart) {
        for (int k = 0; k < kStartLen; ++k)
            start[size_t(k)] = LineCode::Nibble(f[k]);
    } else {
        for (int k = 0; k < kEndLen; ++k)
            end[size_t(k)] = LineCode::Nibble(f[k]);
    }

    // The frame leaves the buffer before its consumer runs.
    std::memmove(t + pos, t + pos + len, size_t(ats.RxTextLen - pos - len));
    ats.RxTextLen -= len;
    s.knownLen = ats.RxTextLen;
    const int again = std::max(0, pos - 3);
    DropFrom(s.data, again);
    DropFrom(s.start, again);
    DropFrom(s.end, again);
    s.scanned = again;
    if (pos < s.decodedUpTo) {
        s.decodeValid = false;
        s.decodedUpTo = 0;
    }
    ats.LineReady = true;

    switch (kind) {
    case DataFrame:
        if (!ats.FrameDone && App.CurrentParser)
            App.CurrentParser->Parse(ats.Data.data(), ats.DataCount);
        break;
    case CallStart:
        if (App.Calls) App.Calls->OnCallStart(ats, start);
        break;
    case CallEnd:
        if (App.Calls) App.Calls->OnCallEnd(ats, end);
        break;
    }
}

// ---------------------------------------------------------------- text

QString TReceive::Decode(TAts& ats, LineCodeState& st, const uint8_t* codes, int count) {
    if (count <= 0) return QString();
    QString text = DecodeCodes(st, codes, count, Stamp);
    App.SetPanelText(2, QStringLiteral("Прием"));
    emit ats.received();
    return text;
}

// The cell-answer capture. The collected codes are decoded once, as they
// come, from the register state at the start of the buffer; that state is
// committed only when the codes leave the buffer.
bool TReceive::TryCapture(TAts& ats, Scan& s) {
    if (!s.decodeValid) {
        s.decodeValid = true;
        s.decoded.clear();
        s.decodeState = ats.Code;
        s.decodedUpTo = 0;
        s.prefix.clear();
        s.searchFrom = 0;
        s.prefixAt = -1;
    }
    if (ats.RxTextLen > s.decodedUpTo) {
        s.decoded += Decode(ats, s.decodeState, ats.RxText.data() + s.decodedUpTo,
                            ats.RxTextLen - s.decodedUpTo);
        s.decodedUpTo = ats.RxTextLen;
    }
    const QString& prefix = ats.AwaitedPrefix;
    const qsizetype want = std::max(0, ats.CaptureLength);
    if (prefix != s.prefix) {
        s.prefix = prefix;
        s.searchFrom = 0;
        s.prefixAt = -1;
    }
    const QString& text = s.decoded;
    if (text.size() < prefix.size() + want) return false;
    // The first occurrence of the prefix is the one to take: any later one
    // has fewer characters after it.
    if (s.prefixAt < 0) {
        const qsizetype p = text.indexOf(prefix, s.searchFrom);
        if (p < 0) {
            s.searchFrom = int(std::max<qsizetype>(0, text.size() - prefix.size() + 1));
            return false;
        }
        s.prefixAt = int(p);
    }
    const qsizetype p = s.prefixAt;
    if (text.size() - p < prefix.size() + want) return false;

    ats.CapturedValue = text.mid(p + prefix.size(), want);
    const QString rest = text.left(p) + text.mid(p + prefix.size() + want);
    ats.CapturePending = false;
    ats.LineReady = true;
    ats.Code = s.decodeState;
    ats.RxTextLen = 0;
    ResetScan(s);
    s.knownLen = 0;
    Output(ats, rest);
    return true;
}

// Takes the first `count` codes out of RxText: shown and logged as text, or
// (show false) dropped, following their register switches.
void TReceive::Consume(TAts& ats, Scan& s, int count, bool show) {
    count = std::min(count, ats.RxTextLen);
    if (count <= 0) return;
    uint8_t* t = ats.RxText.data();
    QString text;
    if (show)
        text = Decode(ats, ats.Code, t, count);
    else
        TrackRegister(ats.Code, t, count);
    const int rest = ats.RxTextLen - count;
    std::memmove(t, t + count, size_t(rest));
    ats.RxTextLen = rest;
    if (rest == 0) {
        ResetScan(s);
    } else {
        ShiftDown(s.data, count);
        ShiftDown(s.start, count);
        ShiftDown(s.end, count);
        s.scanned = std::max(0, s.scanned - count);
        s.decodeValid = false;
        s.decodedUpTo = 0;
    }
    s.knownLen = ats.RxTextLen;
    if (show) Output(ats, text);
}

// RxText is full of held codes (a long printout held by a trailing 11 or 14,
// a capture that does not match, a frame that cannot complete). The oldest
// codes go out as text (or are dropped while data frames are expected, as
// such text would be) so that nothing is written past the buffer and nothing
// the exchange printed is lost. Frames still pending are kept if they can be.
void TReceive::MakeRoom(TAts& ats, Scan& s, int needed) {
    const int len = ats.RxTextLen;
    const int deficit = needed - (kRxTextSize - len);
    if (deficit <= 0) return;
    int firstPending = len;
    for (const auto* list : {&s.data, &s.start, &s.end})
        if (!list->empty()) firstPending = std::min(firstPending, list->front().pos);
    const int count = std::min(len, std::max(deficit, std::min(firstPending, len - kKeepTail)));
    Consume(ats, s, count, !ats.FramesExpected);
}

void TReceive::Output(TAts& ats, const QString& text) {
    if (text.isEmpty()) return;
    if (!ats.WriteRoll(text)) App.AddStatus(QStringLiteral("Cant Write"));
    if (TextOut) TextOut(ats, text);
    TAts* current = App.CurrentAts;
    if (ats.RedirectText && current && current->RedirectControl) {
        QTextCursor c(current->RedirectControl->document());
        c.movePosition(QTextCursor::End);
        c.insertText(Crlf(text));
    } else if (current && current->Key == ats.Key && App.View) {
        App.View->InsertAtEnd(text);
    }
}

void TReceive::FlushHeld(TAts& ats) {
    Scan& s = StateOf(ats);
    if (s.busy) return;
    if (ats.RxTextLen < 0 || ats.RxTextLen > kRxTextSize ||
        ats.RxText.size() < size_t(kRxTextSize)) {
        ats.RxTextLen = 0;
        ResetScan(s);
    }
    Consume(ats, s, ats.RxTextLen, !ats.FramesExpected);
}

// ---------------------------------------------------------------- requests

void TReceive::SendContinue(TAts& ats) {
    static const uint8_t spaces[3] = {LineCode::kSpace, LineCode::kSpace, LineCode::kSpace};
    if (ats.PortIsOpen()) ats.SendDirect(spaces, 3);
}

void TReceive::SendRequest(TAts& ats, const QString& text) {
    ats.AnswerTicks = 0;
    ats.EncodedLen = EncodeText(ats, text);
    TimerStat->start();
    if (App.RequestPending) {
        TimerWeStillDontGet->start();
        App.LastRequest = text;
    }
    ats.QueueEncoded();
}

void TReceive::SetWatchdogInterval(int ms) {
    if (ms > 0) TimerWeStillDontGet->setInterval(ms);
}

void TReceive::TimerStatTimer() {
    TAts* ats = App.CurrentAts;
    if (!ats) {
        TimerStat->stop();
        return;
    }
    if (!ats->CapturePending && ats->FrameDone) {
        TimerStat->stop();
    } else if (ats->AnswerTicks < 100) {
        ats->AnswerTicks += 1;
    } else {
        const bool gaveUp = ats->CapturePending;
        ats->CapturePending = false;
        TimerStat->stop();
        // The text the capture held back is shown now, not at the next read.
        if (gaveUp) {
            Scan& s = StateOf(*ats);
            if (!s.busy && ats->RxText.size() >= size_t(kRxTextSize) && ats->RxTextLen > 0 &&
                ats->RxTextLen <= kRxTextSize) {
                s.busy = true;
                Process(*ats, s, nullptr, 0);
                s.busy = false;
            }
        }
    }
}

void TReceive::TimerWeStillGetItTimer() {
    TimerWeStillGetIt->stop();
}

void TReceive::TimerReceiveDataTimer() {
    if (SetProgressPanelColor)
        SetProgressPanelColor(QApplication::palette().color(QPalette::Button));
    TimerReceiveData->stop();
}

void TReceive::TimerWeStillDontGetTimer() {
    TimerWeStillDontGet->stop();
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    if (AskNoAnswer) {
        answer = AskNoAnswer();
    } else {
        QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                        QStringLiteral("Станция не отвечает. Прервать?"),
                        QMessageBox::Cancel | QMessageBox::Abort | QMessageBox::Retry);
        answer = QMessageBox::StandardButton(box.exec());
    }
    if (answer == QMessageBox::Retry) {
        if (App.CurrentAts) SendRequest(*App.CurrentAts, App.LastRequest);
        TimerWeStillDontGet->start();
    } else if (answer == QMessageBox::Abort) {
        App.AbortRequest = true;
    }
}

// ---------------------------------------------------------------- roll view

void TReceive::AttachRollView(RollView* view) {
    if (m_view) disconnect(m_view, nullptr, this, nullptr);
    m_view = view;
    if (!view) return;
    connect(view, &RollView::entered, this, &TReceive::RollViewEnter);
    connect(view, &RollView::exited, this, &TReceive::RollViewExit);
}

void TReceive::RollViewEnter() {
    TAts* ats = App.CurrentAts;
    if (!ats) return;
    if (ats->RedirectControl) ats->RedirectControl->clear();
    ats->RedirectText = true;
    if (m_view) m_view->SetAutoScroll(false);
}

void TReceive::RollViewExit() {
    if (m_view) m_view->SetAutoScroll(true);
    TAts* ats = App.CurrentAts;
    if (!ats) return;
    if (ats->RedirectControl) {
        const QString held = ats->RedirectControl->toPlainText();
        RollView* view = m_view ? m_view : App.View;
        if (view && !held.isEmpty()) view->InsertAtEnd(held);
        ats->RedirectControl->clear();
    }
    ats->RedirectText = false;
}
