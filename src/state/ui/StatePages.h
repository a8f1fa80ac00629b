#pragma once
// The equipment state tabs of the main window, built into its pages (found by
// caption) by one constructor call:
// - "Обслуживание АТС" › "Состояние ПУУ": the sub-tabs "Состояние БГ",
//   "Состояние ВВК", "Состояние УВП с ПАК", "Состояние УВП с ПАКР" (PuuPages);
// - "Обслуживание АТС" › "Состояние АТС": the state summary (AtsStatePage);
// - "Сбои": the failure word analysis (FaultsPage);
// - "Директивы ТО" › "Ремонт ШК", "Ремонт ИК", "Ремонт ВК": the kit repair
//   directives (RepairPages).
// Directives go out through the hooks' Send (the directive entry); nothing
// here knows the console.
#include "state/StateSummary.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AtsStatePage;
class FaultsPage;
class PuuPages;
class QTimer;
class QWidget;
class RepairPages;
class RequestTracker;
class ExchangeSet;
class QPushButton;
class TabPages;

// What the window lends the state tabs.
struct StateHooks {
    // One directive through the directive entry: reset, set the text, execute.
    std::function<void(const QString&)> Send;
    // The status bar's first panel.
    std::function<void(const QString&)> Hint;
    // The request timers (they exist once the window has been created).
    std::function<RequestTracker*()> Tracker;
    // The statistics progress window.
    StateProgress Progress;
    // A button the directive catalogue made (by its entry's name), or null.
    std::function<QPushButton*(const QString&)> CatalogueButton;
};

// Shared by the tabs: the hooks, the pause timer and the one run at a time.
struct StateContext {
    QWidget* window = nullptr;
    TabPages* pages = nullptr;
    ExchangeSet* exchanges = nullptr;
    StateHooks hooks;
    QTimer* puuWait = nullptr;
    // A request sequence or the state summary is running: further starts are
    // ignored until it ends.
    bool busy = false;

    void Send(const QString& directive) const {
        if (hooks.Send) hooks.Send(directive);
    }
};

class StatePages : public QObject {
    Q_OBJECT
public:
    // The pause between the state directives.
    static constexpr int kPuuWaitMs = 6000;

    // Builds into window's pages; belongs to window.
    StatePages(QWidget* window, TabPages& pages, ExchangeSet& exchanges, StateHooks hooks);
    ~StatePages() override;

    // Binds the progress window (when it is made after the tabs).
    void SetProgress(StateProgress progress);
    StateContext& Context() { return m_ctx; }
    // The pause timer ("TimerPuuWait", kPuuWaitMs, single shot).
    QTimer& PuuWaitTimer() { return *m_ctx.puuWait; }

    PuuPages* Puu() const { return m_puu.get(); }
    AtsStatePage* AtsState() const { return m_atsState.get(); }
    FaultsPage* Faults() const { return m_faults.get(); }
    RepairPages* Repair() const { return m_repair.get(); }

private:
    StateContext m_ctx;
    // The tabs refer to the context: declared after it, they go first.
    std::unique_ptr<PuuPages> m_puu;
    std::unique_ptr<AtsStatePage> m_atsState;
    std::unique_ptr<FaultsPage> m_faults;
    std::unique_ptr<RepairPages> m_repair;
};
