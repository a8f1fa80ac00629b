#include "TestSupport.h"

#include "platform/EscTracker.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

TestEnv::TestEnv() {
    m_hadRegistry = qEnvironmentVariableIsSet("VARNEL_REGISTRY");
    m_oldRegistry = qgetenv("VARNEL_REGISTRY");
    qputenv("VARNEL_REGISTRY", RegistryPath().toUtf8());
    SetLogDir(m_dir.path());
}

TestEnv::~TestEnv() {
    if (m_hadRegistry)
        qputenv("VARNEL_REGISTRY", m_oldRegistry);
    else
        qunsetenv("VARNEL_REGISTRY");
    SetLogDir(QString());
}

PtyPair::PtyPair() {
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    termios t{};
    if (tcgetattr(slave, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slaveKeep = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    if (m_slaveKeep >= 0) ::close(m_slaveKeep);
    if (m_master >= 0) ::close(m_master);
}

std::vector<uint8_t> PtyPair::ReadMaster(size_t atLeast, int ms) {
    std::vector<uint8_t> out;
    QElapsedTimer t;
    t.start();
    auto drain = [&] {
        uint8_t buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0) break;
            out.insert(out.end(), buf, buf + n);
        }
    };
    drain();
    while (out.size() < atLeast && t.elapsed() < ms) {
        WaitFor(5, false);
        drain();
    }
    return out;
}

bool PtyPair::WriteMaster(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EAGAIN) {
                WaitFor(1, false);
                continue;
            }
            return false;
        }
        done += size_t(n);
    }
    return true;
}

void PtyPair::MapToPort(int n) const {
    Registry reg;
    reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
    reg.WriteString(QString::number(n), m_slavePath);
    reg.CloseKey();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

qint64 FakePort::Read(uint8_t* data, qint64 max) {
    if (!IsOpenNow) return -1;
    const qint64 n = std::min<qint64>(max, qint64(Input.size()));
    std::copy_n(Input.begin(), n, data);
    Input.erase(Input.begin(), Input.begin() + n);
    return n;
}

void FakePort::Arrive(const std::vector<uint8_t>& bytes) {
    Input.insert(Input.end(), bytes.begin(), bytes.end());
    emit dataAvailable(qint64(bytes.size()));
}

bool WaitWhile(const std::function<bool()>& cond, bool escEnds) {
    // A slow heartbeat makes sure conditions that change without an event
    // (a port's output buffer draining) are looked at again.
    QTimer heartbeat;
    heartbeat.start(10);
    while (cond()) {
        if (escEnds && EscTracker::IsEscDown()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool WaitFor(int ms, bool escEnds) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms);
    return WaitWhile([&] { return t.elapsed() < ms; }, escEnds);
}

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    QElapsedTimer t;
    t.start();
    WaitWhile([&] { return !cond() && t.elapsed() < ms; }, false);
    return cond();
}

bool WaitUntilMoving(const std::function<bool()>& cond, const std::function<qint64()>& progress,
                     int stallMs, int totalMs) {
    QElapsedTimer total, still;
    total.start();
    still.start();
    qint64 last = progress();
    WaitWhile(
        [&] {
            if (cond()) return false;
            const qint64 now = progress();
            if (now != last) {
                last = now;
                still.restart();
            }
            return still.elapsed() < stallMs && total.elapsed() < totalMs;
        },
        false);
    return cond();
}

void PasswordOff() {
    Registry reg;
    if (reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS"), true))
        reg.WriteBool(QStringLiteral("PasswEn"), false);
}

void SwitchLineOn(int n, int port) {
    Registry reg;
    if (!reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS %1").arg(n), true)) return;
    if (port > 0) reg.WriteInteger(QStringLiteral("Port"), port);
    reg.WriteBool(QStringLiteral("In"), true);
}

SimProcess::~SimProcess() {
    if (m_proc.state() == QProcess::NotRunning) return;
    m_proc.write("quit\n");
    if (!m_proc.waitForFinished(3000)) Kill();
}

QString SimProcess::Start(const QStringList& args, int port) {
    m_proc.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"),
                 QStringList{QStringLiteral("--calls"), QStringLiteral("0")} + args);
    if (!m_proc.waitForStarted(5000)) return QString();
    const QString line = ReadLine(5000);
    if (!line.startsWith(QStringLiteral("/dev/"))) return QString();
    Device = line;
    if (port > 0) {
        Registry reg;
        if (reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true))
            reg.WriteString(QString::number(port), Device);
    }
    return Device;
}

QString SimProcess::Command(const QString& cmd, int ms) {
    for (; m_posted > 0 && m_proc.state() != QProcess::NotRunning; --m_posted)
        ReadLine(ms);
    m_posted = 0;
    m_proc.write((cmd + QLatin1Char('\n')).toLocal8Bit());
    return ReadLine(ms);
}

void SimProcess::Post(const QString& cmd) {
    m_proc.write((cmd + QLatin1Char('\n')).toLocal8Bit());
    ++m_posted;
}

void SimProcess::Kill() {
    if (m_proc.state() == QProcess::NotRunning) return;
    m_proc.kill();
    m_proc.waitForFinished(3000);
}

QString SimProcess::ReadLine(int ms) {
    QElapsedTimer t;
    t.start();
    // A simulator that has ended answers nothing more: no wait for it.
    WaitWhile(
        [&] {
            return !m_proc.canReadLine() && m_proc.state() != QProcess::NotRunning &&
                   t.elapsed() < ms;
        },
        false);
    return QString::fromLocal8Bit(m_proc.readLine()).trimmed();
}
