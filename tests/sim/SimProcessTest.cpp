// The varnel-sim program on its pseudo-terminal: what a terminal opening the
// printed device sees, and the control commands on standard input.
#include "link/LineCode.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
struct Sim {
    QProcess proc;
    QString path;
    int fd = -1;

    // Standard output until it holds `until` (at most 5 s).
    QString Replies(const QString& until) {
        QString got;
        QElapsedTimer t;
        t.start();
        while (!got.contains(until) && t.elapsed() < 5000) {
            proc.waitForReadyRead(100);
            got += QString::fromLocal8Bit(proc.readAll());
        }
        return got;
    }
    bool Start(const QStringList& args) {
        proc.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"), args);
        path = Replies(QStringLiteral("\n")).trimmed(); // the device it serves
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (fd < 0 || ::tcgetattr(fd, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        return ::tcsetattr(fd, TCSANOW, &tio) == 0;
    }
    ~Sim() {
        if (fd >= 0) ::close(fd);
        if (proc.state() != QProcess::NotRunning) proc.kill();
        proc.waitForFinished(3000);
    }
    void Send(const QString& directive) {
        uint8_t buf[256];
        LineCodeState st;
        const int n = EncodeCodes(st, directive, buf, sizeof buf);
        ASSERT_EQ(::write(fd, buf, size_t(n)), n);
    }
    // Decoded text from the line until it holds `until` (at most 5 s).
    QString Read(const QString& until) {
        QElapsedTimer t;
        t.start();
        LineCodeState st;
        QString text;
        while (t.elapsed() < 5000 && !text.contains(until)) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                uint8_t buf[512];
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0) text += DecodeCodes(st, buf, int(n), [] { return QString(); });
            }
        }
        return text;
    }
};
} // namespace

TEST(SimProcess, AnswersOnItsPtyAndTakesCommands) {
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("s.txt"));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# greeting once the terminal is there\nwait 300\nprint ЛИНИЯ ГОТОВА\n");
    f.close();

    Sim sim;
    ASSERT_TRUE(
        sim.Start({QStringLiteral("--calls"), QStringLiteral("0"), QStringLiteral("--seed"),
                   QStringLiteral("1"), QStringLiteral("--clock"),
                   QStringLiteral("2026-12-05 14:05:00"), QStringLiteral("--script"), script}));
    EXPECT_TRUE(sim.path.startsWith(QStringLiteral("/dev/")));
    EXPECT_TRUE(sim.Read(QStringLiteral("ГОТОВА")).contains(QStringLiteral("ЛИНИЯ_ГОТОВА")));

    sim.Send(QStringLiteral("МВ_-"));
    EXPECT_TRUE(sim.Read(QStringLiteral(".2026")).contains(QStringLiteral("МАШИННОЕ_ВРЕМЯ_14.05")));

    // Control commands reply on standard output; a bad one says why.
    sim.proc.write("poke 77 1234\nfrobnicate\n");
    const QString replies = sim.Replies(QStringLiteral("frobnicate"));
    EXPECT_TRUE(replies.contains(QStringLiteral("ok 77 1234")));
    EXPECT_TRUE(replies.contains(QStringLiteral("error: unknown command frobnicate")));
    sim.Send(QStringLiteral("РЯ_77-"));
    EXPECT_TRUE(sim.Read(QStringLiteral("+-")).contains(QStringLiteral("00077+-")));

    sim.proc.write("quit\n");
    ASSERT_TRUE(sim.proc.waitForFinished(3000));
    EXPECT_EQ(sim.proc.exitCode(), 0);
}
