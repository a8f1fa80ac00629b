#pragma once
// Call frames, a terminal's worth of tariff tables in a temporary folder, and
// readers for what ended up in the tables and the program log.
#include "TestSupport.h"
#include "link/AppState.h"
#include "link/Ats.h"
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

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// Start frame: kit, A and B numbers as digit strings, category.
inline std::array<uint8_t, 28> StartFrame(int kit, const QString& a, const QString& b, int cat) {
    std::array<uint8_t, 28> n{10, 10, 10, 1};
    n[5] = uint8_t(kit < 0 ? 0 : 8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    n[8] = uint8_t(a.size());
    const int ka = std::min<int>(int(a.size()), 7);
    for (int i = 0; i < ka; ++i)
        n[size_t(16 - ka + i)] = uint8_t(a[a.size() - ka + i].digitValue());
    n[16] = uint8_t(b.size());
    const int kb = std::min<int>(int(b.size()), 7);
    for (int i = 0; i < kb; ++i)
        n[size_t(23 - i)] = uint8_t(b[i].digitValue());
    n[24] = uint8_t(cat);
    return n;
}

// End frame: the B number's digits from nibble 15 downwards.
inline std::array<uint8_t, 16> EndFrame(int kit, const QString& b) {
    std::array<uint8_t, 16> n{10, 10, 10, 0};
    n[5] = uint8_t(kit < 0 ? 0 : 8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    for (int i = 0; i < std::min<int>(int(b.size()), 7); ++i)
        n[size_t(15 - i)] = uint8_t(b[i].digitValue());
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
    AppState app;
    std::unique_ptr<TTariffTables> tables;
    std::unique_ptr<TCallRecords> calls;
    std::unique_ptr<TAts> ats;

    explicit TariffRig(const QDateTime& now = QDateTime(QDate(2026, 12, 5), QTime(10, 0))) {
        Clock::SetTestTime(now);
        app.CurDir = env.Dir();
        ats = std::make_unique<TAts>(app, 1, nullptr);
        QDir().mkpath(env.Path(QStringLiteral("Tables")));
        Destinations(QStringLiteral("Sng.db"), QString());
        Destinations(QStringLiteral("Foren.db"), QString());
    }
    ~TariffRig() {
        calls.reset();
        tables.reset();
        Clock::SetTestTime(QDateTime());
    }
    bool Start() {
        tables = std::make_unique<TTariffTables>(app);
        const bool ok = tables->OpenTables();
        calls = std::make_unique<TCallRecords>(app, *tables);
        app.Calls = calls.get();
        return ok;
    }
    void Stop() {
        app.Calls = nullptr;
        calls.reset();
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
