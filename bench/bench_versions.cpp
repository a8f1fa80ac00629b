// Figures of a version transfer through the loading and unloading windows,
// over pseudo-terminals against varnel-sim at the line's pace (57600 baud): a
// full image unloaded into a file, then loaded into a second simulator that
// starts from an image of zeros. Prints blocks per second and the CPU time.
// With --shots DIR, pictures of both windows mid-transfer and of the checksum
// window go to DIR (run under a display, e.g. xvfb-run, with QT_QPA_PLATFORM=xcb).
#include "TestSupport.h"
#include "versions/TerminalExchange.h"

#include "Memory.h"
#include "versions/ui/FormGetVers.h"
#include "versions/ui/FormKontrolSumm.h"
#include "versions/ui/FormSendVers.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>

#include <cstdio>

namespace {
constexpr int kLimitMs = 300000;
constexpr int kShotAt = 768; // 40 % of a full version

struct Figures {
    int blocks = 0;
    double seconds = 0, cpu = 0;
    bool done = false;
    QElapsedTimer t;
    double cpu0 = 0;

    void Begin() {
        t.start();
        cpu0 = CpuSeconds();
    }
    void End() {
        seconds = t.isValid() ? double(t.nsecsElapsed()) / 1e9 : 0;
        cpu = CpuSeconds() - cpu0;
    }
    void Print(const char* what) const {
        std::printf("%s: %d blocks in %.1f s = %.1f blocks/s, CPU %.2f s (%.1f %% of one core)%s\n",
                    what, blocks, seconds, seconds > 0 ? blocks / seconds : 0.0, cpu,
                    seconds > 0 ? 100.0 * cpu / seconds : 0.0, done ? "" : "  NOT COMPLETE");
    }
};

VersionDialogs Answers(const QString& file, bool* finished) {
    VersionDialogs d;
    d.open = [file](QWidget*, const QString&, const QString&, const QString&) { return file; };
    d.save = [file](QWidget*, const QString&, const QString&, const QString&) { return file; };
    d.message = [finished](QWidget*, const QString& text) {
        std::printf("message: %s\n", text.toUtf8().constData());
        *finished = true;
    };
    return d;
}

void Shot(QWidget& w, const QString& dir, const QString& name) {
    if (dir.isEmpty()) return;
    const QString path = QDir(dir).filePath(name);
    std::printf("%s %s\n", w.grab().save(path) ? "picture" : "NO picture",
                path.toUtf8().constData());
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int shotsArg = int(args.indexOf(QStringLiteral("--shots")));
    const QString shots =
        shotsArg > 0 && shotsArg + 1 < args.size() ? args[shotsArg + 1] : QString();
    TestEnv env;

    SimProcess sim1;
    if (sim1.Start({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--still")}, 1)
            .isEmpty() ||
        !sim1.Command(QStringLiteral("unloader")).startsWith("ok")) {
        std::fprintf(stderr, "varnel-sim did not start\n");
        return 1;
    }
    const QString reference = env.Path(QStringLiteral("sim1.ver"));
    sim1.Command(QStringLiteral("save ") + reference);

    // Unload: timed from the first block kept to the end of the image.
    const QString unloaded = env.Path(QStringLiteral("unloaded.ver"));
    Figures get;
    {
        TerminalExchange ex(env.Dir(), 1);
        TFormGetVers w(ex.Lines(), env.Dir());
        bool message = false;
        w.Dialogs = Answers(unloaded, &message);
        QObject::connect(&w.Session(), &VersionGetSession::block, &w,
                         [&](const VersionReceiver::Block& b) {
                             if (b.count == 1) get.Begin();
                             get.blocks = b.count - 1;
                             if (b.count == kShotAt)
                                 Shot(w, shots, QStringLiteral("versions-get.png"));
                         });
        QObject::connect(&w.Session(), &VersionGetSession::completed, [&] {
            get.End();
            get.done = true;
        });
        w.show();
        w.StartClick();
        QElapsedTimer all;
        all.start();
        WaitWhile([&] { return w.isVisible() && !message && all.elapsed() < kLimitMs; }, false);
    }
    get.Print("unload");
    const bool sameUnload = FileBytes(unloaded) == FileBytes(reference);

    const QString zeros = env.Path(QStringLiteral("zeros.ver"));
    sim::SaveVersionFile(sim::SimMemory(), zeros, sim::VersionType::Planeta, nullptr);
    SimProcess sim2;
    if (sim2.Start({QStringLiteral("--seed"), QStringLiteral("5"), QStringLiteral("--still"),
                    QStringLiteral("--image"), zeros},
                   2)
            .isEmpty()) {
        std::fprintf(stderr, "second varnel-sim did not start\n");
        return 1;
    }
    // Load: timed from the exchange's acceptance of the first block. The
    // exchange's line is open (its opening space sent) before the loader runs.
    Figures load;
    {
        TerminalExchange ex(env.Dir(), 2);
        if (sim2.Command(QStringLiteral("loader")) != QStringLiteral("ok")) return 1;
        TFormSendVers w(ex.Lines(), env.Dir());
        bool message = false;
        w.Dialogs = Answers(unloaded, &message);
        QObject::connect(&w.Session(), &VersionSendSession::block, &w,
                         [&](const VersionSender::Block& b) {
                             if (b.index == 2) load.Begin();
                             load.blocks = b.index - 1; // blocks 0x3800-0x3BC0 are read, not sent
                             if (b.index == kShotAt)
                                 Shot(w, shots, QStringLiteral("versions-send.png"));
                         });
        QObject::connect(&w.Session(), &VersionSendSession::completed, [&] {
            load.End();
            load.done = true;
        });
        w.show();
        w.StartClick();
        QElapsedTimer all;
        all.start();
        WaitWhile([&] { return !message && all.elapsed() < kLimitMs; }, false);
    }
    load.Print("load");
    const QString loaded = env.Path(QStringLiteral("sim2.ver"));
    sim2.Command(QStringLiteral("save ") + loaded);
    std::printf("unloaded file equals the first image: %s; second image equals the first: %s\n",
                sameUnload ? "yes" : "NO",
                FileBytes(loaded) == FileBytes(reference) ? "yes" : "NO");
    std::printf("(a line at 57600 baud carries about %.1f frames of 266 codes a second; the\n"
                " pseudo-terminal paces only the simulator's output, so the load runs faster)\n",
                7200.0 / 266.0);

    if (!shots.isEmpty()) {
        TFormKontrolSumm sums(env.Dir());
        bool message = false;
        sums.Dialogs = Answers(unloaded, &message);
        sums.show();
        WaitFor(300, false);
        Shot(sums, shots, QStringLiteral("versions-checksum.png"));
    }
    return get.done && load.done ? 0 : 1;
}
