#pragma once
// One statistics run on the selected exchange, the part all kinds share:
// the start, the request step (RunStep) with its waits, the frame rules of
// the answers (Parse), the live request and the end (EndRun), which every
// path of a run reaches. The run takes the exchange's data frames with a
// RequestSession for its whole length and gives the line back at the end.
//
// Frame rules: a one-shot step ignores the first two frames and decodes the
// third (the continuation spaces go out from the third frame on, unless
// NoContinue); a step that writes tables decodes only at the third; a live
// step decodes every frame and never finishes by itself.
//
// Waits sleep on the event loop: the windows stay alive, the receive path,
// the timers and Parse run inside them. No widgets here: the windows come in
// through Hooks.
#include "stats/StatProtocol.h"

#include <QPointer>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class ExchangeSet;
class RequestSession;
class RequestTracker;
class TAts;

// What the statistics share for the program's life: the application state,
// the request timers, the statistics fields of each exchange, and whether a
// run is active (one at a time).
struct StatContext {
    StatContext(ExchangeSet& exchanges, RequestTracker& tracker, const QString& curDir)
        : Exchanges(exchanges), Tracker(tracker), CurDir(curDir) {}
    ExchangeSet& Exchanges;
    RequestTracker& Tracker;
    QString CurDir; // the working folder: the trunk tables live under it
    std::array<StatFields, 4> Fields{};
    bool Running = false;
    // The fields of exchange number 1..4 (others share a spare set).
    StatFields& FieldsOf(int number);

private:
    StatFields m_spare;
};

class StatRun {
public:
    // What the run asks of the windows; each may be left empty.
    struct Hooks {
        std::function<void()> showProgress; // the progress window, bar at 0
        std::function<void(int)> setProgress;
        std::function<void()> hideProgress;
        std::function<void(bool)> busyCursor;
        std::function<void(const QString&)> status; // a status-list line
    };

    // The run belongs to the exchange selected now. Marks the context
    // running until the run ends.
    StatRun(StatContext& ctx, StatProtocol& protocol, Hooks hooks = {});
    // Ends the run if it has not ended.
    ~StatRun();
    StatRun(const StatRun&) = delete;
    StatRun& operator=(const StatRun&) = delete;

    TAts* Exchange() const;
    int Number() const; // exchange number, 0 when none is selected
    bool PortOpen() const;
    StatFields& Fields();
    RequestSession* Session() const { return m_session.get(); }
    bool Ended() const { return m_ended; }

    // Run start: AbortRequest := false, RequestPending := true.
    void Prepare();
    // The port check of the run start: with a closed port the run ends, with
    // the status line "Порт закрыт. Продолжение невозможно" when report is
    // set. Then the data frames are taken (the protocol is the parser,
    // NoContinue and BitMode clear), the hourglass shows, and the progress
    // window with showProgress. False when the run has ended.
    bool Begin(bool report, bool showProgress);

    // One request that must complete before the next: sends it, waits until
    // its frame is decoded, the operator aborts or Esc is held, then sets the
    // progress and waits while frames still arrive (Esc ends that wait).
    // False when the step ended without its frame: the run has ended.
    bool RunStep(const StatStep& step);
    // The steps in order; false as soon as one ends the run.
    bool RunSteps(const std::vector<StatStep>& steps);
    // Waits while frames still arrive (Esc ends the wait).
    void WaitQuiet();
    // The live request: sent without waiting and without continuation, its
    // frames decoded as they come; then EndProgress.
    void StartLive(const StatStep& step);

    // ---- a detail view opened from the shown result (a block or a rack)
    // A one-shot request of the detail: the frames are taken again, the
    // request sent with RequestPending and a clear AbortRequest; waits until
    // its frame is decoded or the operator aborts (Esc too with escEnds). A
    // failure leaves the run going. True when the frame was decoded.
    bool Request(const StatStep& step, bool escEnds);
    // The detail is closed: no more requests for now, nothing decoded, the
    // wait for a quiet line (Esc ends it), the continuation spaces, and the
    // line's text shown again (no frames expected) until the next request.
    void Pause();
    // Nothing more reaches the protocol until the next request (a window
    // that shows the frames has been hidden).
    void StopDecoding();
    // The requests are done and the result is about to be shown: the
    // hourglass and the progress window go (kinds without a live step call
    // it after their last RunStep).
    void EndProgress();
    // EndRun: no more requests, the frames decoded no more, the wait for a
    // quiet line (Esc ends it), the continuation spaces, the line given back,
    // the cursor and the progress window restored. Runs once.
    void End();

private:
    void Send(const StatStep& step);
    void Quiet();
    void Parse(const uint8_t* data, int code);
    bool Alive() const;
    void Cursor(bool busy);

    StatContext& m_ctx;
    StatProtocol& m_protocol;
    Hooks m_hooks;
    QPointer<TAts> m_ats;
    int m_number = 0;
    std::unique_ptr<RequestSession> m_session;
    bool m_ended = false;
    bool m_busyCursor = false;
    bool m_progressShown = false;
    bool m_decoded = false; // the one-shot frame of the last request was decoded
};
