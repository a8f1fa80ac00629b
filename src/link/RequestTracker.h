#pragma once
// The answer timers of the requests the terminal makes of an exchange (memory
// reads of the statistics, cell captures of the state analysis), one set for
// the program:
// - TimerStat (100 ms): counts the ticks since the last request; a capture
//   still pending after 100 ticks (about 10 s) gives up;
// - TimerWeStillGetIt (2000 ms): restarted by every data-frame header, so a
//   waiting loop sees whether frames are still arriving;
// - TimerWeStillDontGet: the no-answer watchdog, armed by a request while
//   RequestPending; it asks the operator (through AskNoAnswer) whether to
//   retry, abort or go on waiting;
// - TimerReceiveData (40 ms): the receive indicator of the progress window
//   lights for a moment per data frame while that window is visible.
#include <QObject>
#include <QString>

#include <functional>

class QTimer;
class RequestSession;

class RequestTracker : public QObject {
    Q_OBJECT
public:
    enum class NoAnswer { Cancel, Abort, Retry };

    explicit RequestTracker(QObject* parent = nullptr);
    ~RequestTracker() override;

    // The no-answer watchdog's interval ("TimerStatWait"); 10000 ms until set.
    void SetWatchdogInterval(int ms);
    // Data frames have been arriving within the last 2000 ms.
    bool FramesArriving() const;

    QTimer* TimerStat = nullptr;
    QTimer* TimerWeStillGetIt = nullptr;
    QTimer* TimerWeStillDontGet = nullptr;
    QTimer* TimerReceiveData = nullptr;

    bool RequestPending = false; // a run is waiting for answers: arms the watchdog
    bool AbortRequest = false;   // the operator chose to abort
    QString LastRequest;         // for the retry

    // The operator's answer to "Станция не отвечает. Прервать?"; without one,
    // Cancel.
    std::function<NoAnswer()> AskNoAnswer;
    // Whether the statistics progress window is visible (its indicator lights).
    std::function<bool()> ProgressVisible;

    void TimerStatTimer();
    void TimerWeStillGetItTimer();
    void TimerWeStillDontGetTimer();
    void TimerReceiveDataTimer();

signals:
    // The progress window's receive indicator: lit (lime) or back to normal.
    void indicator(bool lit);

private:
    friend class RequestSession;
    void Sent(RequestSession& s, const QString& text);
    void DataHeaderSeen();
    void Detach(RequestSession* s);

    RequestSession* m_current = nullptr; // the session whose request is timed
};
