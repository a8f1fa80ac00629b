#pragma once
// One wait of a sequence that must not block (a state machine's step): until
// an exchange's queued bytes have gone, or until a timer fires. With escEnds,
// a press of Esc, or Esc already held when the wait begins, ends it early.
// The end is reported once, always from the event loop (never from inside
// the call that began the wait), so a sequence goes on from a clean stack.
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class QTimer;
class TAts;

class StepWait : public QObject {
    Q_OBJECT
public:
    enum class End {
        Done,    // drained, or the timer fired
        Escaped, // Esc ended it early (the timer is then stopped)
        Gone,    // the exchange went away
    };
    using Report = std::function<void(End)>;

    explicit StepWait(QObject* parent = nullptr);
    ~StepWait() override;

    // Until ats's line has sent what is queued (at once when nothing is).
    void ForLine(TAts& ats, bool escEnds, Report done);
    // Until timer (started here, single shot) fires.
    void ForTimer(QTimer& timer, bool escEnds, Report done);
    // Ends a wait without a report (a timer it started is stopped).
    void Stop();
    bool Active() const { return m_active; }

private:
    bool Begin(bool escEnds, Report done);
    void Finish(End end);
    void Disconnect();

    Report m_done;
    bool m_active = false;
    bool m_ending = false;
    unsigned m_generation = 0;
    QPointer<QTimer> m_timer;
    std::vector<QMetaObject::Connection> m_links;
};
