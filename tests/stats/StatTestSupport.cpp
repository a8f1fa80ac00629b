#include "StatTestSupport.h"

#include "link/LineCode.h"

#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

SimPeer::SimPeer() {
    m_clock.start();
    sim::SimOptions o;
    o.seed = 7;
    o.callsPerMinute = 0;
    o.animateMs = 0;
    o.repeatMs = 40;
    m_sim = std::make_unique<sim::SimExchange>(o, Now());
    m_sim->OnEvent = [this](const QString& e) {
        if (e.startsWith(QStringLiteral("directive "))) {
            Directives << e.mid(10);
            m_spaces.push_back(0);
            m_frames.push_back(0);
            m_frameLen = 0;
            if (OnDirective) OnDirective(Directives.last());
        } else if (e.startsWith(QStringLiteral("read ")) && e.endsWith(QStringLiteral(" codes"))) {
            m_frameLen = e.section(QLatin1Char(' '), 2, 2).toInt() + 3;
            m_codesOfRead = 0;
        }
    };
    if (!m_pty.Ok()) return;
    m_notifier = new QSocketNotifier(m_pty.MasterFd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { Read(); });
    m_timer = new QTimer(this);
    m_timer->setInterval(2);
    connect(m_timer, &QTimer::timeout, this, [this] { Pump(); });
    m_timer->start();
}

SimPeer::~SimPeer() = default;

int SimPeer::SpacesAfter(int directive) const {
    const size_t i = size_t(directive + 1);
    return i < m_spaces.size() ? m_spaces[i] : 0;
}

int SimPeer::FramesOf(int directive) const {
    return directive >= 0 && size_t(directive) < m_frames.size() ? m_frames[size_t(directive)] : 0;
}

void SimPeer::Read() {
    uint8_t buf[1024];
    for (;;) {
        const ssize_t n = ::read(m_pty.MasterFd(), buf, sizeof buf);
        if (n <= 0) break;
        if (Deaf) continue;
        // Spaces outside directives are continuations (a directive starts at
        // code 0 and ends at "-").
        for (ssize_t i = 0; i < n; ++i) {
            const uint8_t c = buf[i] & 31;
            const qsizetype before = Directives.size();
            m_sim->Receive(&c, 1, Now());
            if (Directives.size() != before)
                m_inDirective = false;
            else if (c == 0)
                m_inDirective = true;
            else if (c == LineCode::kSpace && !m_inDirective)
                ++m_spaces.back();
        }
    }
    Pump();
}

void SimPeer::Pump() {
    if (Deaf) return;
    const int64_t now = Now();
    m_sim->Tick(now);
    const std::vector<uint8_t> out = m_sim->TakeAll(now);
    if (m_frameLen > 0 && !m_frames.empty() && !out.empty()) {
        const int before = int(m_codesOfRead / size_t(m_frameLen));
        m_codesOfRead += out.size();
        const int after = int(m_codesOfRead / size_t(m_frameLen));
        m_frames.back() = after;
        for (int f = before + 1; f <= after && OnFrame; ++f)
            OnFrame(int(Directives.size()) - 1, f);
    }
    m_unsent.insert(m_unsent.end(), out.begin(), out.end());
    while (!m_unsent.empty()) {
        const ssize_t n = ::write(m_pty.MasterFd(), m_unsent.data(), m_unsent.size());
        if (n <= 0) break;
        m_unsent.erase(m_unsent.begin(), m_unsent.begin() + n);
    }
}
