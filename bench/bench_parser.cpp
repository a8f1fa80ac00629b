// Receive-path throughput: splitter, decoder and roll write on a synthetic
// exchange stream (printouts with call frames making about 5% of the codes),
// handed over in reads of random sizes. Also the held-text cases that must
// stay linear: a printout held by a capture that never matches, and one held
// by trailing 11/14 codes, both fed one code per read.
//
//   bench_parser [MEGACODES]   (default 8)
#include "link/Ats.h"
#include "link/LineCode.h"
#include "link/LinkOptions.h"
#include "platform/ProgramLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <random>
#include <vector>

namespace {
using Codes = std::vector<uint8_t>;

struct CallCount : ICallSink {
    long starts = 0, ends = 0;
    void OnCallStart(const AtsSettings&, const CallStartNibbles&) override { ++starts; }
    void OnCallEnd(const AtsSettings&, const CallEndNibbles&) override { ++ends; }
};

Codes Encode(const QString& text) {
    LineCodeState st;
    uint8_t buf[4096];
    const int n = EncodeCodes(st, text, buf, int(sizeof buf));
    return Codes(buf + 1, buf + n);
}

// Printout lines and call frames until `total` codes; frames are about 5%.
Codes MakeStream(size_t total, unsigned seed) {
    const QStringList lines = {
        QStringLiteral("ТО_5,-"),
        QStringLiteral("НАПРАВЛЕНИЕ_12_КОМПЛЕКТ_0345_СОСТОЯНИЕ_РАБОТА"),
        QStringLiteral("ВРЕМЯ_12:30:45_ДАТА_05.12.26"),
        QStringLiteral("АБОНЕНТ_2345678_ЗАНЯТ_СТАТИСТИКА_ПО_НАПРАВЛЕНИЯМ"),
        QStringLiteral("ОШИБКА_БЛОКА_7_КОД_00FF_ПОВТОР"),
    };
    std::vector<Codes> encoded;
    for (const QString& l : lines)
        encoded.push_back(Encode(l));
    std::mt19937 rng(seed);
    Codes s;
    s.reserve(total + 64);
    size_t frameCodes = 0;
    while (s.size() < total) {
        if (frameCodes * 20 < s.size()) {
            const bool start = rng() % 2;
            const Codes head = {11, 11, 11, uint8_t(start ? 17 : 1)};
            s.insert(s.end(), head.begin(), head.end());
            for (int i = 4; i < (start ? 28 : 16); ++i)
                s.push_back(LineCode::CodeOfNibble(uint8_t(rng() % 10)));
            frameCodes += start ? 28 : 16;
        } else {
            const Codes& l = encoded[rng() % encoded.size()];
            s.insert(s.end(), l.begin(), l.end());
            s.push_back(8);
            s.push_back(2);
        }
    }
    return s;
}

// One exchange with its roll in a scratch folder: the codes go in where the
// line hands them over.
struct Rig {
    QTemporaryDir dir;
    LinkOptions app;
    CallCount calls;
    std::unique_ptr<TAts> ats;
    Rig() {
        SetLogDir(dir.path());
        app.rollDir = dir.path() + QLatin1Char('/');
        app.registryPath = dir.path() + QStringLiteral("/settings.ini");
        ats = std::make_unique<TAts>(app, 1);
        ats->SetCallSink(&calls);
    }
    void Put(const uint8_t* codes, size_t n) { ats->Receiver().Feed(codes, int(n)); }
    // Feeds the stream in reads of 1..maxRead codes; returns seconds.
    double Feed(const Codes& s, unsigned maxRead, unsigned seed) {
        std::mt19937 rng(seed);
        QElapsedTimer t;
        t.start();
        size_t at = 0;
        while (at < s.size()) {
            const size_t n = std::min<size_t>(s.size() - at, 1 + rng() % maxRead);
            Put(s.data() + at, n);
            at += n;
        }
        return double(t.nsecsElapsed()) / 1e9;
    }
};
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double mega = argc > 1 ? std::atof(argv[1]) : 8.0;
    const size_t total = size_t(mega * 1e6);
    const Codes stream = MakeStream(total, 1);
    constexpr double kLineRate = 4 * 7200.0; // codes per second, four exchanges

    std::printf("stream: %zu codes, call frames about 5%% of them\n", stream.size());
    const unsigned only = argc > 2 ? unsigned(std::atoi(argv[2])) : 0;
    for (unsigned maxRead : {16u, 256u, 4096u}) {
        if (only && maxRead != only) continue;
        Rig rig;
        const double s = rig.Feed(stream, maxRead, 7);
        const double rate = double(stream.size()) / s;
        std::printf("reads of 1..%-5u  %7.2f M codes/s  (%6.0f x four lines)  calls %ld+%ld  roll "
                    "%.1f MB\n",
                    maxRead, rate / 1e6, rate / kLineRate, rig.calls.starts, rig.calls.ends,
                    double(QFileInfo(rig.ats->RollLog().FileName()).size()) / 1e6);
    }

    // Held text, one code per read: the work per read must not grow with
    // what is held.
    const Codes printout = MakeStream(200000, 2);
    {
        Rig rig;
        rig.ats->Receiver().StartCapture(QStringLiteral("НИКОГДА_НЕ_ПРИДЕТ"), 4);
        const double s = rig.Feed(printout, 1, 3);
        std::printf("capture never matching, 1 code per read: %7.2f M codes/s\n",
                    double(printout.size()) / s / 1e6);
    }
    {
        Codes held;
        for (size_t i = 0; i < printout.size(); ++i) {
            held.push_back(printout[i] == 11 || printout[i] == 14 ? 4 : printout[i]);
            if (i % 100 == 99) held.push_back(i % 200 == 199 ? 14 : 11);
        }
        Rig rig;
        // Reads of 101 codes each end with 11 or 14, so every read is held.
        QElapsedTimer t;
        t.start();
        for (size_t at = 0; at < held.size(); at += 101) {
            rig.Put(held.data() + at, std::min<size_t>(101, held.size() - at));
        }
        std::printf("printout held by trailing 11/14:          %7.2f M codes/s\n",
                    double(held.size()) / (double(t.nsecsElapsed()) / 1e9) / 1e6);
    }
    return 0;
}
