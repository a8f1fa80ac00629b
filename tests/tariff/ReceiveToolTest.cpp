// varnel-tool decode: the receive parser over a raw capture.
#include "TestSupport.h"

#include "link/LineCode.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {
QByteArray Capture() {
    std::vector<uint8_t> s = {3, 25, 11, 11, 11, 17}; // "AB", a call start
    for (int i = 0; i < 24; ++i)
        s.push_back(LineCode::CodeOfNibble(uint8_t(i % 10)));
    s.insert(s.end(), {9, 11, 11, 11, 1}); // "D", a call end
    s.insert(s.end(), 12, LineCode::CodeOfNibble(7));
    s.insert(s.end(), {8, 2, 29, 21, 11}); // new line, "XY", a trailing "J"
    QByteArray raw;
    for (uint8_t c : s)
        raw.append(char(c | 0x60)); // the high bits are ignored
    return raw;
}

QString Tool(const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-tool"), args);
    if (!p.waitForStarted(10000)) return QStringLiteral("<not started>");
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

TEST(ReceiveTool, DecodePrintsTheRollTextAndFramesOnRequest) {
    TestEnv env;
    QFile f(env.Path(QStringLiteral("line.raw")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Capture());
    f.close();

    const QString text = Tool({QStringLiteral("decode"), f.fileName()}, {});
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^ABD\r\n\\d{1,2},\\d\\d\\|\\d\\d,\\d\\d,\\d\\d\\|  XYJ$"))
                    .match(text)
                    .hasMatch())
        << text.toStdString();

    const QString frames = Tool({QStringLiteral("decode"), QStringLiteral("--frames")}, Capture());
    EXPECT_EQ(frames, QStringLiteral(
                          "call-start 10 10 10 1 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3\n"
                          "call-end 10 10 10 0 7 7 7 7 7 7 7 7 7 7 7 7\n"));
}
