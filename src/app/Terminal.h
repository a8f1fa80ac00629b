#pragma once
// The terminal without its window: the settings store, the four exchanges and
// the selected one, the request timers, the tariff tables and the call
// records, the automatic scripts (each exchange's) and the start-up recovery.
// main() builds it; the main window binds its views to it, and a program with
// only a QCoreApplication can run it as it is.
//
// Life: Start() (folders, program log, tables, settings, recovery after an
// unclean end, the exchanges), OpenLines() (each exchange's settings; the
// lines that were on are opened), Shutdown() (lines, rolls and tables closed,
// the clean end noted). The destructor shuts down when that has not happened.
#include "app/CreateSettings.h"
#include "link/ExchangeSet.h"
#include "link/LinkOptions.h"
#include "tables/StartupRecovery.h"
#include "tariff/Billing.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Registry;
class RequestTracker;
class TAts;
class TCallRecords;
class TTariffTables;

class Terminal : public QObject {
    Q_OBJECT
public:
    // Runs the start-up recovery of the tables in list (in tableDir): with a
    // window in the terminal, without one in a headless program.
    using Recovery =
        std::function<void(const QString& tableDir, const QList<tables::RecoveryTable>& list,
                           const tables::RecoveryHooks& hooks)>;

    // curDir empty: the current working directory.
    explicit Terminal(const QString& curDir = QString(), QObject* parent = nullptr);
    ~Terminal() override;

    void SetRecovery(Recovery recovery) { m_recovery = std::move(recovery); }

    // False when the settings store cannot be used: nothing of the terminal
    // then runs and the program must end.
    bool Start();
    // Each exchange's settings are read and the lines that were on are
    // opened; exchange 1 is selected; the request watchdog's bound is read.
    void OpenLines();
    // Exchanges, request timers and tables end; the clean end is noted (with
    // the window state when one is given). Runs once.
    void Shutdown(std::optional<int> windowState = std::nullopt);
    // Started and not yet shut down.
    bool IsRunning() const { return m_reg && !m_shutDown; }

    const QString& CurDir() const { return m_curDir; }
    const QString& RegistryPath() const { return m_link.RegistryPath; }
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
    TTariffTables& Tables() { return *m_tables; }
    TCallRecords& Calls() { return *m_calls; }

private:
    void RecoverTariffTables();

    QString m_curDir;
    LinkOptions m_link;
    BillingRules m_billing;
    CreateSettings m_started;
    Recovery m_recovery;
    std::unique_ptr<Registry> m_reg;
    std::unique_ptr<TTariffTables> m_tables;
    std::unique_ptr<TCallRecords> m_calls;
    std::unique_ptr<RequestTracker> m_tracker;
    ExchangeSet m_exchanges;
    bool m_shutDown = false;
};
