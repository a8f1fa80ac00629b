#pragma once
// Delivers batches of the outbox's records to the central PostgreSQL server,
// off the call path: the connection lives on a thread of its own and never
// blocks (libpq in non-blocking mode, woken by socket notifiers and timers).
//
// Each batch is one server transaction: COPY into a session's staging table,
// INSERT INTO varnel_calls ... ON CONFLICT DO NOTHING, and the terminal's
// acknowledged number raised in varnel_ack. A batch sent twice lands once.
// After every (re)connect the sender reads the server's acknowledged number
// and reports it (Acknowledged), so delivery resumes there: a COMMIT whose
// answer was lost is neither lost nor doubled.
//
// A batch the server refuses for its content (SQLSTATE class 22 or 23) is
// split until the refused record is found; that record goes into
// varnel_quarantine in the same transaction that moves the acknowledged
// number past it (the key sequence stays dense), is reported by Refused, and
// the rest is delivered. A lost connection, a timeout or any other error
// drops the connection and is never taken for a bad record: the batch in
// flight is forgotten, and the sender reconnects with exponential backoff and
// jitter.
//
// The controller's rule: on Acknowledged take the number as the server's; on
// Ready deliver the records after the acknowledged number. Deliver outside
// Ready (link down, a batch in flight) is dropped; Ready comes again.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QThread>

struct CentralSenderOptions {
    int connectTimeoutMs = 10000;
    int statementTimeoutMs = 30000; // per step, and the server's statement_timeout
    int backoffMinMs = 500;
    int backoffMaxMs = 30000;
    int keepaliveIdleS = 30;     // TCP keepalive: a silent peer is given up after
    int keepaliveIntervalS = 10; // idle + interval * count seconds
    int keepaliveCount = 3;
};

class CentralSenderWorker;

class CentralSender : public QObject {
    Q_OBJECT
public:
    explicit CentralSender(const CentralSenderOptions& options = {}, QObject* parent = nullptr);
    ~CentralSender() override; // closes the connection and ends the thread

    // Connects, and keeps reconnecting, for terminalId's records of the queue
    // epoch. conninfo is a libpq connection string or URI (no password: the
    // password file or service file supplies it).
    void Start(const QString& conninfo, const QString& terminalId, qint64 epoch);
    void Stop();
    // One batch: lines[i] is the COPY line of sequence number firstSeq + i.
    // A batch of another epoch first reads the server's number for it.
    void Deliver(qint64 epoch, qint64 firstSeq, const QList<QByteArray>& lines);

signals:
    void LinkUp();
    void LinkDown(const QString& reason); // once per loss (or first failure)
    // The server holds every record of epoch up to seq (delivered or quarantined).
    void Acknowledged(qint64 epoch, qint64 seq);
    void Refused(qint64 epoch, qint64 seq, const QByteArray& line, const QString& reason);
    // Connected and idle: the next batch is welcome.
    void Ready();

private:
    QThread m_thread;
    CentralSenderWorker* m_worker;
};
