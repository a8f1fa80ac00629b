#include "versions/ui/FormGetVers.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

TFormGetVers::TFormGetVers(VersionLineProvider lines, QString curDir, QWidget* mainWindow)
    : VersionTransferForm(std::make_unique<VersionGetSession>(), std::move(lines),
                          std::move(curDir), mainWindow),
      m_get(static_cast<VersionGetSession&>(m_session)) {
    BuildWindow({QStringLiteral("FormGetVers"), QStringLiteral("Выгрузка Версии"),
                 QStringLiteral("Активизируйте программу выгрузки версии из АТС с ПИН по адресу:"),
                 QStringLiteral("И Нажмите Старт  "), QStringLiteral("Старт выгрузки"),
                 QStringLiteral("Приостанов выгрузки")});
    m_loader->setText(QStringLiteral("72000"));

    connect(&m_get, &VersionGetSession::block, this, &TFormGetVers::Block);
    connect(&m_get, &VersionGetSession::completed, this, &TFormGetVers::Completed,
            Qt::QueuedConnection);
    connect(
        &m_get, &VersionGetSession::gaveUp, this,
        [this] {
            Log(QStringLiteral("Станция не отвечает"));
            StopClick();
        },
        Qt::QueuedConnection);
    connect(
        &m_get, &VersionGetSession::failed, this,
        [this](const QString& message) {
            StopClick();
            Dialogs.message(this, message);
        },
        Qt::QueuedConnection);
}

void TFormGetVers::TypeChanged(int index) {
    m_loader->setText(index == 1 ? QStringLiteral("66000") : QStringLiteral("72000"));
}

QString TFormGetVers::ShownText(bool open) const {
    return QStringLiteral("Port %1 %2")
        .arg(PortNumber())
        .arg(open ? QStringLiteral("Ready") : QStringLiteral("Not Ready"));
}

QString TFormGetVers::GivenBackText(bool open) const {
    return open ? QStringLiteral("Порт открыт Com ") + QString::number(PortNumber()) : QString();
}

void TFormGetVers::StartClick() {
    m_memo->clear();
    if (!m_session.Holding()) TakeOverLine();
    if (!m_session.Holding()) return; // another tool holds the line
    Log(PortState(m_session.LineOpen()));
    ResetProgress();
    if (!m_get.Start(Vers::WorkFolder(m_curDir))) {
        Dialogs.message(this, QStringLiteral("Ошибка доступа к файлу"));
        return;
    }
    StartClock();
}

void TFormGetVers::StopClick() {
    m_get.Stop();
    StopClock();
}

void TFormGetVers::Block(const VersionReceiver::Block& b) {
    ShowBlock(b.address, b.area, b.position);
    ShowTotal(b.count, std::max(b.count, kFullVersion));
}

void TFormGetVers::Completed() {
    StopClock();
    m_total->setValue(m_total->maximum());
    const QString work = m_get.WorkFilePath();
    GiveBackLine();
    const QString file =
        Dialogs.save(this, Vers::SaveDialogFolder(m_curDir), QStringLiteral("Файлы версий (*.ver)"),
                     QStringLiteral("ver"));
    const bool saved = !file.isEmpty() && VersionWorkFile::Save(work, file);
    if (!file.isEmpty() && !saved) Dialogs.message(this, QStringLiteral("Ошибка доступа к файлу"));
    // The status list and the roll say where the version went.
    const QString note =
        saved
            ? QStringLiteral("Версия сохранена в ") + QDir::toNativeSeparators(file)
            : QStringLiteral("Версия не сохранена в файл, она в ") + QDir::toNativeSeparators(work);
    if (m_line) {
        m_line->ShowStatus(note);
        m_line->Note(note);
    }
    close();
}
