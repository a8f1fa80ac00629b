#include "app/ExitSignals.h"

#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

void OnSignal(int sig) {
    const unsigned char b = static_cast<unsigned char>(sig);
    // Only async-signal-safe calls here.
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &b, 1);
}
} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    if (g_fds[0] >= 0) return; // one instance per process
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0) {
        g_fds[0] = g_fds[1] = -1;
        return;
    }
    for (int fd : g_fds) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ExitSignals::Drain);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, &g_oldTerm);
    sigaction(SIGINT, &sa, &g_oldInt);
}

ExitSignals::~ExitSignals() {
    if (!m_notifier) return;
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    sigaction(SIGINT, &g_oldInt, nullptr);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void ExitSignals::Drain() {
    unsigned char b = 0;
    while (::read(g_fds[1], &b, 1) == 1)
        emit received(int(b));
}

#else

namespace {
volatile std::sig_atomic_t g_pending = 0;
void OnSignal(int sig) {
    g_pending = sig;
}
} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent) {
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    m_poll = new QTimer(this);
    m_poll->setInterval(200);
    connect(m_poll, &QTimer::timeout, this, &ExitSignals::Drain);
    m_poll->start();
}

ExitSignals::~ExitSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

void ExitSignals::Drain() {
    if (const int sig = g_pending) {
        g_pending = 0;
        emit received(sig);
    }
}

#endif
