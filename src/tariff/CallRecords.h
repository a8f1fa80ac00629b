#pragma once
// Call records: a call start frame becomes a row of TarifTA2; the call end
// frame of the same kit and exchange matches it, bills it (Billing.h) and
// writes one row to DestTar and one to the day file.
//
// Each billed call is one transaction over DestTar, the day file and the
// deletion of its start row, committed before OnCallEnd goes on: a process
// killed or a power cut at any moment leaves the call either wholly billed
// (and its start row gone) or not billed at all (its start row still there).
//
// A call is on stable storage when OnCallStart or OnCallEnd returns; between
// InputBegins and InputDone (the frames of one read from a line) the calls
// share one journal sync, made by InputDone (or, should a handler run the
// event loop first, as soon as the loop turns).
//
// With an outbox (the central call store switched on), each billed call is
// also staged there in the same transaction; the outbox learns that its
// records are durable after each synced commit.
//
// While the tables are lent to a rebuild (Hold .. Resume) the frames are
// kept in arrival order with their arrival time and billed by Resume as if
// they had been billed then.
#include "link/Ats.h"
#include "tariff/Billing.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class Outbox;
class TariffTables;
namespace tables {
class Transaction;
}

class CallRecords : public ICallSink {
public:
    // The duration mode and the free-call limit are read from mode at each
    // call (the operator may change them while the terminal runs).
    // outbox: nullptr when the central call store is off.
    CallRecords(const BillingRules& mode, TariffTables& tables, Outbox* outbox = nullptr);
    ~CallRecords() override;

    void OnCallStart(const AtsSettings& ats, const CallStartNibbles& n) override;
    void OnCallEnd(const AtsSettings& ats, const CallEndNibbles& n) override;
    void InputBegins() override { ++m_input; }
    void InputDone() override;

    // The tables go away (a rebuild): deferred commits are synced, frames
    // are queued from now on.
    void Hold();
    // The tables are back: the queued frames are billed (one sync).
    void Resume();
    bool Held() const { return m_held > 0; }
    int Queued() const { return int(m_queue.size()); }

    // The largest duration the day file's DLIT (Smallint) holds; a longer one
    // is stored as this value and the true one logged (DestTar keeps it).
    static constexpr int kMaxDlit = 32767;

private:
    void Start(const AtsSettings& ats, const CallStartNibbles& n, const QDateTime& now);
    void End(const AtsSettings& ats, const CallEndNibbles& n, const QDateTime& now);
    void EndFailed();
    // Commits a transaction: deferred inside a read, else synced at once.
    bool Commit(tables::Transaction& tx);
    void Sync();
    DestinationLookup Lookup(bool foreign);

    const BillingRules& m_mode;
    TariffTables& m_tables;
    Outbox* m_outbox;
    int m_input = 0;         // depth of InputBegins
    bool m_unsynced = false; // deferred commits wait for Sync
    QTimer m_syncTimer;      // the fallback sync
    int m_held = 0;
    struct Frame {
        const AtsSettings* ats;
        bool start;
        CallStartNibbles startNibbles;
        CallEndNibbles endNibbles;
        QDateTime at;
    };
    std::vector<Frame> m_queue;
};
