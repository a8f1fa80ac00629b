#pragma once
// One statistics run on the selected exchange, the part all kinds share:
// the start, the request steps with their waits, the frame rules of the
// answers (Parse), the live request and the end (End), which every path of a
// run reaches. The run takes the exchange's data frames with a
// RequestSession for its whole length and gives the line back at the end.
//
// Frame rules: a one-shot step ignores the first two frames and decodes the
// third (the continuation spaces go out from the third frame on, unless
// NoContinue); a step that writes tables decodes only at the third; a live
// step decodes every frame and never finishes by itself.
//
// The run is a state machine on the event loop: a step is sent, the run
// waits for its frame (decoded, or an abort, Esc or the line lost), then for
// the quiet line, then goes on. The waits are woken by the frames, the answer
// timers and the Esc key; the port's output is looked at every millisecond
// while the line drains, and a 100 ms guard notices a line taken over by
// another session. No widgets here: the windows come in through Hooks.
#include "stats/StatProtocol.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

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
    // The kind a run is started for, as the operator reads it after "идет"
    // when another tool is refused the line ("статистика ВК").
    QString Owner;
    // The fields of exchange number 1..4 (others share a spare set).
    StatFields& FieldsOf(int number);

private:
    StatFields m_spare;
};

class StatRun : public QObject {
    Q_OBJECT
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
    // A run that has not ended gives the line back at once, without waits
    // (the continuation goes out unless a request is still leaving).
    ~StatRun() override;
    StatRun(const StatRun&) = delete;
    StatRun& operator=(const StatRun&) = delete;

    TAts* Exchange() const;
    int Number() const; // exchange number, 0 when none is selected
    bool PortOpen() const;
    StatFields& Fields();
    RequestSession* Session() const { return m_session.get(); }
    // The end has begun: nothing more is sent (ended() follows once the line
    // is given back).
    bool Ended() const { return m_ended; }

    // Run start: AbortRequest := false, RequestPending := true.
    void Prepare();
    // The port check of the run start: with a closed port the run ends, with
    // the status line "Порт закрыт. Продолжение невозможно" when report is
    // set. A line that another tool holds ends the run too, nothing sent
    // (the exchange says which tool). Then the data frames are taken (the protocol is the parser,
    // NoContinue and BitMode clear), the hourglass shows, and the progress
    // window with showProgress. False when the run has ended.
    bool Begin(bool report, bool showProgress);

    // The requests that must complete one after the other: each is sent once
    // the one before has its frame decoded, its progress set and the line
    // quiet; then done. Anything else ends the run and done is not called:
    // no frame before an abort, Esc (held while a frame or the quiet line is
    // awaited, or when a step is due), the line lost.
    void RunSteps(std::vector<StatStep> steps, std::function<void()> done);
    // The live request: sent without waiting and without continuation, its
    // frames decoded as they come; then EndProgress.
    void StartLive(const StatStep& step);

    // ---- a detail view opened from the shown result (a block or a rack)
    // A one-shot request of the detail: the frames are taken again, the
    // request sent with RequestPending and a clear AbortRequest; done(true)
    // once its frame is decoded, done(false) when the operator aborts, the
    // decoding is stopped or the line is lost. Esc does not cut it. A failure
    // leaves the run going.
    void Request(const StatStep& step, std::function<void(bool decoded)> done);
    // The detail is closed: no more requests for now (a pending one is
    // dropped), nothing decoded, the wait for a quiet line, the continuation
    // spaces, and the line's text shown again (no frames expected) until the
    // next request; then done.
    void Pause(std::function<void()> done);
    // Nothing more reaches the protocol until the next request (a window
    // that shows the frames has been hidden).
    void StopDecoding();
    // The requests are done and the result is about to be shown: the
    // hourglass and the progress window go (kinds without a live step call
    // it after their last step).
    void EndProgress();
    // No more requests (a pending wait is dropped), the frames decoded no
    // more, the line quiet, the continuation spaces, the line given back, the
    // cursor and the progress window restored; then ended(). Runs once; may
    // finish before it returns.
    void End();

signals:
    void ended();

private:
    // What the run waits for.
    enum class Wait {
        None,
        Frame,     // a step's frame
        StepQuiet, // the line quiet after a step
        Request,   // a detail request's frame
        Drain,     // a request still leaving the port (Esc does not cut it)
        Quiet,     // the line quiet before the continuation (Esc cuts it)
    };

    void Send(const StatStep& step);
    void NextStep();
    void Quiet(std::function<void()> then);
    void Finish();
    void SetWait(Wait wait);
    void Wake();
    void Advance();
    void Parse(const uint8_t* data, int code);
    bool Alive() const;
    void Cursor(bool busy);

    StatContext& m_ctx;
    StatProtocol& m_protocol;
    Hooks m_hooks;
    QPointer<RequestTracker> m_tracker;
    QPointer<TAts> m_ats;
    int m_number = 0;
    std::unique_ptr<RequestSession> m_session;
    bool m_ended = false;
    bool m_finished = false;
    bool m_busyCursor = false;
    bool m_progressShown = false;
    bool m_decoded = false; // the one-shot frame of the last request was decoded

    Wait m_wait = Wait::None;
    std::vector<StatStep> m_steps;
    size_t m_next = 0;
    std::function<void()> m_stepsDone;
    std::function<void(bool)> m_requestDone;
    std::function<void()> m_quietDone;
    QTimer m_wake;  // the next look at the wait, from the event loop
    QTimer m_drain; // the port's output while the line drains
    QTimer m_guard; // a look now and then while waiting
};
