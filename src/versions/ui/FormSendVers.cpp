#include "versions/ui/FormSendVers.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

TFormSendVers::TFormSendVers(VersionLineProvider lines, QString curDir, QWidget* mainWindow)
    : VersionTransferForm(std::make_unique<VersionSendSession>(), std::move(lines),
                          std::move(curDir), mainWindow),
      m_send(static_cast<VersionSendSession&>(m_session)) {
    BuildWindow({QStringLiteral("FormSendVers"), QStringLiteral("Загрузка версии"),
                 QStringLiteral("Активизируйте программу загрузки версии в АТС по адресу:"),
                 QStringLiteral("и нажмите Старт"), QStringLiteral("Старт загрузки"),
                 QStringLiteral("Приостанов загрузки")});
    m_loader->setText(QStringLiteral("72009"));
    m_delayCaption = new QLabel(QStringLiteral("Задержка"));
    m_delay = new QLabel(QStringLiteral("0"));
    m_delay->setObjectName(QStringLiteral("LabelDelay"));
    m_timeRow->addWidget(m_delayCaption, 0, 4);
    m_timeRow->addWidget(m_delay, 0, 5);

    connect(&m_send, &VersionSendSession::block, this, &TFormSendVers::Block);
    connect(&m_send, &VersionSendSession::delayChanged, this,
            [this](int d) { m_delay->setText(QString::number(d)); });
    // The end of a transfer may close the window: not inside the line's
    // handler.
    connect(&m_send, &VersionSendSession::completed, this, &TFormSendVers::Completed,
            Qt::QueuedConnection);
    connect(&m_send, &VersionSendSession::failed, this, &TFormSendVers::Failed,
            Qt::QueuedConnection);
    connect(
        &m_send, &VersionSendSession::gaveUp, this,
        [this] {
            Log(QStringLiteral("Станция не отвечает"));
            StopClick();
        },
        Qt::QueuedConnection);
}

void TFormSendVers::TypeChanged(int index) {
    m_typeValue = index == 1 ? Vers::Type::Vef : Vers::Type::Planeta;
    m_loader->setText(index == 1 ? QStringLiteral("66009") : QStringLiteral("72009"));
}

QString TFormSendVers::GivenBackText(bool open) const {
    return (m_line ? m_line->ExchangeName() : QString()) +
           (open ? QStringLiteral(" Порт открыт Com ") : QStringLiteral(" Порт закрыт Com ")) +
           QString::number(PortNumber());
}

void TFormSendVers::StartClick() {
    m_memo->clear();
    if (!m_session.Holding()) TakeOverLine();
    if (!m_session.Holding()) return; // another tool holds the line
    Log(PortState(m_session.LineOpen()));
    ResetProgress();
    const bool simplex = !(m_line && m_line->Duplex());
    m_delayCaption->setVisible(simplex);
    m_delay->setVisible(simplex);
    m_delay->setText(QStringLiteral("0"));
    m_time->clear();
    StopClock();
    const QString file = Dialogs.open(this, QString(), Vers::SendDialogFolder(m_curDir),
                                      QStringLiteral("Версии (*.ver);;Все файлы (*.*)"));
    if (file.isEmpty()) return;
    SetBusy(true);
    switch (m_send.Start(file, m_typeValue)) {
    case VersionSender::StartResult::Started:
        return;
    case VersionSender::StartResult::CannotOpen:
        SetBusy(false);
        Dialogs.message(this, QStringLiteral("Файл не найден: ") + file);
        return;
    case VersionSender::StartResult::BadFile:
        SetBusy(false);
        Dialogs.message(this, QStringLiteral("Ошибка чтения файла версии"));
        return;
    case VersionSender::StartResult::CannotReset:
        SetBusy(false);
        Dialogs.message(this, QStringLiteral("Cant Reset InFile"));
        close();
        return;
    }
}

void TFormSendVers::StopClick() {
    m_send.Stop();
    StopClock();
    SetBusy(false);
}

void TFormSendVers::hideEvent(QHideEvent* e) {
    VersionTransferForm::hideEvent(e);
    m_send.Close();
}

void TFormSendVers::Block(const VersionSender::Block& b) {
    ShowBlock(b.address, b.area, b.position);
    ShowTotal(b.index - 1, b.count);
    // The elapsed time counts from the first block of the main area.
    if (m_send.Sender().MainStart() >= 0 && !m_timer1->isActive()) StartClock();
}

void TFormSendVers::Completed() {
    m_total->setValue(m_total->maximum());
    StopClock();
    SetBusy(false);
    close();
    Dialogs.message(this, QStringLiteral("Загрузка Версии в АТС успешно завершена"));
}

void TFormSendVers::Failed(const QString& message) {
    StopClock();
    SetBusy(false);
    Dialogs.message(this, message);
}

void TFormSendVers::SetBusy(bool busy) {
    if (busy == m_busy) return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
