#include "central/CentralDelivery.h"

#include "central/Outbox.h"
#include "platform/ProgramLog.h"

#include <algorithm>

CentralDelivery::CentralDelivery(Outbox& outbox, const QString& conninfo, const QString& terminalId,
                                 const CentralSenderOptions& options, QObject* parent)
    : QObject(parent), m_outbox(outbox), m_sender(options) {
    m_downSince = QDateTime::currentDateTime();
    m_linger.setSingleShot(true);
    m_linger.setInterval(kLingerMs);
    connect(&m_linger, &QTimer::timeout, this, [this] { Pump(true); });
    connect(&m_outbox, &Outbox::DurableAdvanced, this, [this] {
        Pump();
        ShowState();
    });
    connect(&m_sender, &CentralSender::Acknowledged, this, &CentralDelivery::OnAcknowledged);
    connect(&m_sender, &CentralSender::Refused, this, &CentralDelivery::OnRefused);
    connect(&m_sender, &CentralSender::LinkUp, this, &CentralDelivery::OnUp);
    connect(&m_sender, &CentralSender::LinkDown, this, &CentralDelivery::OnDown);
    connect(&m_sender, &CentralSender::Ready, this, [this] {
        m_ready = true;
        Pump();
    });
    m_sender.Start(conninfo, terminalId, m_outbox.Epoch());
    ShowState();
}

CentralDelivery::~CentralDelivery() {
    m_sender.Stop();
}

QString CentralDelivery::StateText() const {
    if (!m_up)
        return QStringLiteral("Центр: нет связи с ") +
               m_downSince.toString(QStringLiteral("hh:mm"));
    return QStringLiteral("Центр: в очереди %1").arg(m_outbox.Durable() - m_outbox.Acknowledged());
}

void CentralDelivery::ShowState() {
    const QString text = StateText();
    if (text == m_shown) return;
    m_shown = text;
    emit stateChanged(text);
}

void CentralDelivery::Pump(bool force) {
    if (!m_up || !m_ready) return;
    const qint64 from = std::max(m_outbox.Acknowledged() + 1, m_outbox.FirstKept());
    if (from > m_outbox.Durable()) {
        if (m_backlog) {
            m_backlog = false;
            const QString line = QStringLiteral("Центр: все записи доставлены");
            WriteLog(line);
            emit note(line);
        }
        return;
    }
    if (m_outbox.Durable() - from + 1 < kEarly && !force) {
        if (!m_linger.isActive()) m_linger.start();
        return;
    }
    m_linger.stop();
    const QList<QByteArray> lines = m_outbox.Read(from, kBatch);
    if (lines.isEmpty()) return;
    m_ready = false;
    m_sender.Deliver(m_outbox.Epoch(), from, lines);
}

void CentralDelivery::OnAcknowledged(qint64 epoch, qint64 seq) {
    if (epoch != m_outbox.Epoch()) return;
    // A number beyond what is durable here means the queue was made anew
    // under the same epoch; the outbox refuses it and logs it.
    if (seq > m_outbox.Acknowledged()) m_outbox.Acknowledge(seq);
    ShowState();
}

void CentralDelivery::OnRefused(qint64 epoch, qint64 seq, const QByteArray& line,
                                const QString& reason) {
    if (epoch != m_outbox.Epoch()) return;
    m_outbox.SetAside(line, reason);
    emit note(
        QStringLiteral("Центр: запись %1 отклонена сервером и отложена: %2").arg(seq).arg(reason));
}

void CentralDelivery::OnUp() {
    m_up = true;
    if (m_everUp) emit note(QStringLiteral("Центр: связь восстановлена"));
    m_everUp = true;
    ShowState();
}

void CentralDelivery::OnDown(const QString& reason) {
    const bool wasUp = m_up;
    m_up = false;
    m_ready = false;
    if (wasUp) {
        m_downSince = QDateTime::currentDateTime();
        m_linger.setSingleShot(true);
        m_linger.setInterval(kLingerMs);
        connect(&m_linger, &QTimer::timeout, this, [this] { Pump(true); });
        m_backlog = true;
    }
    emit note(QStringLiteral("Центр: нет связи (%1)").arg(reason.simplified()));
    ShowState();
}
