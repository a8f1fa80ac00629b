#include "ToolDecode.h"

#include "ToolLine.h"

#include "link/ReceiveSplitter.h"

#include <QFile>

#include <array>
#include <cstdio>

namespace {
int DecodeUsage() {
    ToolErr() << "usage: varnel-tool decode [FILE|-] [--frames]\n";
    return 2;
}

// The roll text, or (frames) one line of nibble values per call frame.
class DecodeOut : public ReceiveSplitter::Output {
public:
    explicit DecodeOut(bool frames) : m_frames(frames) {}
    void Text(const QString& text) override {
        if (!m_frames) ToolOut() << text;
    }
    void CallStart(const CallStartNibbles& n) override { Line("call-start", n.data(), n.size()); }
    void CallEnd(const CallEndNibbles& n) override { Line("call-end", n.data(), n.size()); }

private:
    void Line(const char* kind, const uint8_t* nibbles, size_t count) {
        if (!m_frames) return;
        QTextStream& out = ToolOut();
        out << kind;
        for (size_t i = 0; i < count; ++i)
            out << ' ' << nibbles[i];
        out << '\n';
    }
    bool m_frames;
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
    if (!path.isEmpty() && path != QLatin1String("-") && !RegularFileOrSay(path)) return 1;
    QFile in;
    const bool ok = path.isEmpty() || path == QLatin1String("-")
                        ? in.open(stdin, QIODevice::ReadOnly)
                        : (in.setFileName(path), in.open(QIODevice::ReadOnly));
    if (!ok) {
        ToolErr() << "cannot read " << path << ": " << in.errorString() << '\n';
        return 1;
    }

    // Frames are cut out of the stream; the text around them is what the
    // roll would get.
    DecodeOut out(frames);
    ReceiveSplitter splitter(out);

    std::array<char, 4096> block{};
    for (;;) {
        const qint64 n = in.read(block.data(), qint64(block.size()));
        if (n < 0) {
            ToolErr() << "read error: " << in.errorString() << '\n';
            ToolOut().flush();
            return 1;
        }
        if (n == 0) break;
        std::array<uint8_t, 4096> codes{};
        for (qint64 i = 0; i < n; ++i)
            codes[size_t(i)] = uint8_t(block[size_t(i)]) & 31;
        splitter.Feed(codes.data(), int(n));
    }
    // The end of the capture: what is still held is text.
    splitter.Flush();
    ToolOut().flush();
    return 0;
}
