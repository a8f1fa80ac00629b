#pragma once
// The "Статистика" tab: its six buttons, the progress window TFormStatPr and
// the runs the buttons start. One object per main window (its child).
//
// A kind of statistics is a protocol class (src/stats) with its windows and
// a run function; SetRun binds the run to its button. All six kinds are
// bound here; a button without a run stays disabled.
#include "stats/StatRun.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPushButton;
class QWidget;
class RequestTracker;
class StatDesk;
class TFormStatPr;
class ExchangeSet;

// The buttons, in their order on the tab.
struct StatButtonInfo {
    const char* name;
    QString caption;
    QString hint;
};
const std::vector<StatButtonInfo>& StatButtonCatalogue();

class StatButtons : public QObject {
    Q_OBJECT
public:
    using Run = std::function<void(StatDesk&)>;

    // Builds the buttons on page (may be null: no buttons) and the progress
    // window, and binds the progress window to the tracker. status: a line
    // for the main window's status list.
    StatButtons(QWidget* page, ExchangeSet& exchanges, RequestTracker& tracker,
                const QString& curDir, QWidget* mainWindow,
                std::function<void(const QString&)> status = {});
    ~StatButtons() override;

    TFormStatPr* Progress() const { return m_progress.get(); }
    StatContext& Context() { return m_ctx; }
    StatDesk& Desk() { return *m_desk; }
    QPushButton* Button(const QString& name) const;

    // Binds a button (by name) to a run; the button is enabled.
    void SetRun(const QString& name, Run run);
    // A button's click: its run starts, unless a run is already active; it
    // goes on on the event loop.
    void Click(const QString& name);

private:
    StatContext m_ctx;
    std::unique_ptr<TFormStatPr> m_progress;
    std::unique_ptr<StatDesk> m_desk;
    std::vector<std::pair<QPushButton*, Run>> m_buttons;
};
