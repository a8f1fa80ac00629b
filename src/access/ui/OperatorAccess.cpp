#include "access/ui/OperatorAccess.h"

#include "access/PasswordLogic.h"
#include "access/ui/PasswordDlg.h"
#include "platform/ProgramLog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

void SetWidgetsEnabled(const QList<QPointer<QWidget>>& widgets, bool enabled) {
    for (const QPointer<QWidget>& w : widgets)
        if (w) w->setEnabled(enabled);
}

OperatorAccess::OperatorAccess(QWidget* window, const QList<QWidget*>& guarded,
                               const QString& registryPath)
    : QObject(window), m_window(window), m_registryPath(registryPath) {
    for (QWidget* w : guarded)
        m_guarded.append(w);
}

void OperatorAccess::SetLocked(bool locked) {
    m_locked = locked;
    SetWidgetsEnabled(m_guarded, !locked);
}

OperatorAccess::Outcome OperatorAccess::AskAtStartup() {
    if (!oper::AskedAtStartup(m_registryPath)) return Outcome::Unlocked;
    return RunProcedure();
}

OperatorAccess::Outcome OperatorAccess::Fatal() {
    QMessageBox::critical(m_window, QStringLiteral("Пароль"), oper::kFatalMessage);
    // Closed from the event loop: the caller may still be inside the window.
    if (m_window) QTimer::singleShot(0, m_window.data(), &QWidget::close);
    return Outcome::Fatal;
}

OperatorAccess::Outcome OperatorAccess::RunProcedure() {
    // A second click while the dialog is up (the button is not locked) does nothing.
    if (m_running) return m_locked ? Outcome::Locked : Outcome::Unlocked;
    m_running = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_running};

    // Owned by the window: a shut-down during the dialog takes it along.
    QPointer<TPasswordDlg> dlg = new TPasswordDlg(m_window);
    struct Dispose {
        QPointer<TPasswordDlg>& d;
        ~Dispose() {
            if (d) d->deleteLater();
        }
    } dispose{dlg};
    oper::PasswordLogic logic(m_registryPath);
    QString error;
    if (!logic.Begin(&error)) {
        WriteLog(QStringLiteral("Пароль: ") + error);
        return Fatal();
    }
    dlg->CheckBox1()->setText(logic.CheckBoxCaption());
    SetLocked(true);
    QTimer::singleShot(0, this, [this, dlg] {
        if (dlg) emit DialogShown(dlg);
    });
    Outcome out = Outcome::Locked;
    if (dlg->exec() == QDialog::Accepted && dlg) {
        bool accepted = false;
        if (!logic.Accepts(dlg->Password()->text(), accepted, &error)) {
            WriteLog(QStringLiteral("Пароль: ") + error);
            return Fatal();
        }
        if (accepted) {
            SetLocked(false);
            if (!logic.Store(dlg->CheckBox1()->isChecked(), dlg->Edit1()->text(),
                             dlg->Edit2()->text(), &error)) {
                WriteLog(QStringLiteral("Пароль: ") + error);
                return Fatal();
            }
            out = Outcome::Unlocked;
        } else {
            emit refused();
        }
    }
    if (dlg) dlg->ClearFields();
    logic.End();
    return out;
}
