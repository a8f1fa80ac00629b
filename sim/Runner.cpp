#include "Runner.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace sim {

namespace {
// Milliseconds since the program started (the exchange's time base).
int64_t NowMs() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

void Reply(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Output pacing at the line's character rate (1 start, 5 data, 2 stop bits).
class Pacer {
public:
    explicit Pacer(int baud) : m_cps(baud / 8.0) {}
    bool Unpaced() const { return m_cps <= 0; }
    // Codes that may be written now.
    size_t Allowance(int64_t now, bool pending) {
        if (Unpaced()) return std::numeric_limits<size_t>::max();
        const double burst = std::max(16.0, m_cps / 50.0);
        m_credit = std::min(burst, m_credit + double(now - m_last) * m_cps / 1000.0);
        m_last = now;
        if (!pending) m_credit = std::min(m_credit, 1.0);
        return size_t(m_credit);
    }
    void Spend(size_t n) {
        if (!Unpaced()) m_credit -= double(n);
    }
    // Milliseconds until `want` codes may be written.
    int64_t WaitFor(size_t want) const {
        if (Unpaced() || m_credit >= double(want)) return 0;
        return std::max<int64_t>(1, int64_t(std::ceil((double(want) - m_credit) * 1000.0 / m_cps)));
    }

private:
    double m_cps;
    double m_credit = 0;
    int64_t m_last = NowMs();
};
} // namespace

int RunSimulator(SimExchange& ex, SimLine& line, const RunnerOptions& options) {
    std::signal(SIGPIPE, SIG_IGN);
    if (options.verbose)
        ex.OnEvent = [](const QString& e) {
            std::fprintf(stderr, "varnel-sim: %s\n", e.toLocal8Bit().constData());
        };

    std::deque<QString> commands;
    if (!options.script.isEmpty()) {
        QFile f(options.script);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            std::fprintf(stderr, "varnel-sim: cannot read %s\n",
                         options.script.toLocal8Bit().constData());
            return 1;
        }
        for (const QString& l : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n')))
            commands.push_back(l);
    }

    bool stdinOpen = true;
    // Standard input may be a terminal shared with the shell: give its flags
    // back on the way out.
    struct StdinFlags {
        int saved = ::fcntl(STDIN_FILENO, F_GETFL);
        StdinFlags() {
            if (saved >= 0) ::fcntl(STDIN_FILENO, F_SETFL, saved | O_NONBLOCK);
        }
        ~StdinFlags() {
            if (saved >= 0) ::fcntl(STDIN_FILENO, F_SETFL, saved);
        }
    } stdinFlags;
    QByteArray stdinBuf;
    Pacer pacer(options.baud);
    std::vector<uint8_t> carry; // taken from the exchange, not yet written
    bool lineBlocked = false;
    int64_t waitUntil = 0;   // a "wait" command holds the queue until then
    int64_t lineRetryAt = 0; // a lost device line is reopened then
    std::vector<uint8_t> buf(4096);

    for (;;) {
        int64_t now = NowMs();
        while (!commands.empty() && now >= waitUntil && !ex.QuitRequested()) {
            const QString cmd = commands.front().trimmed();
            commands.pop_front();
            const QStringList w = cmd.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (!w.isEmpty() && w[0] == QStringLiteral("wait")) {
                bool ok = false;
                const double ms = w.size() == 2 ? w[1].toDouble(&ok) : 0;
                if (!ok || ms < 0) {
                    Reply(QStringLiteral("error: wait MILLISECONDS"));
                } else {
                    waitUntil = now + int64_t(ms);
                }
            } else if (!w.isEmpty() && w[0] == QStringLiteral("cts")) {
                QString error;
                const bool low = w.size() == 2 && w[1] == QStringLiteral("low");
                const bool high = w.size() == 2 && w[1] == QStringLiteral("high");
                if (!low && !high)
                    Reply(QStringLiteral("error: cts low|high"));
                else if (!line.SetClearToSend(high, &error))
                    Reply(QStringLiteral("error: ") + error);
                else
                    Reply(QStringLiteral("ok"));
            } else {
                const SimExchange::Reply r = ex.Command(cmd, now);
                if (!r.ok)
                    Reply(QStringLiteral("error: ") + r.text);
                else if (!cmd.isEmpty() && !cmd.startsWith(QLatin1Char('#')))
                    Reply(r.text.isEmpty() ? QStringLiteral("ok") : QStringLiteral("ok ") + r.text);
            }
        }
        if (ex.QuitRequested()) return 0;

        ex.Tick(now);

        // Write what the pace allows.
        if (line.IsOpen() && !lineBlocked) {
            size_t allow = pacer.Allowance(now, !carry.empty() || ex.Pending() > 0);
            while (allow > 0) {
                if (carry.empty()) {
                    const size_t n = std::min({allow, buf.size(), ex.Pending()});
                    if (n == 0) break;
                    carry.assign(buf.begin(),
                                 buf.begin() + std::ptrdiff_t(ex.Take(buf.data(), n, now)));
                    if (carry.empty()) break; // silent
                }
                const size_t n = std::min(allow, carry.size());
                const ssize_t w = line.Write(carry.data(), n);
                if (w < 0) {
                    if (errno == EAGAIN || errno == EWOULDBLOCK) lineBlocked = true;
                    break;
                }
                carry.erase(carry.begin(), carry.begin() + w);
                pacer.Spend(size_t(w));
                allow -= size_t(w);
                if (size_t(w) < n) {
                    lineBlocked = true;
                    break;
                }
            }
            ex.Tick(now);
        }

        // Sleep until something is due.
        const bool output = !carry.empty() || (ex.Pending() > 0 && !ex.Silent(now));
        int64_t due = ex.NextDeadline(now);
        if (!commands.empty() && waitUntil > now) due = std::min(due, waitUntil);
        if (output && !lineBlocked && line.IsOpen())
            due = std::min(due,
                           now + pacer.WaitFor(std::min<size_t>(32, carry.size() + ex.Pending())));
        if (!line.IsOpen()) due = std::min(due, lineRetryAt);
        const int timeout = int(std::clamp<int64_t>(due - now, 0, 1000));

        pollfd fds[2];
        int nfds = 0;
        const int lineIdx = line.IsOpen() ? nfds++ : -1;
        if (lineIdx >= 0)
            fds[lineIdx] = {line.Fd(), short(POLLIN | (lineBlocked ? POLLOUT : 0)), 0};
        const int inIdx = stdinOpen ? nfds++ : -1;
        if (inIdx >= 0) fds[inIdx] = {STDIN_FILENO, POLLIN, 0};
        if (::poll(fds, nfds_t(nfds), timeout) < 0 && errno != EINTR) {
            std::perror("varnel-sim: poll");
            return 1;
        }
        now = NowMs();

        if (lineIdx >= 0) {
            const short re = fds[lineIdx].revents;
            if (re & POLLOUT) lineBlocked = false;
            if (re & POLLIN) {
                for (;;) {
                    const ssize_t n = line.Read(buf.data(), buf.size());
                    if (n <= 0) break;
                    ex.Receive(buf.data(), size_t(n), now);
                }
            }
            if ((re & (POLLHUP | POLLERR | POLLNVAL)) && !(re & POLLIN)) {
                // The device went away (our own pty never hangs up: its slave
                // is held open). Close it and try again a second later.
                std::fprintf(stderr, "varnel-sim: line %s lost\n",
                             line.Path().toLocal8Bit().constData());
                line.Close();
                lineBlocked = false;
                lineRetryAt = now + 1000;
            }
        } else if (!line.IsOpen() && now >= lineRetryAt) {
            QString error;
            if (!line.Reopen(&error)) lineRetryAt = now + 1000;
        }

        if (inIdx >= 0 && (fds[inIdx].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            char in[1024];
            for (;;) {
                const ssize_t n = ::read(STDIN_FILENO, in, sizeof in);
                if (n > 0) {
                    stdinBuf.append(in, n);
                    continue;
                }
                if (n == 0 || (errno != EAGAIN && errno != EINTR)) stdinOpen = false;
                break;
            }
            qsizetype nl;
            while ((nl = stdinBuf.indexOf('\n')) >= 0) {
                commands.push_back(QString::fromLocal8Bit(stdinBuf.left(nl)));
                stdinBuf.remove(0, nl + 1);
            }
            if (!stdinOpen && !stdinBuf.isEmpty()) {
                commands.push_back(QString::fromLocal8Bit(stdinBuf));
                stdinBuf.clear();
            }
        }
    }
}

} // namespace sim
