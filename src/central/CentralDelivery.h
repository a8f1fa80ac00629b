#pragma once
// Delivery of the outbox to the central store: reads the durable records
// after the server's acknowledged number and hands them to the sender in
// batches, one batch in flight at a time; takes the server's number back into
// the outbox (which then forgets what is delivered), and sets aside what the
// server refuses for its content.
//
// What the operator sees: a short state for the status bar ("Центр: в
// очереди N", "Центр: нет связи с hh:mm") and a line when the link is lost,
// restored, and when everything queued during an outage is delivered.
#include "central/CentralSender.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

class Outbox;

class CentralDelivery : public QObject {
    Q_OBJECT
public:
    static constexpr int kBatch = 2000;
    // Fewer records than kEarly wait up to kLingerMs for company, so a busy
    // line makes batches, not a server commit per call.
    static constexpr int kEarly = 200;
    static constexpr int kLingerMs = 100;

    CentralDelivery(Outbox& outbox, const QString& conninfo, const QString& terminalId,
                    const CentralSenderOptions& options = {}, QObject* parent = nullptr);
    ~CentralDelivery() override;

    QString StateText() const;
    bool LinkIsUp() const { return m_up; }

signals:
    void stateChanged(const QString& text);
    void note(const QString& line);

private:
    void Pump(bool force = false);
    void OnAcknowledged(qint64 epoch, qint64 seq);
    void OnRefused(qint64 epoch, qint64 seq, const QByteArray& line, const QString& reason);
    void OnUp();
    void OnDown(const QString& reason);
    void ShowState();

    Outbox& m_outbox;
    CentralSender m_sender;
    QTimer m_linger;
    bool m_up = false;
    bool m_ready = false;   // the sender takes a batch
    bool m_everUp = false;  // a restore is reported only after a first link
    bool m_backlog = false; // records piled up while the link was down
    QDateTime m_downSince;
    QString m_shown;
};
