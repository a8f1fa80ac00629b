// Figures of the exchange simulator's core: building the image, a full
// version through the unloader and the loader, a live read's frames, and call
// generation at the line's maximum.
#include "Exchange.h"
#include "Image.h"
#include "Version.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace sim;

int main() {
    QElapsedTimer t;

    t.start();
    SimMemory image;
    for (int i = 0; i < 20; ++i)
        BuildDefaultImage(image);
    std::printf("default image: %.2f ms per build\n", double(t.nsecsElapsed()) / 20 / 1e6);

    // Unload the full version into frames, then load every frame back.
    t.restart();
    Unloader unloader(image, VersionBlocks(), VersionType::Planeta);
    std::vector<uint8_t> frames;
    frames.reserve(1920 * kFrameChars);
    unloader.Feed(kAnswerAgain, frames);
    while (!unloader.Done())
        unloader.Feed(kAnswerNext, frames);
    const double unloadMs = double(t.nsecsElapsed()) / 1e6;
    SimMemory copy;
    Loader loader(copy);
    std::vector<uint8_t> answers;
    t.restart();
    for (uint8_t c : frames)
        loader.Feed(c, answers);
    const double loadMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("version of %zu blocks (%zu codes): unloader %.1f ms, loader %.1f ms, %d stored\n",
                unloader.Count(), frames.size(), unloadMs, loadMs, loader.Accepted());
    std::printf("  on the line at 7200 codes/s the transfer takes %.0f s\n",
                double(frames.size()) / 7200.0);

    // A live read of 771 codes repeated for a minute of exchange time.
    SimOptions o;
    o.callsPerMinute = 0;
    o.animateMs = 1000;
    SimExchange ex(o);
    ex.HandleDirective(QStringLiteral("ТО_8,5100,2FF,10,,1-"), 0);
    size_t codes = 0;
    t.restart();
    for (int64_t now = 0; now < 60000; now += 10) {
        ex.Tick(now);
        codes += ex.TakeAll(now).size();
    }
    std::printf("live read: %zu codes for 60 s of exchange time in %.1f ms\n", codes,
                double(t.nsecsElapsed()) / 1e6);

    // Calls at 9800 a minute (the line's maximum), held 1 s on average.
    o.callsPerMinute = 9800;
    o.meanHoldSeconds = 1;
    SimExchange calls(o);
    const uint8_t space = 4;
    calls.Receive(&space, 1, 0);
    codes = 0;
    t.restart();
    for (int64_t now = 0; now < 60000; now += 10) {
        calls.Tick(now);
        codes += calls.TakeAll(now).size();
    }
    std::printf("calls: %zu codes (%.0f calls) for 60 s of exchange time in %.1f ms\n", codes,
                double(codes) / 44.0, double(t.nsecsElapsed()) / 1e6);
    return 0;
}
