#include "tariff/CallRecords.h"

#include "link/Ats.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "tables/Table.h"
#include "tables/TxFile.h"
#include "tariff/TariffTables.h"

#include <QLocale>

#include <algorithm>

using tables::Table;

namespace {

constexpr qint64 kMsPerDay = 86400000;

// Kit number of nibbles 5..7; negative when N5 is below 8 (unusable frame).
template <size_t N> int KitOf(const std::array<uint8_t, N>& n) {
    return (int(n[5]) - 8) * 256 + n[6] * 16 + n[7];
}

const QString kNotFound = QStringLiteral("Not found");

} // namespace

TCallRecords::TCallRecords(AppState& app, TTariffTables& tables) : m_app(app), m_tables(tables) {}

void TCallRecords::OnCallStart(TAts& ats, const std::array<uint8_t, 28>& n) {
    const int k1 = std::min<int>(n[8], 7);
    qint64 a = 0;
    for (int i = 16 - k1; i <= 15; ++i)
        a = a * 10 + n[size_t(i)];
    const int k2 = std::min<int>(n[16], 7);
    qint64 b = 0;
    for (int i = 23; i >= 24 - k2; --i)
        b = b * 10 + n[size_t(i)];
    const int kit = KitOf(n);
    if (a <= 0 || kit < 0) return;

    Table* ta = m_tables.TableTA();
    if (!ta || !ta->Append({a, kit, Clock::Now(), n[24], b, n[8], n[16], ats.Number})) {
        if (ta) ta->Cancel();
        WriteLog(QStringLiteral("Ошибка записи в таблицу TarifTA NumberStation %1 NumberOutCall %2 "
                                "AK %3 N NumberStation %4 "
                                "N NumberOutCall %5 KNS %6")
                     .arg(a)
                     .arg(b)
                     .arg(kit)
                     .arg(n[8])
                     .arg(n[16])
                     .arg(n[24]));
    }
}

QString TCallRecords::FieldsText(qint64 number, const Bill& bill) const {
    return QStringLiteral("NumberStation %1 NumberOutCall %2 AK %3 LongivityCall %4 Category %5 "
                          "CodeCall %6 CodeForeignCall %7 TarifCall %8")
        .arg(number)
        .arg(bill.b)
        .arg(bill.kit)
        .arg(bill.duration)
        .arg(bill.cat)
        .arg(bill.code, bill.codeForeign,
             QString::number(bill.tariff, 'g', QLocale::FloatingPointShortest));
}

void TCallRecords::EndFailed() {
    if (Table* ta = m_tables.TableTA()) ta->Cancel();
    WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar"));
}

// Longest key first: Sng after the long-distance prefix, then Foren after
// the international one.
void TCallRecords::Destination(TAts& ats, const QString& dialled, Bill& bill) {
    auto search = [&](Table* t, const QString& prefix, QString& code) {
        if (!t || !dialled.startsWith(prefix)) return false;
        const QString rest = dialled.mid(prefix.size());
        for (int len = int(rest.size()); len >= 1; --len) {
            if (t->FindKey(rest.left(len))) {
                code = t->AsText(QStringLiteral("KOD"));
                bill.tariff = t->AsFloat(QStringLiteral("TRF"));
                return true;
            }
        }
        return false;
    };
    if (search(m_tables.Sng(), ats.MG, bill.code)) return;
    if (search(m_tables.Foren(), ats.MN, bill.codeForeign)) return;
    bill.code = kNotFound;
    bill.codeForeign = kNotFound;
}

