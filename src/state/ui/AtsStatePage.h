#pragma once
// "Обслуживание АТС" › "Состояние АТС": the button "Снять состояние АТС" runs
// the state summary on the selected exchange, its lines going into
// MemoStateATS.
#include <QObject>

class QPlainTextEdit;
class QPushButton;
struct StateContext;

class AtsStatePage : public QObject {
    Q_OBJECT
public:
    explicit AtsStatePage(StateContext& ctx);

    // Clears the list and runs the summary; ignored while another run of the
    // state tabs is going on or before the window has its request timers.
    void StateATSClick();

private:
    StateContext& m_ctx;
    QPlainTextEdit* m_memo = nullptr;
};
