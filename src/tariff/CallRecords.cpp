#include "tariff/CallRecords.h"

#include "central/Outbox.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "tables/Table.h"
#include "tables/TxFile.h"
#include "tariff/TariffTables.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

using tables::Table;

namespace {
QString FieldsText(qint64 number, qint64 b, int kit, const CallBill& bill, int cat) {
    return QStringLiteral("NumberStation %1 NumberOutCall %2 AK %3 LongivityCall %4 Category %5 "
                          "CodeCall %6 CodeForeignCall %7 TarifCall %8")
        .arg(number)
        .arg(b)
        .arg(kit)
        .arg(bill.duration)
        .arg(cat)
        .arg(bill.code, bill.codeForeign,
             QString::number(bill.tariff, 'g', QLocale::FloatingPointShortest));
}
} // namespace

CallRecords::CallRecords(const BillingRules& mode, TariffTables& tables, Outbox* outbox)
    : m_mode(mode), m_tables(tables), m_outbox(outbox) {
    // A timer, not a posted call: starting it costs no wake-up of the loop.
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setInterval(0);
    QObject::connect(&m_syncTimer, &QTimer::timeout, &m_syncTimer, [this] { Sync(); });
}

CallRecords::~CallRecords() {
    Sync();
    if (!m_queue.empty())
        WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar: не обработано кадров вызовов %1")
                     .arg(m_queue.size()));
}

bool CallRecords::Commit(tables::Transaction& tx) {
    const bool defer = m_input > 0;
    if (defer) tx.DeferSync();
    QString e;
    if (!tx.Commit(&e)) {
        if (!e.isEmpty()) WriteLog(e);
        return false;
    }
    if (defer && !m_unsynced) {
        m_unsynced = true;
        // Should a handler of the same read run the event loop, the sync
        // does not wait for it.
        m_syncTimer.start();
    }
    if (!defer && m_outbox) m_outbox->MarkDurable();
    return true;
}

void CallRecords::Sync() {
    if (!m_unsynced) return;
    m_unsynced = false;
    QString e;
    if (!tables::SyncJournals(&e))
        WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar ") + e);
    else if (m_outbox)
        m_outbox->MarkDurable();
}

void CallRecords::InputDone() {
    if (m_input > 0) --m_input;
    Sync();
}

void CallRecords::Hold() {
    if (m_held++ == 0) Sync();
}

void CallRecords::Resume() {
    if (m_held == 0 || --m_held > 0) return;
    std::vector<Frame> queue;
    queue.swap(m_queue);
    InputBegins();
    for (const Frame& f : queue) {
        if (f.start)
            Start(*f.ats, f.startNibbles, f.at);
        else
            End(*f.ats, f.endNibbles, f.at);
    }
    InputDone();
}

void CallRecords::OnCallStart(const AtsSettings& ats, const CallStartNibbles& n) {
    if (m_held > 0) {
        m_queue.push_back({&ats, true, n, {}, Clock::Now()});
        return;
    }
    Start(ats, n, Clock::Now());
}

void CallRecords::OnCallEnd(const AtsSettings& ats, const CallEndNibbles& n) {
    if (m_held > 0) {
        m_queue.push_back({&ats, false, {}, n, Clock::Now()});
        return;
    }
    End(ats, n, Clock::Now());
}

void CallRecords::Start(const AtsSettings& ats, const CallStartNibbles& n, const QDateTime& now) {
    const CallStart c = DecodeCallStart(n);
    if (c.a <= 0 || c.kit < 0) return;
    Table* ta = m_tables.TableTA();
    tables::Transaction tx(m_tables.StandardDir());
    if (!ta || !ta->Append({c.a, c.kit, now, c.category, c.b, c.aDigits, c.bDigits, ats.Number}) ||
        !Commit(tx)) {
        if (ta) ta->Cancel();
        WriteLog(QStringLiteral("Ошибка записи в таблицу TarifTA NumberStation %1 NumberOutCall %2 "
                                "AK %3 N NumberStation %4 N NumberOutCall %5 KNS %6")
                     .arg(c.a)
                     .arg(c.b)
                     .arg(c.kit)
                     .arg(c.aDigits)
                     .arg(c.bDigits)
                     .arg(c.category));
    }
}

void CallRecords::EndFailed() {
    if (Table* ta = m_tables.TableTA()) ta->Cancel();
    WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar"));
}

// A key search in Sng or Foren; a failing lookup counts as no hit.
DestinationLookup CallRecords::Lookup(bool foreign) {
    return [this, foreign](const QString& key) -> std::optional<Destination> {
        Table* t = foreign ? m_tables.Foren() : m_tables.Sng();
        if (!t || !t->FindKey(key)) return std::nullopt;
        return Destination{t->AsText(QStringLiteral("KOD")), t->AsFloat(QStringLiteral("TRF"))};
    };
}

