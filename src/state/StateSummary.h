#pragma once
// The exchange state summary ("Снять состояние АТС"): four state cells are
// read with "РЯ_" directives, each value captured from the printout through a
// RequestSession on the selected exchange, and turned into plain-language
// lines; "УК_6,-" closes the run. The cells and their readings are a table.
//
// The directives go out through Send (the directive entry, as typed ones);
// the progress window is driven through StateProgress. Every wait handles
// window messages and sleeps; Esc in any wait ends the run: no further
// directive is sent, the progress window is hidden and the line given back.
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QTimer;
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

class StateSummary {
public:
    static constexpr int kValueLength = 5;
    static constexpr int kCaptureMs = 6000;

    enum class End {
        Done,       // four cells read, "УК_6,-" sent
        Escaped,    // the same, with waits shortened by Esc
        LineLost,   // another request took the line, another exchange was selected,
                    // or the program is ending
        NoExchange, // no exchange selected
        LineBusy,   // another request (a statistics run) holds the line: not started
    };

    // The four cells in the order they are read.
    static const std::vector<StateCell>& Cells();
    // The line for a captured value of cell `index` (read in the exchange
    // notation, so stray characters are dropped); nullopt: no line.
    static std::optional<QString> Line(int index, const QString& captured);
    // Progress after cells 1..3.
    static constexpr int kBar[3] = {40, 70, 100};

    // pause: TimerPuuWait, the wait after each cell.
    StateSummary(ExchangeSet& exchanges, RequestTracker& tracker, QTimer& pause);

    std::function<void(const QString&)> Send;   // one directive to the selected exchange
    std::function<void(const QString&)> OnLine; // each line as it is formed
    StateProgress Progress;
    // Bound of each capture wait; a value that does not come within it gives
    // no line and the run goes on.
    int CaptureMs = kCaptureMs;

    End Run();

private:
    void SendDirective(const QString& text) const;

    ExchangeSet& m_exchanges;
    RequestTracker& m_tracker;
    QTimer& m_pause;
};