void TCallRecords::OnCallEnd(TAts& ats, const std::array<uint8_t, 16>& n) {
    const QDateTime now = Clock::Now();
    if (TTariffTables::DayNameOf(now.date()) != m_tables.DayName() && !m_tables.SwitchDayFile()) {
        EndFailed();
        return;
    }
    const int kit = KitOf(n);
    if (kit < 0) return;

    Table* ta = m_tables.TableTA();
    Table* tarif = m_tables.TableTarif();
    Table* today = m_tables.TableToday();
    if (!ta) {
        EndFailed();
        return;
    }
    const QStringList keyFields{QStringLiteral("AkNumber"), QStringLiteral("ATS")};
    const QVariantList key{kit, ats.Number};
    // Every row found is deleted, so the loop ends; the bound only guards
    // against a table that fails to delete without saying so.
    for (int guard = ta->RecordCount() + 1; guard > 0; --guard) {
        if (!ta->Locate(keyFields, key)) {
            if (!ta->LastError().isEmpty()) EndFailed();
            return;
        }
        const int k = std::clamp<int>(int(ta->AsInteger(QStringLiteral("DigTo"))), 0, 7);
        Bill bill;
        bill.kit = kit;
        for (int i = 15; i >= 16 - k; --i)
            bill.b = bill.b * 10 + n[size_t(i)];
        if (ta->AsInteger(QStringLiteral("Number_of_call")) != bill.b) {
            // A start whose end never came.
            if (!ta->Delete()) return EndFailed();
            continue;
        }
        bill.a = ta->AsInteger(QStringLiteral("AbNumber"));
        bill.cat = int(ta->AsInteger(QStringLiteral("Cat")));
        const QDateTime start = ta->AsDateTime(QStringLiteral("DateTime"));

        // Elapsed time as a time of day: whole days drop out.
        const qint64 ms = (start.isValid() ? qAbs(start.msecsTo(now)) : 0) % kMsPerDay;
        const qint64 h = ms / 3600000;
        const qint64 m = ms / 60000 % 60;
        const qint64 s = ms / 1000 % 60;
        const qint64 seconds = h * 3600 + m * 60 + s;
        if (seconds < m_app.MaxNoPaneTime) {
            if (!ta->Delete()) return EndFailed();
            continue;
        }
        switch (m_app.TarifTimeMode) {
        case 0:
            bill.duration = h * 60 + m + (s > m_app.MaxNoPaneTime ? 1 : 0);
            break;
        case 2:
            bill.duration = seconds * 1000 + ms % 1000;
            break;
        default:
            bill.duration = seconds;
            break;
        }

        QString dialled = QString::number(bill.b);
        if (ats.SLCheck && bill.cat > 2 && dialled.startsWith(ats.SL)) {
            dialled = dialled.mid(ats.SL.size());
            bool ok = false;
            bill.b = dialled.toLongLong(&ok);
            // Nothing left after the extra digit(s): the row stays.
            if (!ok) return EndFailed();
        }
        if (bill.cat > 7) Destination(ats, dialled, bill);

        const qint64 a4 = bill.a >= 10000 ? bill.a % 10000 : bill.a;
        tables::Transaction tx(m_tables.StandardDir());
        if (!tarif || !tarif->Append({bill.a, start.date(), start.time(), bill.duration, bill.cat,
                                      bill.b, bill.code, bill.codeForeign, bill.tariff})) {
            if (tarif) tarif->Cancel();
            WriteLog(QStringLiteral("Ошибка записи в таблицу DestTar ") + FieldsText(bill.a, bill));
        }
        qint64 dlit = bill.duration;
        if (dlit > kMaxDlit) {
            dlit = kMaxDlit;
            WriteLog(QStringLiteral("Продолжительность %1 не помещается в поле DLIT, в таблицу "
                                    "EveryDay записано %2 ")
                         .arg(bill.duration)
                         .arg(kMaxDlit) +
                     FieldsText(a4, bill));
        }
        const QString abonA = QStringLiteral("%1").arg(a4, 4, 16, QLatin1Char('0')).toUpper();
        const QString abonB = QString::number(bill.b).rightJustified(k, QLatin1Char('0'));
        if (!today ||
            !today->Append({abonA, abonB, now.time().hour(), now.time().minute(), dlit})) {
            if (today) today->Cancel();
            WriteLog(QStringLiteral("Ошибка записи в таблицу EveryDay ") + FieldsText(a4, bill));
        }
        if (!ta->Delete()) {
            tx.Rollback();
            return EndFailed();
        }
        QString e;
        if (!tx.Commit(&e)) return EndFailed();
    }
}
