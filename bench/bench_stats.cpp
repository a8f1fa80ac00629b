// The main window's responsiveness during the live statistics displays: each
// kind in turn on exchange 1 (a live frame every 150 ms from the simulator;
// the subscriber block also refreshed every 2 s) while exchanges 2..4 print
// continuously. A 1 ms timer measures the longest gap of the main window's
// event loop; the figures are printed. With --screenshots DIR it also saves
// pictures of every kind's windows (run it under Xvfb for real window
// frames).
//
//   bench_stats [SECONDS] [--screenshots DIR]   (live period, default 10)
#include "TestSupport.h"
#include "app/Terminal.h"
#include "console/Form2.h"
#include "link/Ats.h"
#include "link/RequestTracker.h"
#include "platform/Registry.h"
#include "platform/ui/EscKey.h"
#include "stats/ui/CordWindows.h"
#include "stats/ui/FormAKNapr.h"
#include "stats/ui/FormStatAK.h"
#include "stats/ui/FormStatIK.h"
#include "stats/ui/FormStatPB.h"
#include "stats/ui/FormStatVK.h"
#include "stats/ui/KitPanel.h"
#include "stats/ui/StatButtons.h"
#include "stats/ui/StatDesk.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
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

// The operator's steps of the runs, driven by a 20 ms timer: each action runs
// once its condition holds; Button ends a kind's steps with the button that
// starts its run.
class Steps {
public:
    using Cond = std::function<bool()>;
    void Then(Cond cond, std::function<void()> action) {
        m_kinds.back().second.push_back({std::move(cond), std::move(action)});
    }
    void Button(const char* name) {
        m_kinds.back().first = name;
        m_kinds.emplace_back();
    }
    void Run(QWidget& form) {
        for (auto& [button, steps] : m_kinds) {
            if (!button) continue;
            size_t next = 0;
            QTimer driver;
            QObject::connect(&driver, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes)->click();
                if (next < steps.size() && steps[next].first())
                    QTimer::singleShot(0, &driver, steps[next++].second);
            });
            driver.start(20);
            QElapsedTimer total;
            total.start();
            std::printf("%s:\n", button);
            form.findChild<QPushButton*>(QLatin1String(button))->click();
            StatButtons* stats = form.findChild<StatButtons*>();
            WaitUntil([&] { return !stats->Desk().Busy(); }, 600000);
            std::printf("  run: %.1f s from the button to the end%s\n",
                        double(total.elapsed()) / 1000,
                        next == steps.size() ? "" : " (stopped early)");
        }
    }

