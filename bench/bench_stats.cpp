// The main window's responsiveness during a live statistics display: the
// incoming trunk overview on exchange 1 (a live frame every 150 ms from the
// simulator) while exchanges 2..4 print continuously. A 1 ms timer measures
// the longest gap of the main window's event loop; the figures are printed.
// With --screenshots DIR it also saves pictures of the overview and detail
// windows of both trunk kinds (run it under Xvfb for real window frames).
//
//   bench_stats [SECONDS] [--screenshots DIR]   (live period, default 10)
#include "TestSupport.h"
#include "platform/ui/EscKey.h"
#include "console/Form2.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/Registry.h"
#include "platform/Wait.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/UnitStatIK.h"
#include "stats/ui/UnitVK.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
QString StartSim(QProcess& sim, const QString& bin) {
    sim.start(bin + QStringLiteral("/varnel-sim"), {QStringLiteral("--calls"), QStringLiteral("0"),
                                                    QStringLiteral("--seed"), QStringLiteral("5")});
    if (!sim.waitForStarted(5000) || !WaitUntil([&] { return sim.canReadLine(); }, 5000))
        return QString();
    return QString::fromLocal8Bit(sim.readLine()).trimmed();
}

// Longest interval between ticks of a 1 ms timer while it runs.
struct StallMeter {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = -1, worst = 0, ticks = 0;
    StallMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            if (last >= 0) worst = std::max(worst, now - last);
            last = now;
            ++ticks;
        });
    }
    void Start() {
        clock.start();
        last = -1;
        worst = 0;
        ticks = 0;
        timer.start();
    }
    void Stop() { timer.stop(); }
};

template <class T> T* Top() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

void Save(QWidget* w, const QString& dir, const char* name) {
    if (dir.isEmpty() || !w) return;
    const QString path = dir + QLatin1Char('/') + QLatin1String(name);
    w->grab().save(path);
    std::printf("  picture %s\n", qPrintable(path));
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    InstallEscKeyFilter();
    int seconds = 10;
    QString shots;
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--screenshots") && i + 1 < args.size())
            shots = QDir(args[++i]).absolutePath();
        else if (args[i].toInt() > 0)
            seconds = args[i].toInt();
    }
    if (!shots.isEmpty()) QDir().mkpath(shots);
    const QString bin = QCoreApplication::applicationDirPath();

    TestEnv env;
    std::vector<std::unique_ptr<QProcess>> sims;
    {
        Registry reg;
        for (int n = 1; n <= 4; ++n) {
            sims.push_back(std::make_unique<QProcess>());
            const QString device = StartSim(*sims.back(), bin);
            if (device.isEmpty()) {
                std::fprintf(stderr, "varnel-sim did not start\n");
                return 1;
            }
            reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
            reg.WriteString(QString::number(n), device);
            reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ") + QString::number(n),
                        true);
            reg.WriteBool(QStringLiteral("In"), true);
            reg.WriteInteger(QStringLiteral("PortDelayMS"), 2);
        }
        reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS"), true);
        reg.WriteBool(QStringLiteral("PasswEn"), false);
    }
    TForm2 form(env.Dir());
    form.resize(1100, 760);
    form.show();
    WaitUntil([&] { return form.Ats(4) && form.Ats(4)->PortIsOpen(); }, 5000);
    form.Tracker()->TimerWeStillGetIt->setInterval(600);

    // Exchanges 2..4 print all the time.
    QTimer printer;
    int printouts = 0;
    QObject::connect(&printer, &QTimer::timeout, [&] {
        for (size_t i = 1; i < sims.size(); ++i) {
            sims[i]->write("print ДИРЕКТИВА ПРИНЯТА ПРОВЕРКА КОМПЛЕКТОВ НЕИСПРАВНЫХ НЕТ\n");
            sims[i]->readAll();
            ++printouts;
        }
    });
    printer.start(100);

    StallMeter meter;
    QElapsedTimer phase;
    int stage = 0, framesAtStart = 0, writesAtStart = 0;
    auto directionWrites = [](TrunkOverview* o) {
        int n = 0;
        for (KitPanel* p : o->Panels())
            n += p->ColourWrites();
        return n;
    };
    const char* kinds[2] = {"ButtonStatVK", "ButtonStatIK"};
    for (int kind = 0; kind < (shots.isEmpty() ? 1 : 2); ++kind) {
        stage = 0;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Yes)->click();
            TrunkOverview* o = Top<TrunkOverview>();
            TrunkDetail* d = Top<TrunkDetail>();
            if (stage == 0 && o) {
                stage = 1;
                phase.start();
                meter.Start();
                framesAtStart = o->PanelGet->ColourWrites();
                writesAtStart = directionWrites(o);
            } else if (stage == 1 && o && phase.elapsed() > seconds * 1000) {
                meter.Stop();
                const int frames = (o->PanelGet->ColourWrites() - framesAtStart) / 2;
                const int writes = directionWrites(o) - writesAtStart;
                std::printf("%s live overview, %d s, %d printouts on the other lines:\n",
                            kind == 0 ? "VK" : "IK", seconds, printouts);
                std::printf("  live frames %d, direction colour writes %d (%.2f a frame of %zu "
                            "panels)\n",
                            frames, writes, frames ? double(writes) / frames : 0.0,
                            o->Panels().size());
                std::printf("  longest event-loop stall %lld ms (%lld ticks of a 1 ms timer)\n",
                            meter.worst, meter.ticks);
                Save(o, shots, kind == 0 ? "stats-vk.png" : "stats-ik.png");
                stage = 2;
                meter.Start();
                phase.start();
                const int direction = kind == 0 ? 3 : 5;
                QTimer::singleShot(0, o, [o, direction] { o->DirectionClick(direction); });
            } else if (stage == 2 && d && phase.elapsed() > 3000) {
                meter.Stop();
                std::printf("  detail window: longest stall %lld ms\n", meter.worst);
                Save(d, shots, kind == 0 ? "stats-vk-napr.png" : "stats-ik-napr.png");
                stage = 3;
                d->close();
            } else if (stage == 3 && o) {
                stage = 4;
                o->close();
            }
        });
        driver.start(20);
        QElapsedTimer total;
        total.start();
        form.findChild<QPushButton*>(QLatin1String(kinds[kind]))->click();
        std::printf("  run of %s: %.1f s from the button to the end\n", kinds[kind],
                    double(total.elapsed()) / 1000);
    }
    printer.stop();
    for (auto& s : sims) {
        s->write("quit\n");
        if (!s->waitForFinished(3000)) s->kill();
    }
    return 0;
}
