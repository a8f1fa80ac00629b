#include "platform/SerialPort.h"

#include "platform/ProgramLog.h"
#include "platform/Registry.h"

#include <QSerialPort>

SerialPort::SerialPort(QObject* parent) : QObject(parent), m_port(std::make_unique<QSerialPort>()) {
    connect(m_port.get(), &QSerialPort::readyRead, this,
            [this] { emit dataAvailable(m_port->bytesAvailable()); });
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { OnError(int(e)); });
}

SerialPort::~SerialPort() { Close(); }

QString SerialPort::DeviceFor(int number) {
    Registry reg;
    if (reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), false)) {
        const QString dev = reg.ReadString(QString::number(number), QString());
        reg.CloseKey();
        if (!dev.trimmed().isEmpty()) return dev.trimmed();
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString SerialPort::DeviceName() const { return DeviceFor(m_number); }

void SerialPort::NoteRefused(const QString& what) {
    if (m_noted) return;
    m_noted = true;
    WriteLog(QStringLiteral("Порт ") + DeviceName() + QStringLiteral(": не поддерживается ") + what);
}

void SerialPort::SetHardwareFlow(bool on) {
    m_flow = on;
    if (m_port->isOpen() &&
        !m_port->setFlowControl(on ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl))
        NoteRefused(QStringLiteral("управление потоком"));
}

bool SerialPort::Open() {
    Close();
    m_error.clear();
    m_port->setPortName(DeviceName());
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        m_port->clearError();
        return false;
    }
    bool ok = m_port->setBaudRate(57600);
    ok = m_port->setDataBits(QSerialPort::Data5) && ok;
    ok = m_port->setStopBits(QSerialPort::TwoStop) && ok;
    ok = m_port->setParity(QSerialPort::NoParity) && ok;
    ok = m_port->setFlowControl(m_flow ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl) && ok;
    if (!ok) {
        NoteRefused(QStringLiteral("настройка линии"));
        m_port->clearError();
    }
    return true;
}

void SerialPort::Close() {
    if (m_port->isOpen()) m_port->close();
}

bool SerialPort::IsOpen() const { return m_port->isOpen(); }

bool SerialPort::ClearToSend() const {
    if (!m_port->isOpen()) return false;
    return m_port->pinoutSignals() & QSerialPort::ClearToSendSignal;
}

qint64 SerialPort::OutputCount() const { return m_port->isOpen() ? m_port->bytesToWrite() : 0; }

bool SerialPort::WriteByte(uint8_t b) { return WriteBlock(&b, 1); }

bool SerialPort::WriteBlock(const uint8_t* data, int count) {
    if (!m_port->isOpen()) return false;
    return m_port->write(reinterpret_cast<const char*>(data), count) == count;
}

qint64 SerialPort::BytesAvailable() const { return m_port->isOpen() ? m_port->bytesAvailable() : 0; }

qint64 SerialPort::Read(uint8_t* data, qint64 max) {
    if (!m_port->isOpen()) return -1;
    return m_port->read(reinterpret_cast<char*>(data), max);
}

void SerialPort::FlushInput() {
    if (m_port->isOpen()) m_port->clear(QSerialPort::Input);
}

void SerialPort::FlushOutput() {
    if (m_port->isOpen()) m_port->clear(QSerialPort::Output);
}

bool SerialPort::Drain(int ms) { return m_port->isOpen() && m_port->waitForBytesWritten(ms); }

void SerialPort::OnError(int error) {
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::NoError: return;
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
        // The far end is gone; closing at once stops the error storm.
        m_error = m_port->errorString();
        m_port->clearError();
        if (m_port->isOpen()) {
            m_port->close();
            emit lost();
        }
        return;
    case QSerialPort::UnsupportedOperationError:
        NoteRefused(QStringLiteral("операция с линиями модема"));
        m_port->clearError();
        return;
    default:
        m_error = m_port->errorString();
        m_port->clearError();
        return;
    }
}