private:
    std::vector<std::pair<const char*, std::vector<std::pair<Cond, std::function<void()>>>>>
        m_kinds{1};
};
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
    form.Term().Tracker().TimerWeStillGetIt->setInterval(600);

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
    int framesAtStart = 0, writesAtStart = 0;
    auto directionWrites = [](TrunkOverview* o) {
        int n = 0;
        for (KitPanel* p : o->Panels())
            n += p->ColourWrites();
        return n;
    };
    auto frames = [](KitPanel* get) { return get ? get->ColourWrites() / 2 : 0; };
    auto later = [](QWidget* w, std::function<void()> f) { QTimer::singleShot(0, w, f); };
    auto live = [&](const char* what, KitPanel* get) {
        meter.Stop();
        std::printf("  %s, %d s: live frames %d, longest event-loop stall %lld ms (%lld ticks of "
                    "a 1 ms timer, %d printouts on the other lines so far)\n",
                    what, seconds, frames(get) - framesAtStart, meter.worst, meter.ticks,
                    printouts);
    };
    auto begin = [&](KitPanel* get) {
        phase.start();
        meter.Start();
        framesAtStart = frames(get);
    };
    auto done = [&] { return phase.elapsed() > seconds * 1000; };

    // Each kind: the operator's steps, each once its condition holds.
    Steps steps;
    for (const char* kind : {"ButtonStatVK", "ButtonStatIK"}) {
        const bool vk = kind == std::string("ButtonStatVK");
        steps.Then([] { return Top<TrunkOverview>() != nullptr; },
                   [&] {
                       begin(Top<TrunkOverview>()->PanelGet);
                       writesAtStart = directionWrites(Top<TrunkOverview>());
                   });
        steps.Then(done, [&, vk] {
            TrunkOverview* o = Top<TrunkOverview>();
            live(vk ? "VK live overview" : "IK live overview", o->PanelGet);
            const int n = frames(o->PanelGet) - framesAtStart;
            std::printf("  direction colour writes %d (%.2f a frame of %zu panels)\n",
                        directionWrites(o) - writesAtStart,
                        n ? double(directionWrites(o) - writesAtStart) / n : 0.0,
                        o->Panels().size());
            Save(o, shots, vk ? "stats-vk.png" : "stats-ik.png");
            begin(nullptr);
            later(o, [o, vk] { o->DirectionClick(vk ? 3 : 5); });
        });
        steps.Then([&] { return Top<TrunkDetail>() && phase.elapsed() > 3000; },
                   [&, vk] {
                       meter.Stop();
                       std::printf("  detail window: longest stall %lld ms\n", meter.worst);
                       Save(Top<TrunkDetail>(), shots,
                            vk ? "stats-vk-napr.png" : "stats-ik-napr.png");
                       Top<TrunkDetail>()->close();
                   });
        steps.Then([] { return Top<TrunkOverview>() != nullptr; },
                   [] { Top<TrunkOverview>()->close(); });
        steps.Button(kind);
    }

    // Battery receivers.
    steps.Then([] { return Top<TFormStatPB>() != nullptr; },
               [&] { begin(Top<TFormStatPB>()->PanelGet); });
    steps.Then(done, [&] {
        TFormStatPB* w = Top<TFormStatPB>();
        live("PB live receivers", w->PanelGet);
        Save(w, shots, "stats-pb.png");
        w->close();
    });
    steps.Button("ButtonStatPB");

    // Subscriber kits: block 0 with its refresh every 2 s instead of 30.
    QTimer* refresh = nullptr;
    int refreshes = 0;
    steps.Then([] { return Top<TFormStatAK>() != nullptr; },
               [&] {
                   TFormStatAK* o = Top<TFormStatAK>();
                   Save(o, shots, "stats-ak.png");
                   later(o, [o] { emit o->panelClicked(0); });
               });
    steps.Then([] { return Top<TFormAKNapr>() != nullptr; },
               [&] {
                   refresh = Top<TFormAKNapr>()->TimerStatAK;
                   QObject::connect(refresh, &QTimer::timeout, [&] { ++refreshes; });
                   refresh->start(2000);
                   refreshes = 0;
                   begin(Top<TFormAKNapr>()->PanelGet);
               });
    steps.Then(done, [&] {
        TFormAKNapr* d = Top<TFormAKNapr>();
        live("AK block detail", d->PanelGet);
        std::printf("  refreshes of the blocked bits (TimerStatAK at 2 s): %d\n", refreshes);
        refresh->setInterval(30000);
        Save(d, shots, "stats-ak-napr.png");
        d->close();
    });
    steps.Then([] { return Top<TFormStatAK>() != nullptr; }, [] { Top<TFormStatAK>()->close(); });
    steps.Button("ButtonStatAK");

    // Cord kits: rack 0 of each kind.
    for (const char* kind : {"ButtonStatISK", "ButtonStatVSK"}) {
        const bool isk = kind == std::string("ButtonStatISK");
        steps.Then([] { return Top<CordOverview>() != nullptr; },
                   [&, isk] {
                       CordOverview* o = Top<CordOverview>();
                       Save(o, shots, isk ? "stats-isk.png" : "stats-vsk.png");
                       later(o, [o] { emit o->panelClicked(0); });
                   });
        steps.Then([] { return Top<CordDetail>() != nullptr; },
                   [&] { begin(Top<CordDetail>()->PanelGet); });
        steps.Then(done, [&, isk] {
            CordDetail* d = Top<CordDetail>();
            live(isk ? "ISK rack detail" : "VSK rack detail", d->PanelGet);
            Save(d, shots, isk ? "stats-isk-napr.png" : "stats-vsk-napr.png");
            d->close();
        });
        steps.Then([] { return Top<CordOverview>() != nullptr; },
                   [] { Top<CordOverview>()->close(); });
        steps.Button(kind);
    }

    steps.Run(form);
    printer.stop();
    for (auto& s : sims) {
        s->write("quit\n");
        if (!s->waitForFinished(3000)) s->kill();
    }
    return 0;
}
