#include "app/Terminal.h"

#include "central/CentralDelivery.h"
#include "central/CentralSettings.h"
#include "central/Outbox.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"

#include <QDir>
#include <QTimer>

Terminal::Terminal(const QString& curDir, QObject* parent)
    : QObject(parent),
      m_curDir(curDir.isEmpty() ? QDir::currentPath() : QDir(curDir).absolutePath()),
      m_tracker(std::make_unique<RequestTracker>()) {}

Terminal::~Terminal() {
    Shutdown();
}

bool Terminal::Start() {
    // The working folder and the roll folder under it.
    QDir().mkpath(m_curDir + QStringLiteral("/Rulon"));
    m_link.rollDir = m_curDir + QStringLiteral("/Rulon/");
    SetLogDir(m_curDir);

    // Tariff and call tables: the destination tables, today's call table and
    // the two tariff tables; call frames of every exchange go to them.
    m_tables = std::make_unique<TariffTables>(m_curDir);
    m_tables->OpenTables();

    m_reg = std::make_unique<Registry>();
    m_link.registryPath = m_reg->StorePath();
    bool usable = false;
    if (m_reg->IsAccessible()) {
        if (RegistryKey key{*m_reg, CreateSettings::kKey, true}) {
            m_started.Read(*m_reg);
            // After an unclean end the tariff tables are rebuilt first.
            if (m_started.PreviousRunCrashed()) {
                m_recoveryDue = true;
                if (!m_deferRecovery) {
                    const Recovery r = PendingRecovery();
                    tables::RecoverTables(r.tableDir, r.tables, r.hooks);
                    m_recoveryDue = false;
                }
            }
            // Until a clean shut-down writes true, the next start sees a crash.
            usable = m_reg->WriteBool(QStringLiteral("CorrectLogOff"), false);
        }
    }
    if (!usable) {
        m_reg.reset();
        m_shutDown = true;
        m_tables->CloseTables();
        return false;
    }
    // The central call store: every billed call is also staged in its queue.
    const CentralSettings central = CentralSettings::Read(*m_reg);
    if (central.enabled) {
        m_outbox = std::make_unique<Outbox>(m_tables->StandardDir(), central.terminalId);
        QString e;
        if (!m_outbox->Open(&e)) {
            WriteLog(QStringLiteral("Очередь центра не открыта: ") + e);
            m_outbox.reset();
        } else if (central.connInfo.trimmed().isEmpty()) {
            WriteLog(QStringLiteral("Центр: не задана строка подключения (ConnInfo), записи "
                                    "копятся в очереди"));
        } else {
            m_central = central;
        }
    }
    m_calls = std::make_unique<CallRecords>(m_billing, *m_tables, m_outbox.get());
    m_billing.timeMode = m_started.TarifTimeMode;
    m_billing.maxNoPaneTime = m_started.MaxNoPaneTime;
    m_link.duplexMode = m_started.DuplexMode();
    m_link.blockSend = m_started.BlockSend();

    for (int n = 1; n <= ExchangeSet::kCount; ++n) {
        TAts& ats = m_exchanges.Add(std::make_unique<TAts>(m_link, n));
        ats.SetCallSink(m_calls.get());
    }
    return true;
}

// After the journal has settled an interrupted commit, "DestTar.db" and
// "TarifTA2.db" are verified and rebuilt, each closed before and reopened
// after.
Terminal::Recovery Terminal::PendingRecovery() {
    Recovery r;
    r.tableDir = m_tables->StandardDir();
    r.tables = {{QStringLiteral("DestTar.db"),
                 tables::TableDesc::FromFields(TariffTables::DestTarFields())},
                {QStringLiteral("TarifTA2.db"),
                 tables::TableDesc::FromFields(TariffTables::TarifTAFields())}};
    r.hooks.closeTable = [this](const QString& f) { m_tables->CloseTariffTable(f); };
    r.hooks.reopenTable = [this](const QString& f) { m_tables->ReopenTariffTable(f); };
    return r;
}

void Terminal::OpenLines() {
    if (m_shutDown) return;
    Q_ASSERT(!m_recoveryDue); // no call is billed before its tables are sound
    for (int n = 1; n <= ExchangeSet::kCount; ++n)
        if (TAts* ats = Ats(n)) ats->InitSettings();
    m_exchanges.Select(1);
    // Delivery starts with the lines: after the start-up recovery, which
    // must have the table journal to itself.
    if (m_outbox && !m_central.connInfo.isEmpty() && !m_delivery)
        m_delivery =
            std::make_unique<CentralDelivery>(*m_outbox, m_central.connInfo, m_central.terminalId);
    // The bound of an unanswered request ("TimerStatWait").
    if (RegistryKey key{*m_reg, CreateSettings::kKey, true}) {
        const QString name = QStringLiteral("TimerStatWait");
        const int wait = key->ReadInteger(name, 20000);
        if (!key->ValueExists(name)) key->WriteInteger(name, 20000);
        m_tracker->SetWatchdogInterval(wait);
    }
}

void Terminal::SetBlockSend(bool blockSend) {
    m_link.blockSend = blockSend;
    for (int n = 1; n <= ExchangeSet::kCount; ++n)
        if (TAts* ats = Ats(n)) ats->Link().SetBlockSend(blockSend);
}

bool Terminal::LendTable(const QString& path) {
    if (!m_tables || !m_calls || m_shutDown) return false;
    const QString name = m_tables->BillingTableAt(path);
    if (name.isEmpty() || m_lent.contains(name, Qt::CaseInsensitive)) return false;
    // Deferred commits are synced first; closing the table writes and syncs
    // what the journal holds for it and checkpoints the journal.
    m_calls->Hold();
    m_tables->CloseTariffTable(name);
    m_lent.append(name);
    return true;
}

void Terminal::ReturnTables() {
    if (!m_tables || !m_calls) return;
    for (auto it = m_lent.begin(); it != m_lent.end();) {
        if (!m_tables->ReopenTariffTable(*it)) {
            ++it;
            continue;
        }
        it = m_lent.erase(it);
        m_calls->Resume();
    }
    if (!m_lent.isEmpty() && !m_shutDown) {
        WriteLog(
            QStringLiteral("Таблица %1 не открыта после перестройки, кадров вызовов в очереди %2")
                .arg(m_lent.join(QStringLiteral(", ")))
                .arg(m_calls->Queued()));
        QTimer::singleShot(1000, this, [this] { ReturnTables(); });
    }
}

void Terminal::Shutdown(std::optional<int> windowState) {
    if (m_shutDown) return;
    // Tables still lent are taken back, so the queued frames are billed.
    ReturnTables();
    m_shutDown = true;
    // Exchanges: ports and rolls closed; then the tables.
    for (int n = 1; n <= ExchangeSet::kCount; ++n)
        if (TAts* ats = Ats(n)) ats->SetCallSink(nullptr);
    m_exchanges.Clear();
    m_delivery.reset();
    m_calls.reset();
    m_outbox.reset();
    if (m_tables) m_tables->CloseTables();
    if (m_reg) {
        if (RegistryKey key{*m_reg, CreateSettings::kKey, true}) {
            if (windowState) key->WriteInteger(QStringLiteral("WindowState"), *windowState);
            key->WriteBool(QStringLiteral("CorrectLogOff"), true);
        }
    }
}
