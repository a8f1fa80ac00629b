#pragma once
// "Обслуживание АТС" › "Состояние АТС": the button "Снять состояние АТС" runs
// the state summary on the selected exchange, its lines going into
// MemoStateATS; a run that cannot start or is cut short ends the list with
// why.
#include "state/StateSummary.h"

#include <QObject>

#include <memory>

class QPlainTextEdit;
class QPushButton;
struct StateContext;

class AtsStatePage : public QObject {
    Q_OBJECT
public:
    explicit AtsStatePage(StateContext& ctx);

    ~AtsStatePage() override;

    // Clears the list and starts the summary; ignored while another run of
    // the state tabs is going on or before the window has its request timers.
    void StateATSClick();

signals:
    // The summary has ended (also when it could not start).
    void finished(StateSummary::End end);

private:
    // What the list says about a run that could not start or was cut short
    // (empty: nothing).
    QString EndText(StateSummary::End end) const;

    StateContext& m_ctx;
    QPlainTextEdit* m_memo = nullptr;
    std::unique_ptr<StateSummary> m_run;
};
