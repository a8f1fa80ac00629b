#pragma once
// The exchange state summary ("Снять состояние АТС"): four state cells are
// read with "РЯ_" directives, each value captured from the printout through a
// RequestSession on the selected exchange, and turned into plain-language
// lines; "УК_6,-" closes the run. The cells and their readings are a table.
//
// The directives go out through Send (the directive entry, as typed ones);
// the progress window is driven through StateProgress. The run is a state
// machine woken by the line, its timers and Esc: each cell's capture waits
// for the directive to leave the line and then up to CaptureMs for the value,
// then the pause timer runs. Esc cuts the wait it falls into short (and any
// wait while it is held); the sequence goes on and ends as Escaped. A cell
// whose value does not come says so ("нет ответа"). A run that cannot start
// or loses its line ends at once with what it has formed so far.
#include "link/RequestSession.h"
#include "link/StepWait.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;
class TAts;
class RequestTracker;
class ExchangeSet;

// The progress window of a run (the statistics progress window: caption
// "Сбор информации. ESCAPE - выход", one bar 0..100). Unset members do
// nothing.
struct StateProgress {
    std::function<void()> Show; // shown with its bar at 0
    std::function<void(int)> SetBar;
    std::function<void()> Hide;
};

// One state cell: the directive that prints it, the prefix that introduces
// its value, and the reading: value & mask looked up in cases, else
// otherwise (empty: no line).
struct StateCell {
    struct Case {
        int value;
        const char* text;
    };
    QString directive;
    QString prefix;
    int mask;
    std::vector<Case> cases;
    const char* otherwise = "";
};

class StateSummary : public QObject {
    Q_OBJECT
public:
    static constexpr int kValueLength = 5;
    static constexpr int kCaptureMs = 6000;

    enum class End {
        Done,       // four cells read, "УК_6,-" sent
        Escaped,    // the same, with waits shortened by Esc
        LineLost,   // the port closed or went away, another exchange was
                    // selected, or the exchange went away: cut short
        NoExchange, // no exchange selected: not started
        LineBusy,   // another tool holds the line: not started
        LineOff,    // the exchange's port is not open: not started
    };
    // What holds the line, as "идет ..." names it.
    static inline const QString kOwner = QStringLiteral("снятие состояния АТС");
    static inline const QString kNoAnswer = QStringLiteral(": нет ответа");

    // The four cells in the order they are read.
    static const std::vector<StateCell>& Cells();
    // The line for a captured value of cell `index` (read in the exchange
    // notation, so stray characters are dropped); nullopt: no line.
    static std::optional<QString> Line(int index, const QString& captured);
    // The line of a cell whose value did not come: "Ячейка 00077: нет ответа".
    static QString NoAnswerLine(int index);
    // Progress after cells 1..4; 100 once "УК_6,-" has gone out.
    static constexpr int kBar[4] = {20, 40, 60, 80};

    // pause: the state tabs' pause timer, the wait after each cell.
    StateSummary(ExchangeSet& exchanges, RequestTracker& tracker, QTimer& pause);
    ~StateSummary() override;

    std::function<void(const QString&)> Send;   // one directive to the selected exchange
    std::function<void(const QString&)> OnLine; // each line as it is formed
    std::function<void(End)> OnEnd;             // once, when the run is over
    StateProgress Progress;
    // Bound of each capture wait; a value that does not come within it gives
    // no line and the run goes on.
    int CaptureMs = kCaptureMs;

    // Starts the run. A run that cannot start (NoExchange, LineBusy,
    // LineOff) ends at once: OnEnd is called before Run returns.
    void Run();
    bool Running() const { return m_running; }

private:
    void ReadCell();
    void CellRead(RequestSession::CaptureEnd end, const QString& value);
    void Paused(StepWait::End end);
    void Close();
    void Finish(End end);
    void SendDirective(const QString& text) const;

    ExchangeSet& m_exchanges;
    RequestTracker& m_tracker;
    QTimer& m_pause;
    QPointer<TAts> m_ats;
    std::unique_ptr<RequestSession> m_session;
    QMetaObject::Connection m_lost;
    StepWait m_wait;
    size_t m_cell = 0;
    End m_end = End::Done;
    bool m_running = false;
};
