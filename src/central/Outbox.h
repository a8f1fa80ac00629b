#pragma once
// The local queue of the central call store ("Central.que" in the tariff
// database's folder): every billed call is staged here in the same journal
// transaction as its DestTar and day-file rows, so a call is in both or in
// neither. The file is written through tables::TxFile.
//
// Layout: a header (magic, queue epoch, acknowledged sequence number, base:
// the sequence number before the first record kept, checksum), then records
// (length, sequence number, checksum, one COPY line). Sequence numbers are
// dense per epoch and start at 1; the epoch is a random positive 63-bit
// number chosen whenever the queue is made anew.
//
// A damaged file (bad header, a record that fails its checksum or is cut
// short) is set aside as "Central.que.damaged-<yyyyMMddhhmmss>" with a line in
// the program log; a new epoch begins, and the unacknowledged records before
// the damage are carried into it (fresh keys), so they stay deliverable.
//
// Used on the main thread only.
#include "central/CentralRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

namespace tables {
class TxFile;
}

struct OutboxStatus {
    bool exists = false; // a queue file is there and readable
    qint64 epoch = 0;
    qint64 last = 0;         // highest sequence number staged (committed)
    qint64 acknowledged = 0; // by the central store
    qint64 pending = 0;      // last - acknowledged
    QDateTime oldestPending; // end time of the oldest pending call (invalid: none)
    qint64 quarantined = 0;  // records set aside as refused
    QString error;           // why the file could not be read
};

class Outbox : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kFileName = "Central.que";
    static constexpr const char* kQuarantineName = "CentralQuarantine.txt";
    static constexpr int kAckFlushMs = 1000;

    // dir: the tariff database's folder (the journal's); terminalId goes into
    // every record.
    Outbox(const QString& dir, const QString& terminalId, QObject* parent = nullptr);
    ~Outbox() override;

    // Opens the queue, creating it when missing. A damaged file is set aside
    // and a new epoch begins (logged). False (why in error) when the file
    // cannot be made or written.
    bool Open(QString* error);
    bool IsOpen() const;
    QString Path() const;

    // Stages one record in the running Transaction (the caller's); fills in
    // terminalId, epoch and seq. A rollback of that transaction takes the
    // sequence number back. False without a running transaction or on a
    // write failure.
    bool Stage(CentralRecord r);

    qint64 Epoch() const { return m_epoch; }
    // Highest sequence number staged (committed or in the running transaction).
    qint64 Last() const { return m_base + qint64(m_offsets.size()); }
    // Highest sequence number known to be on stable storage.
    qint64 Durable() const { return m_durable; }
    // Called after a synced commit or FlushJournals: every committed record
    // is durable now. When Durable() grew, DurableAdvanced follows from the
    // event loop (once for several calls).
    void MarkDurable();
    // First sequence number still kept in the file (earlier ones were
    // acknowledged and compacted away).
    qint64 FirstKept() const { return m_base + 1; }
    // Up to maxCount durable COPY lines (each ending in '\n'), for the
    // sequence numbers from max(fromSeq, FirstKept()) on, consecutive.
    QList<QByteArray> Read(qint64 fromSeq, int maxCount) const;

    qint64 Acknowledged() const { return m_acked; }
    // Keeps the central store's acknowledged number in a transaction of its
    // own, synced with the next call or within kAckFlushMs; refused while
    // another transaction is current.
    // Numbers at or below Acknowledged() change nothing; one beyond
    // Durable() is refused (logged). When everything is acknowledged the
    // file is cut back to its header; when a large acknowledged head is
    // left, the pending tail is moved to the front.
    bool Acknowledge(qint64 seq);

    // Appends a refused record to the quarantine file beside the queue
    // ("CentralQuarantine.txt": time, reason, the line) and logs it.
    bool SetAside(const QByteArray& line, const QString& reason);

    // The state of the queue in dir, read without opening it for writing
    // (for a status command beside the running terminal).
    static OutboxStatus ReadStatus(const QString& dir);

signals:
    // Durable() has grown (to durable); the controller sends more.
    void DurableAdvanced(qint64 durable);

private:
    bool Create(const QList<QByteArray>& carried, QString* error);
    bool Load(QString* why, QList<QByteArray>* salvaged);
    bool WriteHeader();
    void Resync();
    QByteArray LineAt(qint64 seq) const;

    QString m_dir;
    QString m_terminalId;
    std::unique_ptr<tables::TxFile> m_file;
    qint64 m_epoch = 0;
    qint64 m_acked = 0;
    qint64 m_base = 0;
    qint64 m_durable = 0;
    qint64 m_committedLast = 0;    // records up to here are committed
    std::vector<qint64> m_offsets; // file offset of seq base+1+i
    qint64 m_end = 0;              // end of the last record
    QTimer m_notify;               // DurableAdvanced from the event loop
    bool m_flushPending = false;   // a flush of a deferred acknowledgement is due
};
