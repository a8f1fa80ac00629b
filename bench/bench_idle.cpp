// CPU used by a terminal with four open lines: idle with nothing arriving,
// and while the operator waits for a directive to leave (paced normal mode,
// and duplex "Windows NT" mode on pseudo-terminals, where every clear-to-send
// wait runs out its bound).
//
//   bench_idle [SECONDS]   (idle period, default 5)
#include "TestSupport.h"
#include "link/Ats.h"
#include "link/LinkOptions.h"
#include "link/StepWait.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/ui/EscKey.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {
struct IdleLines {
    LinkOptions app;
    std::vector<std::unique_ptr<TAts>> lines;
    IdleLines(const QString& dir, bool duplex, bool blockSend) {
        app.rollDir = dir + QLatin1Char('/');
        app.duplexMode = duplex;
        app.blockSend = blockSend;
        app.duplexBoundMs = 300;
        for (int n = 1; n <= 4; ++n) {
            lines.push_back(std::make_unique<TAts>(app, n));
            lines.back()->SwitchPort(true);
        }
    }
    int Open() const {
        int open = 0;
        for (const auto& l : lines)
            open += l->PortIsOpen() ? 1 : 0;
        return open;
    }
};

// The window's own event loop with nothing to do for ms.
void Idle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The operator's wait for the line, as the directive entry keeps it.
void LineWait(TAts& ats, bool escEnds) {
    QEventLoop loop;
    StepWait wait;
    wait.ForLine(ats, escEnds, [&loop](StepWait::End) { loop.quit(); });
    loop.exec();
}

// CPU share while fn runs.
template <class F> void Measure(const char* what, F fn) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = CpuSeconds();
    fn();
    const double cpu = CpuSeconds() - cpu0;
    const double s = double(wall.nsecsElapsed()) / 1e9;
    std::printf("%-52s %6.2f s wall  %7.4f s CPU  (%.3f%% of one core)\n", what, s, cpu,
                100.0 * cpu / s);
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    InstallEscKeyFilter();
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;

    QTemporaryDir dir;
    qputenv("VARNEL_REGISTRY", (dir.path() + QStringLiteral("/registry.ini")).toUtf8());
    SetLogDir(dir.path());
    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int n = 1; n <= 4; ++n) {
        ptys.push_back(std::make_unique<PtyPair>());
        ptys.back()->MapToPort(n);
    }

    {
        IdleLines t(dir.path(), false, true);
        std::printf("normal mode, %d of 4 lines open\n", t.Open());
        Measure("idle, nothing arriving", [&] { Idle(seconds * 1000); });
        t.lines[0]->Link().SetPaceInterval(150);
        Measure("SendDirective, paced at 150 ms (9 codes)", [&] {
            t.lines[0]->SendDirective(QStringLiteral("ТО_5,-"));
            LineWait(*t.lines[0], true);
        });
    }
    for (const auto& p : ptys)
        p->ReadMaster(0, 0);
    {
        IdleLines t(dir.path(), true, false);
        std::printf("duplex mode, \"Windows NT\", %d of 4 lines open, bound %d ms\n", t.Open(),
                    t.app.duplexBoundMs);
        Measure("SendDirective, clear-to-send never raised (9 codes)", [&] {
            t.lines[0]->SendDirective(QStringLiteral("ТО_5,-"));
            LineWait(*t.lines[0], false);
        });
        Measure("idle, nothing arriving", [&] { Idle(seconds * 1000); });
    }
    return 0;
}
