#include "ToolDecode.h"

#include "ToolLine.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "platform/Registry.h"
#include "tariff/ReceiveParser.h"

#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdio>

namespace {
int DecodeUsage() {
    ToolErr() << "usage: varnel-tool decode [FILE|-] [--frames]\n";
    return 2;
}

// Call frames as lines of nibble values.
class FrameLines : public ICallSink {
public:
    void OnCallStart(TAts&, const std::array<uint8_t, 28>& n) override {
        Line("call-start", n.data(), 28);
    }
    void OnCallEnd(TAts&, const std::array<uint8_t, 16>& n) override {
        Line("call-end", n.data(), 16);
    }

private:
    static void Line(const char* kind, const uint8_t* nibbles, int count) {
        QTextStream& out = ToolOut();
        out << kind;
        for (int i = 0; i < count; ++i)
            out << ' ' << nibbles[i];
        out << '\n';
    }
};
} // namespace

int ToolDecode(const QStringList& args) {
    bool frames = false;
    QString path;
    for (const QString& a : args) {
        if (a == QLatin1String("--frames")) {
            frames = true;
        } else if (path.isEmpty() &&
                   (a == QLatin1String("-") || !a.startsWith(QLatin1String("--")))) {
            path = a;
        } else {
            return DecodeUsage();
        }
    }
    QFile in;
    const bool ok = path.isEmpty() || path == QLatin1String("-")
                        ? in.open(stdin, QIODevice::ReadOnly)
                        : (in.setFileName(path), in.open(QIODevice::ReadOnly));
    if (!ok) {
        ToolErr() << "cannot read " << path << ": " << in.errorString() << '\n';
        return 1;
    }

    // An exchange object of its own, with a scratch settings store, so that
    // decoding leaves the workstation's settings untouched.
    QTemporaryDir scratchDir;
    Registry scratch(scratchDir.path() + QStringLiteral("/settings.ini"));
    AppState app;
    app.Reg = &scratch;
    FrameLines sink;
    app.Calls = &sink;
    TAts ats(app, 1, nullptr);
    if (ats.RawRx.size() < size_t(kRxSize)) return 1;
    TReceive parser(app);
    if (!frames) {
        // Frames are cut out and dropped; the text is printed.
        app.Calls = nullptr;
        parser.TextOut = [](TAts&, const QString& text) { ToolOut() << text; };
    }

    std::array<char, 4096> block{};
    for (;;) {
        const qint64 n = in.read(block.data(), qint64(block.size()));
        if (n < 0) {
            ToolErr() << "read error: " << in.errorString() << '\n';
            ToolOut().flush();
            return 1;
        }
        if (n == 0) break;
        for (qint64 i = 0; i < n; ++i)
            ats.RawRx[size_t(i)] = uint8_t(block[size_t(i)]) & 31;
        ats.RxCount = int(n);
        parser.ReceiveParser(ats);
    }
    // The end of the capture: what is still held is text.
    parser.FlushHeld(ats);
    ToolOut().flush();
    return 0;
}
