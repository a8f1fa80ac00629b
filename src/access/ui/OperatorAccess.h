#pragma once
// The operator password on the main window: locks a given list of widgets
// (the nine working pages, the directive entry and its execute button), asks
// for the password at start-up when password use is on, and runs the password
// procedure again for the "Пароль" button.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

// Enables or disables every widget of the list (missing ones are skipped).
void SetWidgetsEnabled(const QList<QPointer<QWidget>>& widgets, bool enabled);

class OperatorAccess : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Unlocked, Locked, Fatal };

    // window: the main window (parent of the dialog, closed on a fatal
    // failure); guarded: what the password locks. registryPath: the settings
    // store (empty: the program's own).
    OperatorAccess(QWidget* window, const QList<QWidget*>& guarded,
                   const QString& registryPath = QString());

    // First show of the main window: the procedure when "PasswEn" is true,
    // missing or unreadable; otherwise the window stays unlocked.
    Outcome AskAtStartup();
    // The "Пароль" button: lock, ask, unlock on a correct password and store
    // the password settings.
    Outcome RunProcedure();
    bool IsLocked() const { return m_locked; }

signals:
    // The dialog is up (tests fill it in from here).
    void DialogShown(QDialog* dialog);
    // OK was pressed with a wrong password: the window stays locked.
    void refused();

private:
    void SetLocked(bool locked);
    Outcome Fatal();

    QPointer<QWidget> m_window;
    QList<QPointer<QWidget>> m_guarded;
    QString m_registryPath;
    bool m_locked = false;
    bool m_running = false;
};
