#pragma once
// The tariff and call tables, owned by the main window: calls in progress
// (TarifTA2), tariff records (DestTar), destination codes (Sng, Foren), the
// day's call file ("mmdd.dbf", made from the template "0601.dbf") and the
// segment list. Paradox tables live in the directory of the alias
// "PelmarkStandard", day files in that of "PelmarkEveryday".
#include "tables/Table.h"

#include <QDate>
#include <QString>

#include <memory>

class TariffTables {
public:
    // curDir: the working folder (the template and the default table folders).
    explicit TariffTables(const QString& curDir);
    ~TariffTables();
    TariffTables(const TariffTables&) = delete;
    TariffTables& operator=(const TariffTables&) = delete;

    // Start-up: finishes a commit cut short by a crash, opens Sng and Foren
    // with their index "KOD" (failure: "Ошибка открытия таблиц SNG или Foren"
    // in the program log, and start-up goes on), opens today's day file (a
    // copy of the template when it does not exist yet) and TarifTA2, DestTar
    // and Segment (each created empty when missing). False when one of the
    // latter failed; the reason is in the program log.
    bool OpenTables();
    // Shut-down: closes every table (closing a closed one is allowed).
    void CloseTables();

    // A new day: closes the day file, copies the template over today's name
    // (replacing a file of that name, e.g. a year old) and opens it.
    bool SwitchDayFile();
    // Name ("mmdd") of the day table set by OpenTables or SwitchDayFile.
    QString DayName() const { return m_dayName; }
    static QString DayNameOf(const QDate& date) { return date.toString(QStringLiteral("MMdd")); }

    QString StandardDir() const { return m_stdDir; } // the tariff database
    QString EveryDayDir() const { return m_dayDir; } // the day files
    QString TemplatePath() const;                    // CurDir + "/0601.dbf"
    QString DayFilePath() const;

    // Rebuild of a table the billing uses ("DestTar.db", "TarifTA2.db",
    // "Sng.db", "Foren.db"): close it (committed changes synced and the
    // journal checkpointed), rebuild the file, reopen it.
    bool CloseTariffTable(const QString& fileName);
    bool ReopenTariffTable(const QString& fileName);
    // The file name of that table when path is its file (any spelling of
    // the path), else empty.
    QString BillingTableAt(const QString& path) const;

    // Sng and Foren, opened again when they were missing or unreadable and
    // their file has changed since (the companion program maintains them).
    tables::Table* Sng();
    tables::Table* Foren();

    tables::Table* TableTA() const { return m_ta.get(); }
    tables::Table* TableTarif() const { return m_tarif.get(); }
    tables::Table* TableToday() const { return m_today.get(); }
    tables::Table* TableSegm() const { return m_segm.get(); }

    static const tables::FieldList& TarifTAFields();
    static const tables::FieldList& DestTarFields();
    static const tables::FieldList& DayFields();
    static const tables::FieldList& SegmentFields();

private:
    bool OpenDestinations(bool logFailure);
    bool OpenDayFile(bool replace);
    bool OpenOrCreate(std::unique_ptr<tables::Table>& t, const QString& name,
                      const tables::FieldList& fields, int keys);
    bool EnsureTemplate();
    tables::Table* Destination(std::unique_ptr<tables::Table>& t);

    QString m_curDir;
    QString m_stdDir;
    QString m_dayDir;
    QString m_dayName;
    std::unique_ptr<tables::Table> m_ta;
    std::unique_ptr<tables::Table> m_tarif;
    std::unique_ptr<tables::Table> m_sng;
    std::unique_ptr<tables::Table> m_foren;
    std::unique_ptr<tables::Table> m_today;
    std::unique_ptr<tables::Table> m_segm;
    QString m_destStamp;     // Sng and Foren files as they were at the last failed open
    bool m_destLent = false; // Sng or Foren closed for a rebuild
};
