#pragma once
// The windows' side of every statistics run: the progress window, the
// hourglass, the status line, the question asked before a refresh, the live
// display (the main window minimised while a statistics window is shown, its
// state put back at the end of the run), and the run going on (one kind's
// run with its windows, kept from its button to its end).
#include "stats/StatRun.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

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
    // A run still going on is freed (its line given back at once).
    ~StatDesk();
    StatDesk(const StatDesk&) = delete;
    StatDesk& operator=(const StatDesk&) = delete;

    StatContext& Context() { return m_ctx; }
    QWidget* MainWindow() const { return m_main; }
    TFormStatPr& Progress() { return m_progress; }
    // The hooks that bind a StatRun to these windows.
    StatRun::Hooks Hooks();
    void Status(const QString& line);

    // A Yes/No question over the main window; true for Yes.
    bool Ask(const QString& question);

    // Live display: the main window's state is remembered and the window
    // minimised, `window` shown (the run ends when it is hidden).
    void ShowLive(QWidget* window);
    // Puts the main window's remembered state back (once per ShowLive).
    void RestoreMain();

    // The run of a kind (its windows with it) is kept until Finished; then
    // it is freed from the event loop, outside its own handlers.
    void Keep(QObject* run);
    void Finished(QObject* run);
    // A run is kept: no other starts.
    bool Busy() const { return !m_run.isNull(); }

private:
    StatContext& m_ctx;
    QPointer<QWidget> m_main;
    TFormStatPr& m_progress;
    std::function<void(const QString&)> m_status;
    Qt::WindowStates m_mainState;
    bool m_remembered = false;
    QPointer<QObject> m_run;
};
