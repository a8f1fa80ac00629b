#pragma once
// Call frames, a terminal's worth of tariff tables in a temporary folder, and
// readers for what ended up in the tables and the program log.
#include "TestSupport.h"
#include "central/Outbox.h"
#include "link/AtsSettings.h"
#include "link/CallFrame.h"
#include "link/LinkOptions.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "tables/Table.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"

#include <QDir>
#include <QFile>

#include <array>
#include <memory>
#include <ostream>

// Frames by the codec (its placement is checked against literal nibbles in
// the link tests). A negative kit gives an unusable frame (N5 below 8).
inline CallStartNibbles StartFrame(int kit, const QString& a, const QString& b, int cat) {
    CallStartNibbles n = FrameNibbles<28>(CallStartCodes(std::max(kit, 0), a, b, cat)->data());
    if (kit < 0) n[5] = 0;
    return n;
}

inline CallEndNibbles EndFrame(int kit, const QString& b) {
    CallEndNibbles n = FrameNibbles<16>(CallEndCodes(std::max(kit, 0), b)->data());
    if (kit < 0) n[5] = 0;
    return n;
}

inline QList<QVariantList> ReadRows(const QString& path) {
    QList<QVariantList> rows;
    auto t = tables::Table::ForFile(path);
    if (!t->Open(true)) return rows;
    for (int i = 0; i < t->RecordCount(); ++i) {
        t->GoTo(i);
        QVariantList r;
        for (int f = 0; f < t->Fields().size(); ++f)
            r << t->Value(f);
        rows << r;
    }
    return rows;
}

inline QStringList LogLines() {
    QFile f(LogFilePath());
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QString& l :
         Codec::FromCp1251(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
        out << l.section(QStringLiteral("  "), 1); // drop the date and time
    return out;
}

// A terminal's tariffication in a temporary working folder, on a test clock.
struct TariffRig {
    TestEnv env;
    LinkOptions app;
    BillingRules mode;
    bool central = false; // the calls are staged in an outbox too
    std::unique_ptr<TariffTables> tables;
    std::unique_ptr<Outbox> outbox;
    std::unique_ptr<CallRecords> calls;
    std::unique_ptr<AtsSettings> ats;

    explicit TariffRig(const QDateTime& now = QDateTime(QDate(2026, 12, 5), QTime(10, 0))) {
        Clock::SetTestTime(now);
        ats = std::make_unique<AtsSettings>(1, QString());
        QDir().mkpath(env.Path(QStringLiteral("Tables")));
        Destinations(QStringLiteral("Sng.db"), QString());
        Destinations(QStringLiteral("Foren.db"), QString());
    }
    ~TariffRig() {
        Stop();
        Clock::SetTestTime(QDateTime());
    }
    bool Start() {
        tables = std::make_unique<TariffTables>(env.Dir());
        bool ok = tables->OpenTables();
        if (central) {
            outbox = std::make_unique<Outbox>(tables->StandardDir(), QStringLiteral("T1"));
            ok = outbox->Open(nullptr) && ok;
        }
        calls = std::make_unique<CallRecords>(mode, *tables, outbox.get());
        return ok;
    }
    void Stop() {
        calls.reset();
        outbox.reset();
        tables.reset();
    }
    QString Std(const QString& name) const { return env.Path(QStringLiteral("Tables/") + name); }
    QString Day(const QString& mmdd) const {
        return env.Path(QStringLiteral("EveryDay/") + mmdd + QStringLiteral(".dbf"));
    }
    // One call: start now, end after ms.
    void Call(int kit, const QString& a, const QString& b, int cat, qint64 ms) {
        calls->OnCallStart(*ats, StartFrame(kit, a, b, cat));
        Clock::Advance(ms);
        calls->OnCallEnd(*ats, EndFrame(kit, b));
    }
    QList<QVariantList> DestTar() const { return ReadRows(Std(QStringLiteral("DestTar.db"))); }
    QList<QVariantList> TarifTA() const { return ReadRows(Std(QStringLiteral("TarifTA2.DB"))); }
    QList<QVariantList> DayRows(const QString& mmdd = QStringLiteral("1205")) const {
        return ReadRows(Day(mmdd));
    }
    // Destination table made with varnel-tool's CSV reader.
    bool Destinations(const QString& file, const QString& csvRows) const;
};

#include "tables/TableCsv.h"
inline bool TariffRig::Destinations(const QString& file, const QString& csvRows) const {
    QString e;
    return tables::LoadCsv(Std(file), QStringLiteral("KOD:A10,TRF:F,NAME:A20\n") + csvRows, nullptr,
                           &e);
}
