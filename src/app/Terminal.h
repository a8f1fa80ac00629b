#pragma once
// The terminal without its window: the settings store, the four exchanges and
// the selected one, the request timers, the tariff tables and the call
// records, the automatic scripts (each exchange's) and the start-up recovery.
// main() builds it; the main window binds its views to it, and a program with
// only a QCoreApplication can run it as it is.
//
// Life: Start() (folders, program log, tables, settings, the exchanges; after
// an unclean end the tariff tables are recovered first), OpenLines() (each
// exchange's settings; the lines that were on are opened), Shutdown() (lines,
// rolls and tables closed, the clean end noted). The destructor shuts down
// when that has not happened.
#include "app/CreateSettings.h"
#include "central/CentralSettings.h"
#include "link/ExchangeSet.h"
#include "link/LinkOptions.h"
#include "tables/StartupRecovery.h"
#include "tariff/Billing.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class Registry;
class RequestTracker;
class TAts;
class CallRecords;
class Outbox;
class CentralDelivery;
class TariffTables;

class Terminal : public QObject {
    Q_OBJECT
public:
    // The start-up recovery of the tariff tables after an unclean end.
    struct Recovery {
        QString tableDir;
        QList<tables::RecoveryTable> tables;
        tables::RecoveryHooks hooks; // the tables closed before, reopened after
    };

    // curDir empty: the current working directory.
    explicit Terminal(const QString& curDir = QString(), QObject* parent = nullptr);
    ~Terminal() override;

    // Start() then leaves a due recovery to the caller (a window that shows
    // the work): RecoveryDue(), PendingRecovery(), RecoveryDone(), all before
    // OpenLines(). Without this Start() recovers at once.
    void DeferRecovery() { m_deferRecovery = true; }
    // False when the settings store cannot be used: nothing of the terminal
    // then runs and the program must end.
    bool Start();
    bool RecoveryDue() const { return m_recoveryDue; }
    Recovery PendingRecovery();
    void RecoveryDone() { m_recoveryDue = false; }
    // Each exchange's settings are read and the lines that were on are
    // opened; exchange 1 is selected; the request watchdog's bound is read.
    void OpenLines();
    // Exchanges and tables end; the clean end is noted (with the window state
    // when one is given). Runs once.
    void Shutdown(std::optional<int> windowState = std::nullopt);
    // Started and not yet shut down.
    bool IsRunning() const { return m_reg && !m_shutDown; }

    const QString& CurDir() const { return m_curDir; }
    const QString& RegistryPath() const { return m_link.registryPath; }
    // The values read at start from the program-wide key.
    const CreateSettings& Started() const { return m_started; }
    const LinkOptions& Link() const { return m_link; }
    // The duration mode and the free-call limit in force (the operator's
    // changes apply from the next billed call).
    BillingRules& Billing() { return m_billing; }
    // The link's send discipline ("Platform"), applied to every line at once.
    void SetBlockSend(bool blockSend);

    Registry& Reg() { return *m_reg; }
    ExchangeSet& Exchanges() { return m_exchanges; }
    TAts* Ats(int number) const { return m_exchanges.At(number); }
    TAts* Current() const { return m_exchanges.Current(); }
    RequestTracker& Tracker() { return *m_tracker; }
    TariffTables& Tables() { return *m_tables; }
    // The local queue of the central call store; nullptr when it is off
    // (the key "Central", value Enabled) or its file cannot be used.
    Outbox* CentralOutbox() const { return m_outbox.get(); }
    // The delivery of that queue to the central server, from OpenLines() on
    // (nullptr: off, or no connection string set).
    CentralDelivery* Delivery() const { return m_delivery.get(); }

    // The table utility rebuilds a table the billing holds (DestTar,
    // TarifTA2, Sng, Foren): LendTable holds the billing (frames that arrive
    // are queued), settles the journal and closes the table; false when path
    // is no such table. ReturnTables opens the lent tables again and bills
    // the queued frames; a table that cannot be opened yet (another program
    // holds it) is tried again every second, the frames waiting meanwhile.
    bool LendTable(const QString& path);
    void ReturnTables();
    bool TablesLent() const { return !m_lent.isEmpty(); }

private:
    QString m_curDir;
    LinkOptions m_link;
    BillingRules m_billing;
    CreateSettings m_started;
    bool m_deferRecovery = false;
    bool m_recoveryDue = false;
    std::unique_ptr<Registry> m_reg;
    std::unique_ptr<TariffTables> m_tables;
    std::unique_ptr<Outbox> m_outbox;
    CentralSettings m_central; // with a connection string: delivered from OpenLines()
    std::unique_ptr<CentralDelivery> m_delivery;
    std::unique_ptr<CallRecords> m_calls;
    std::unique_ptr<RequestTracker> m_tracker;
    ExchangeSet m_exchanges;
    QStringList m_lent; // tables closed for a rebuild
    bool m_shutDown = false;
};
