#include "platform/SerialPort.h"

#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QSerialPort>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <termios.h>
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif
#endif

DevicePort::DevicePort(QObject* parent)
    : SerialPort(parent), m_port(std::make_unique<QSerialPort>()) {
    connect(m_port.get(), &QSerialPort::readyRead, this, &DevicePort::OnReadyRead);
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { OnError(int(e)); });
}

DevicePort::~DevicePort() {
    Close();
}

namespace {
QString NumberedDevice(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}
} // namespace

QString DevicePort::DeviceFor(int number) {
    Registry reg;
    if (RegistryKey key{reg, QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), false}) {
        const QString dev = key->ReadString(QString::number(number), QString());
        if (!dev.trimmed().isEmpty()) return dev.trimmed();
    }
    return NumberedDevice(number);
}

QString DevicePort::DeviceName() const {
    return DeviceFor(m_number);
}

QString DevicePort::MappedDevice() const {
    const QString dev = m_device.isEmpty() ? DeviceName() : m_device;
    return dev == NumberedDevice(m_number) ? QString() : dev;
}

void DevicePort::NoteRefused(const QString& what) {
    if (m_noted.contains(what)) return;
    m_noted.insert(what);
    WriteLog(QStringLiteral("Порт ") + m_port->portName() + QStringLiteral(": ") + what);
}

void DevicePort::SetHardwareFlow(bool on) {
    m_flow = on;
    if (m_port->isOpen() &&
        !m_port->setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl)) {
        NoteRefused(QStringLiteral("управление потоком не установлено"));
        m_port->clearError();
    }
}

bool DevicePort::Open() {
    Close();
    m_error.clear();
    m_noModemLines = false;
    m_noCounters = false;
    m_device = DeviceName();
    m_port->setPortName(m_device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        m_port->clearError();
        return false;
    }
    // The flow thresholds of the input buffer (RTS dropped at 3500 bytes held,
    // raised at 409) are the driver's own on both systems: Qt does not set them.
    bool ok = m_port->setBaudRate(57600);
    ok = m_port->setDataBits(QSerialPort::Data5) && ok;
    ok = m_port->setStopBits(QSerialPort::TwoStop) && ok;
    ok = m_port->setParity(QSerialPort::NoParity) && ok;
    ok = m_port->setFlowControl(m_flow ? QSerialPort::HardwareControl
                                       : QSerialPort::NoFlowControl) &&
         ok;
    if (!ok) {
        NoteRefused(QStringLiteral("настройка линии не принята"));
        m_port->clearError();
    }
#ifndef Q_OS_WIN
    // A pseudo-terminal accepts the call but keeps 8-bit characters; received
    // bytes are masked to five bits by the reader in any case.
    termios t{};
    if (tcgetattr(int(m_port->handle()), &t) == 0 && (t.c_cflag & CSIZE) != CS5)
        NoteRefused(QStringLiteral("5 бит данных не установлено"));
#endif
    ArmLineErrors();
    return true;
}

void DevicePort::Close() {
    m_armed = false;
    if (m_port->isOpen()) m_port->close();
}

bool DevicePort::IsOpen() const {
    return m_port->isOpen();
}

bool DevicePort::ClearToSend() {
    if (!m_port->isOpen() || m_noModemLines) return false;
    const QSerialPort::PinoutSignals s = m_port->pinoutSignals();
    // A device without modem lines reports UnsupportedOperationError (see
    // OnError), after which it is not asked again.
    return !m_noModemLines && (s & QSerialPort::ClearToSendSignal);
}

qint64 DevicePort::OutputCount() const {
    if (!m_port->isOpen()) return 0;
    qint64 n = m_port->bytesToWrite();
#ifndef Q_OS_WIN
    int queued = 0;
    if (::ioctl(int(m_port->handle()), TIOCOUTQ, &queued) == 0 && queued > 0) n += queued;
#endif
    return n;
}

bool DevicePort::WriteBlock(const uint8_t* data, int count) {
    if (!m_port->isOpen() || count < 0) return false;
    if (count == 0) return true;
    return m_port->write(reinterpret_cast<const char*>(data), count) == count;
}

qint64 DevicePort::BytesAvailable() const {
    return m_port->isOpen() ? m_port->bytesAvailable() : 0;
}

qint64 DevicePort::Read(uint8_t* data, qint64 max) {
    if (!m_port->isOpen()) return -1;
    return m_port->read(reinterpret_cast<char*>(data), max);
}

void DevicePort::FlushInput() {
    if (m_port->isOpen()) m_port->clear(QSerialPort::Input);
}

void DevicePort::FlushOutput() {
    if (m_port->isOpen()) m_port->clear(QSerialPort::Output);
}

void DevicePort::ArmLineErrors() {
    if (!m_port->isOpen()) return;
    quint64 overflow = 0, overrun = 0;
    if (!ReadErrorCounters(overflow, overrun)) {
        m_armed = false;
        return;
    }
    m_overflowBase = overflow;
    m_overrunBase = overrun;
    m_armed = true;
}

bool DevicePort::ReadErrorCounters(quint64& overflow, quint64& overrun) {
    if (m_noCounters) return false;
#if defined(Q_OS_LINUX)
    serial_icounter_struct ic{};
    if (::ioctl(int(m_port->handle()), TIOCGICOUNT, &ic) == 0) {
        overflow = quint64(unsigned(ic.buf_overrun));
        overrun = quint64(unsigned(ic.overrun));
        return true;
    }
#elif defined(Q_OS_WIN)
    // The driver keeps flags, not counters: each flag seen counts as one.
    DWORD errors = 0;
    if (::ClearCommError(m_port->handle(), &errors, nullptr)) {
        overflow = m_overflowBase + ((errors & CE_RXOVER) ? 1 : 0);
        overrun = m_overrunBase + ((errors & CE_OVERRUN) ? 1 : 0);
        return true;
    }
#endif
    m_noCounters = true;
    NoteRefused(QStringLiteral("счетчики ошибок линии недоступны"));
    return false;
}

void DevicePort::CheckLineErrors() {
    if (!m_armed) return;
    quint64 overflow = 0, overrun = 0;
    if (!ReadErrorCounters(overflow, overrun)) {
        m_armed = false;
        return;
    }
    int code = 0;
    if (overflow != m_overflowBase)
        code = SerialPort::InputOverflow;
    else if (overrun != m_overrunBase)
        code = SerialPort::ReceiverOverrun;
    m_overflowBase = overflow;
    m_overrunBase = overrun;
    if (code == 0) return;
    m_armed = false;
    emit lineError(code);
}

void DevicePort::OnReadyRead() {
    CheckLineErrors();
    if (!m_port->isOpen()) return;
    const qint64 n = m_port->bytesAvailable();
    if (n > 0) emit dataAvailable(n);
}

void DevicePort::OnError(int error) {
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::NoError:
        return;
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        // The device is gone; a dead descriptor would raise this error in a
        // tight loop, so the port is closed on the first one.
        m_error = m_port->errorString();
        m_port->clearError();
        if (m_port->isOpen()) {
            Close();
            emit lost();
        }
        return;
    case QSerialPort::UnsupportedOperationError:
        m_noModemLines = true;
        NoteRefused(QStringLiteral("линии модема недоступны"));
        m_port->clearError();
        return;
    default:
        m_error = m_port->errorString();
        m_port->clearError();
        return;
    }
}
