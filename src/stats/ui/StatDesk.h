#pragma once
// The windows' side of every statistics run: the progress window, the
// hourglass, the status line, the question asked before a refresh, and the
// live display (the main window minimised while a statistics window is
// shown, its state put back at the end of the run).
#include "stats/StatRun.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QTimer;
class TFormStatPr;

// The hourglass cursor from construction to Release or destruction.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    void Release();

private:
    bool m_on = true;
};

class StatDesk {
public:
    StatDesk(StatContext& ctx, QWidget* mainWindow, TFormStatPr& progress,
             std::function<void(const QString&)> status);

    StatContext& Context() { return m_ctx; }
    QWidget* MainWindow() const { return m_main; }
    TFormStatPr& Progress() { return m_progress; }
    // The hooks that bind a StatRun to these windows.
    StatRun::Hooks Hooks();
    void Status(const QString& line);

    // A Yes/No question over the main window; true for Yes.
    bool Ask(const QString& question);

    // Live display: the main window's state is remembered and the window
    // minimised, `window` shown; the event loop runs while it is visible.
    void ShowLive(QWidget* window);
    // Puts the main window's remembered state back (once per ShowLive).
    void RestoreMain();
    // A timer of the main window by name ("TimerStatAK"); null when it has
    // none.
    QTimer* MainTimer(const QString& name) const;

private:
    StatContext& m_ctx;
    QPointer<QWidget> m_main;
    TFormStatPr& m_progress;
    std::function<void(const QString&)> m_status;
    Qt::WindowStates m_mainState;
    bool m_remembered = false;
};
