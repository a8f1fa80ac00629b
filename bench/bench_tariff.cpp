// Call records with 2000 calls in progress: each step starts one call and
// ends the oldest, written through to TarifTA2, DestTar and the day file
// (one journalled commit per start, one per billed call). Prints the matched
// calls per second and the per-call latency.
#include "link/AppState.h"
#include "link/Ats.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "tables/TableCsv.h"
#include "tariff/CallRecords.h"
#include "tariff/TariffTables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kInProgress = 2000;
constexpr int kMeasured = 5000;

std::array<uint8_t, 28> Start(int kit, int a, int b, int cat) {
    std::array<uint8_t, 28> n{10, 10, 10, 1};
    n[5] = uint8_t(8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    n[8] = 6;
    for (int i = 0; i < 6; ++i, a /= 10)
        n[size_t(15 - i)] = uint8_t(a % 10);
    n[16] = 7;
    const QByteArray digits = QByteArray::number(b);
    for (int i = 0; i < 7; ++i)
        n[size_t(23 - i)] = uint8_t(digits[i] - '0');
    n[24] = uint8_t(cat);
    return n;
}

std::array<uint8_t, 16> End(int kit, int b) {
    std::array<uint8_t, 16> n{10, 10, 10, 0};
    n[5] = uint8_t(8 + kit / 256);
    n[6] = uint8_t(kit / 16 % 16);
    n[7] = uint8_t(kit % 16);
    const QByteArray digits = QByteArray::number(b);
    for (int i = 0; i < 7; ++i)
        n[size_t(15 - i)] = uint8_t(digits[i] - '0');
    return n;
}

double Percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qputenv("VARNEL_REGISTRY", (dir.path() + QStringLiteral("/registry.ini")).toUtf8());
    SetLogDir(dir.path());
    Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(8, 0)));

    // 400 long-distance codes; half the calls look one up (Cat 8).
    QDir().mkpath(dir.path() + QStringLiteral("/Tables"));
    QString sng = QStringLiteral("KOD:A10,TRF:F\n");
    for (int i = 0; i < 400; ++i)
        sng += QStringLiteral("%1,%2\n").arg(300 + i).arg(0.5 + i % 7);
    tables::LoadCsv(dir.path() + QStringLiteral("/Tables/Sng.db"), sng, nullptr, nullptr);
    tables::LoadCsv(dir.path() + QStringLiteral("/Tables/Foren.db"),
                    QStringLiteral("KOD:A10,TRF:F\n"), nullptr, nullptr);

    AppState state;
    state.CurDir = dir.path();
    TTariffTables tables(state.CurDir);
    if (!tables.OpenTables()) {
        std::fprintf(stderr, "cannot open the tables in %s\n", qPrintable(dir.path()));
        return 1;
    }
    TCallRecords calls(state, tables);
    AtsSettings ats(1, QString());

    // Call j: kit j mod 2048 (distinct among 2000 in progress), B 8xxxxxx.
    auto b = [](int j) { return 8300000 + j % 400 * 1000 + j % 1000; };
    auto cat = [](int j) { return j % 2 ? 8 : 1; };
    for (int j = 0; j < kInProgress; ++j)
        calls.OnCallStart(ats, Start(j % 2048, 100000 + j, b(j), cat(j)));

    std::vector<double> startUs, endUs, callUs;
    startUs.reserve(kMeasured);
    endUs.reserve(kMeasured);
    callUs.reserve(kMeasured);
    QElapsedTimer total, t;
    total.start();
    for (int i = 0; i < kMeasured; ++i) {
        const int j = kInProgress + i;
        Clock::Advance(250);
        t.start();
        calls.OnCallStart(ats, Start(j % 2048, 100000 + j % 900000, b(j), cat(j)));
        const qint64 s = t.nsecsElapsed();
        const int old = j - kInProgress;
        calls.OnCallEnd(ats, End(old % 2048, b(old)));
        const qint64 e = t.nsecsElapsed() - s;
        startUs.push_back(double(s) / 1000);
        endUs.push_back(double(e) / 1000);
        callUs.push_back(double(s + e) / 1000);
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    const int billed = tables.TableTarif()->RecordCount();
    const int pending = tables.TableTA()->RecordCount();
    std::printf("bench_tariff: %d calls in progress, %d matched calls (start + end frame each), "
                "written through\n",
                kInProgress, kMeasured);
    std::printf("  rows: DestTar %d, day file %d, TarifTA2 %d\n", billed,
                tables.TableToday()->RecordCount(), pending);
    std::printf("  throughput: %.0f matched calls/s (need >= 1000; line maximum about 650 for four "
                "exchanges)\n",
                kMeasured / seconds);
    std::printf("  per call (start + end): median %.0f us, p99 %.0f us, max %.0f us\n",
                Percentile(callUs, 0.5), Percentile(callUs, 0.99), Percentile(callUs, 1.0));
    std::printf(
        "  start frame: median %.0f us, p99 %.0f us; end frame: median %.0f us, p99 %.0f us\n",
        Percentile(startUs, 0.5), Percentile(startUs, 0.99), Percentile(endUs, 0.5),
        Percentile(endUs, 0.99));
    Clock::SetTestTime(QDateTime());
    return billed == kMeasured && pending == kInProgress ? 0 : 1;
}