void CallRecords::End(const AtsSettings& ats, const CallEndNibbles& n, const QDateTime& now) {
    if (TariffTables::DayNameOf(now.date()) != m_tables.DayName() && !m_tables.SwitchDayFile()) {
        EndFailed();
        return;
    }
    const CallEnd end = DecodeCallEnd(n);
    if (end.kit < 0) return;

    Table* ta = m_tables.TableTA();
    Table* tarif = m_tables.TableTarif();
    Table* today = m_tables.TableToday();
    if (!ta) {
        EndFailed();
        return;
    }
    BillingRules rules;
    rules.timeMode = m_mode.timeMode;
    rules.maxNoPaneTime = m_mode.maxNoPaneTime;
    rules.slCheck = ats.SLCheck;
    rules.sl = ats.SL;
    rules.mg = ats.MG;
    rules.mn = ats.MN;
    const QStringList keyFields{QStringLiteral("AkNumber"), QStringLiteral("ATS")};
    const QVariantList key{end.kit, ats.Number};
    // Every row found is deleted, so the loop ends; the bound only guards
    // against a table that fails to delete without saying so.
    for (int guard = ta->RecordCount() + 1; guard > 0; --guard) {
        if (!ta->Locate(keyFields, key)) {
            if (!ta->LastError().isEmpty()) EndFailed();
            return;
        }
        tables::Transaction tx(m_tables.StandardDir());
        const int k =
            std::clamp<int>(int(ta->AsInteger(QStringLiteral("DigTo"))), 0, frames::kMaxDigits);
        const qint64 b = end.B(k);
        if (ta->AsInteger(QStringLiteral("Number_of_call")) != b) {
            // A start whose end never came.
            if (!ta->Delete() || !Commit(tx)) return EndFailed();
            continue;
        }
        const qint64 a = ta->AsInteger(QStringLiteral("AbNumber"));
        const int cat = int(ta->AsInteger(QStringLiteral("Cat")));
        const QDateTime start = ta->AsDateTime(QStringLiteral("DateTime"));
        const CallBill bill = BillCall(rules, start.isValid() ? start.msecsTo(now) : 0, cat, b,
                                       Lookup(false), Lookup(true));
        if (bill.outcome == CallBill::Free) {
            if (!ta->Delete() || !Commit(tx)) return EndFailed();
            continue;
        }
        // Nothing left after the extra digit(s): the row stays.
        if (bill.outcome == CallBill::NoDigitsLeft) return EndFailed();

        const qint64 a4 = a >= 10000 ? a % 10000 : a;
        if (!tarif || !tarif->Append({a, start.date(), start.time(), bill.duration, cat, bill.b,
                                      bill.code, bill.codeForeign, bill.tariff})) {
            if (tarif) tarif->Cancel();
            WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar ") +
                     FieldsText(a, bill.b, end.kit, bill, cat));
        }
        qint64 dlit = bill.duration;
        if (dlit > kMaxDlit) {
            dlit = kMaxDlit;
            WriteLog(QStringLiteral("Продолжительность %1 не помещается в поле DLIT, в таблицу "
                                    "EveryDay записано %2 ")
                         .arg(bill.duration)
                         .arg(kMaxDlit) +
                     FieldsText(a4, bill.b, end.kit, bill, cat));
        }
        const QString abonA = QStringLiteral("%1").arg(a4, 4, 16, QLatin1Char('0')).toUpper();
        const QString abonB = QString::number(bill.b).rightJustified(k, QLatin1Char('0'));
        if (!today ||
            !today->Append({abonA, abonB, now.time().hour(), now.time().minute(), dlit})) {
            if (today) today->Cancel();
            WriteLog(QStringLiteral("Ошибка записи в таблицу EveryDay ") +
                     FieldsText(a4, bill.b, end.kit, bill, cat));
        }
        if (m_outbox) {
            CentralRecord r;
            r.exchange = ats.Number;
            r.kit = end.kit;
            r.started = start;
            r.ended = now;
            r.duration = bill.duration;
            r.durationUnit = CentralRecord::UnitOf(rules.timeMode);
            r.aNumber = QString::number(a);
            r.bDialled = QString::number(b).rightJustified(k, QLatin1Char('0'));
            r.bBilled = QString::number(bill.b);
            r.category = cat;
            r.destCode = bill.code;
            r.destCodeForeign = bill.codeForeign;
            r.tariff = bill.tariff;
            // Not staged: the call is billed in none of the tables.
            if (!m_outbox->Stage(std::move(r))) {
                tx.Rollback();
                WriteLog(QStringLiteral("Ошибка записи в очередь центра ") +
                         FieldsText(a, bill.b, end.kit, bill, cat));
                return EndFailed();
            }
        }
        if (!ta->Delete()) {
            tx.Rollback();
            return EndFailed();
        }
        if (!Commit(tx)) return EndFailed();
    }
}
