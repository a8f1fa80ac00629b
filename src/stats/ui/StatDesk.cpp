#include "stats/ui/StatDesk.h"

#include "stats/ui/FormStatPr.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    Release();
}

void BusyCursor::Release() {
    if (!m_on) return;
    m_on = false;
    QApplication::restoreOverrideCursor();
}

StatDesk::StatDesk(StatContext& ctx, QWidget* mainWindow, TFormStatPr& progress,
                   std::function<void(const QString&)> status)
    : m_ctx(ctx), m_main(mainWindow), m_progress(progress), m_status(std::move(status)) {}

StatDesk::~StatDesk() {
    m_remembered = false; // the main window is going too
    delete m_run.data();
}

StatRun::Hooks StatDesk::Hooks() {
    StatRun::Hooks h;
    h.showProgress = [this] { m_progress.ShowProgress(); };
    h.setProgress = [this](int v) { m_progress.SetProgress(v); };
    h.hideProgress = [this] { m_progress.HideProgress(); };
    h.busyCursor = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    h.status = [this](const QString& line) { Status(line); };
    return h;
}

void StatDesk::Status(const QString& line) {
    if (m_status) m_status(line);
}

bool StatDesk::Ask(const QString& question) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), question,
                    QMessageBox::Yes | QMessageBox::No, m_main);
    return box.exec() == QMessageBox::Yes;
}

void StatDesk::ShowLive(QWidget* window) {
    if (m_main) {
        m_mainState = m_main->windowState();
        m_remembered = true;
        m_main->setWindowState(m_mainState | Qt::WindowMinimized);
    }
    window->show();
    window->raise();
}

void StatDesk::RestoreMain() {
    if (!m_remembered) return;
    m_remembered = false;
    if (m_main) m_main->setWindowState(m_mainState);
}

void StatDesk::Keep(QObject* run) {
    delete m_run.data();
    m_run = run;
}

void StatDesk::Finished(QObject* run) {
    if (run != m_run) return;
    QTimer::singleShot(0, &m_progress, [this, done = QPointer<QObject>(run)] {
        if (done && done == m_run) delete done.data();
    });
}
