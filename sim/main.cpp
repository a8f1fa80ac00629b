// varnel-sim: plays one exchange on a serial line for the terminal. Prints
// the device the terminal is to open on the first line of standard output,
// then takes control commands on standard input (see sim/README.md).
#include "Exchange.h"
#include "Line.h"
#include "Runner.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QStringList>

#include <cstdio>
#include <random>

namespace {
int Usage(int status) {
    std::fputs(
        "usage: varnel-sim [options]\n"
        "  --device PATH     serve this serial device instead of a new pseudo-terminal\n"
        "  --seed N          make every random choice repeatable\n"
        "  --calls N         calls per minute from the call generator (default 3, 0 = none)\n"
        "  --hold SECONDS    mean duration of a generated call (default 40)\n"
        "  --script FILE     run the control commands of FILE first\n"
        "  --image FILE.ver  load this version into memory instead of the default image\n"
        "  --vef             bank codes of the VEF loader (default Planeta)\n"
        "  --still           no live changes of the busy bits (a fixed image)\n"
        "  --baud N          pace of the output (default 57600; 0 = unpaced)\n"
        "  --clock TIME      machine time at start, \"yyyy-MM-dd hh:mm:ss\" (default: now)\n"
        "  --verbose         log directives, calls and transfers to standard error\n",
        status == 0 ? stdout : stderr);
    return status;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    sim::SimOptions options;
    options.seed = std::random_device{}();
    sim::RunnerOptions run;
    QString device, image;

    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        QString v;
        bool ok = true;
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) return Usage(0);
        if (a == QStringLiteral("--vef")) {
            options.versionType = sim::VersionType::Vef;
        } else if (a == QStringLiteral("--still")) {
            options.animateMs = 0;
        } else if (a == QStringLiteral("--verbose")) {
            run.verbose = true;
        } else if (a == QStringLiteral("--device")) {
            ok = value(device);
        } else if (a == QStringLiteral("--script")) {
            ok = value(run.script);
        } else if (a == QStringLiteral("--image")) {
            ok = value(image);
        } else if (a == QStringLiteral("--seed")) {
            ok = value(v);
            if (ok) options.seed = v.toUInt(&ok);
        } else if (a == QStringLiteral("--calls")) {
            ok = value(v);
            if (ok) options.callsPerMinute = v.toDouble(&ok);
            ok = ok && options.callsPerMinute >= 0;
        } else if (a == QStringLiteral("--hold")) {
            ok = value(v);
            if (ok) options.meanHoldSeconds = v.toDouble(&ok);
            ok = ok && options.meanHoldSeconds >= 0;
        } else if (a == QStringLiteral("--baud")) {
            ok = value(v);
            if (ok) run.baud = v.toInt(&ok);
            ok = ok && run.baud >= 0;
        } else if (a == QStringLiteral("--clock")) {
            ok = value(v);
            if (ok) {
                options.clock = QDateTime::fromString(v, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
                ok = options.clock.isValid();
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "varnel-sim: bad argument %s\n", a.toLocal8Bit().constData());
            return Usage(2);
        }
    }

    sim::SimLine line;
    QString error;
    if (device.isEmpty() ? !line.CreatePty(&error) : !line.OpenDevice(device, &error)) {
        std::fprintf(stderr, "varnel-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    sim::SimExchange exchange(options);
    if (!image.isEmpty()) {
        if (sim::LoadVersionFile(exchange.Memory(), image, &error) < 0) {
            std::fprintf(stderr, "varnel-sim: %s: %s\n", image.toLocal8Bit().constData(),
                         error.toLocal8Bit().constData());
            return 1;
        }
    }
    std::printf("%s\n", line.Path().toLocal8Bit().constData());
    std::fflush(stdout);
    return sim::RunSimulator(exchange, line, run);
}
