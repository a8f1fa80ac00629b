#pragma once
// The receive parser: collects the codes each exchange sends, cuts out data
// frames (14,14,14 + payload, only while FramesExpected), call start frames
// (11,11,11,17; 28 codes) and call end frames (11,11,11,1; 16 codes), hands
// them to their consumers, and decodes the rest to text for the roll and the
// roll view. It also offers the cell-answer capture, the request sender with
// its answer timers, and the roll view's enter/exit redirect.
//
// One TReceive serves all exchanges; the main window owns it and sets
// AppState::Receiver to it. Its timers carry the main window's timer names.
#include "link/AppState.h"
#include "link/LineCode.h"

#include <QColor>
#include <QMessageBox>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QTimer;
class RollView;
class TAts;

class TReceive : public QObject, public IReceiver {
    Q_OBJECT
public:
    explicit TReceive(AppState& app, QObject* parent = nullptr);
    ~TReceive() override;

    // Called after each port read with RawRx[0..RxCount) holding new codes.
    void ReceiveParser(TAts& ats) override;

    // Sends a request without roll echo, arms the answer timers.
    void SendRequest(TAts& ats, const QString& text);
    // Three spaces straight to the port when it is open.
    static void SendContinue(TAts& ats);

    // Shows or logs every code still collected for the exchange (or drops
    // them while data frames are expected), as if the line had gone quiet.
    void FlushHeld(TAts& ats);

    // Roll view focus: new text goes to the hidden printout list of the
    // selected exchange while the operator works inside the view.
    void AttachRollView(RollView* view);
    void RollViewEnter();
    void RollViewExit();

    // Interval of the no-answer watchdog ("TimerStatWait", set at first show).
    void SetWatchdogInterval(int ms);

    // The statistics progress window, when there is one.
    std::function<bool()> ProgressVisible;
    std::function<void(const QColor&)> SetProgressPanelColor;
    // The no-answer question; returns Cancel, Abort or Retry. Replaceable so
    // that a test does not block on a modal box.
    std::function<QMessageBox::StandardButton()> AskNoAnswer;
    // Sees every piece of text the parser writes to a roll (varnel-tool decode).
    std::function<void(TAts&, const QString&)> TextOut;

    // Main-window timers owned here.
    QTimer* TimerStat = nullptr;           // 100 ms, answer timer
    QTimer* TimerWeStillGetIt = nullptr;   // 2000 ms, data frames still arriving
    QTimer* TimerWeStillDontGet = nullptr; // no-answer watchdog
    QTimer* TimerReceiveData = nullptr;    // 40 ms, receive indicator

    void TimerStatTimer();
    void TimerWeStillGetItTimer();
    void TimerWeStillDontGetTimer();
    void TimerReceiveDataTimer();

    // RxText holds at most this many codes.
    static constexpr int kRxTextSize = 20001;

private:
    struct Pending {
        int pos = 0;
        int len = 0;
    };
    // Bookkeeping of one exchange's collected codes between reads, so that a
    // read costs time in proportion to what it brings, not to what is held.
    struct Scan {
        std::vector<uint8_t> inbox; // codes handed over, not yet taken in
        std::vector<uint8_t> work;  // the codes being taken in
        bool busy = false;          // this exchange's codes are being parsed
        int knownLen = 0;           // RxTextLen as last left here
        int scanned = 0;            // positions below are examined
        bool framesExpected = false;
        int frameLen = 0;
        std::vector<Pending> data, start, end; // incomplete frames, by position
        // Capture: decoded text of RxText[0..decodedUpTo) and the register
        // state after it, from the exchange's committed state.
        QString decoded;
        LineCodeState decodeState;
        int decodedUpTo = 0;
        bool decodeValid = false;
        QString prefix;     // the awaited prefix searched for
        int searchFrom = 0; // no occurrence of prefix starts before this
        int prefixAt = -1;  // first occurrence, when found
    };

    enum FrameKind { DataFrame, CallStart, CallEnd };

    Scan& StateOf(TAts& ats);
    void Take(TAts& ats, Scan& s, const uint8_t* codes, int count);
    void Process(TAts& ats, Scan& s, const uint8_t* codes, int count);
    bool DataHeaderSeen(TAts& ats);
    void Collect(TAts& ats, Scan& s, bool& headerSeen);
    bool NextFrame(TAts& ats, Scan& s, int& pos, int& len, FrameKind& kind, bool& headerSeen);
    void CutFrame(TAts& ats, Scan& s, int pos, int len, FrameKind kind);
    bool TryCapture(TAts& ats, Scan& s);
    void MakeRoom(TAts& ats, Scan& s, int needed);
    void Consume(TAts& ats, Scan& s, int count, bool show);
    void ResetScan(Scan& s);
    QString Decode(TAts& ats, LineCodeState& st, const uint8_t* codes, int count);
    void Output(TAts& ats, const QString& text);

    AppState& App;
    RollView* m_view = nullptr;
    std::unordered_map<TAts*, std::unique_ptr<Scan>> m_scans;
};
