#include "Line.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {
QString Errno(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

SimLine::~SimLine() {
    Close();
}

void SimLine::Close() {
    if (m_keep >= 0) ::close(m_keep);
    if (m_fd >= 0) ::close(m_fd);
    m_keep = m_fd = -1;
}

bool SimLine::CreatePty(QString* error) {
    Close();
    int master = -1, slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error) *error = Errno("openpty");
        return false;
    }
    termios t{};
    if (::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B57600);
        ::cfsetospeed(&t, B57600);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_fd = master;
    m_keep = slave;
    m_pty = true;
    m_path = QString::fromLocal8Bit(name);
    return true;
}

bool SimLine::OpenDevice(const QString& path, QString* error) {
    Close();
    m_path = path;
    m_pty = false;
    return Reopen(error);
}

bool SimLine::Reopen(QString* error) {
    if (m_pty) return m_fd >= 0;
    if (m_fd >= 0) ::close(m_fd);
    m_fd = ::open(m_path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        if (error) *error = Errno("open");
        return false;
    }
    termios t{};
    if (::tcgetattr(m_fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B57600);
        ::cfsetospeed(&t, B57600);
        t.c_cflag &= ~tcflag_t(CSIZE | PARENB | CRTSCTS);
        t.c_cflag |= CS5 | CSTOPB | CLOCAL | CREAD;
        ::tcsetattr(m_fd, TCSANOW, &t);
    }
    return true;
}

ssize_t SimLine::Read(uint8_t* buffer, size_t size) {
    return m_fd < 0 ? -1 : ::read(m_fd, buffer, size);
}

ssize_t SimLine::Write(const uint8_t* data, size_t size) {
    return m_fd < 0 ? -1 : ::write(m_fd, data, size);
}

bool SimLine::SetClearToSend(bool on, QString* error) {
    if (m_fd < 0 || m_pty) {
        if (error) *error = QStringLiteral("the line has no modem control lines");
        return false;
    }
    int bits = TIOCM_RTS;
    if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        if (error) *error = Errno("ioctl");
        return false;
    }
    return true;
}

} // namespace sim
