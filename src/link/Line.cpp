#include "link/Line.h"

#include "link/LineCode.h"
#include "platform/ProgramLog.h"
#include "platform/SerialPort.h"

#include <QTimer>

#include <algorithm>

namespace {
const QString kChannelBusy = QStringLiteral("Канал занят. Не освобожден вых. буфер");
// Duplex waits look at the port this often: a byte at 57600 baud takes 0.2 ms.
constexpr int kPollMs = 1;
} // namespace

Line::Line(std::unique_ptr<SerialPort> port, const QString& key, const Mode& mode, QObject* parent)
    : QObject(parent), m_port(std::move(port)), m_key(key), m_mode(mode), m_read(kReadSize, 0) {
    m_port->setParent(nullptr);
    m_port->SetHardwareFlow(m_mode.duplex);
    if (m_mode.duplex) {
        m_bound = new QTimer(this);
        m_bound->setObjectName(QStringLiteral("DuplexTimer"));
        m_bound->setSingleShot(true);
        m_bound->setInterval(m_mode.duplexBoundMs);
        m_poll = new QTimer(this);
        m_poll->setInterval(kPollMs);
        connect(m_bound, &QTimer::timeout, this, &Line::DuplexBoundRanOut);
        connect(m_poll, &QTimer::timeout, this, &Line::PollDuplex);
    } else {
        m_pace = new QTimer(this);
        m_pace->setObjectName(QStringLiteral("PaceTimer"));
        m_pace->setInterval(150);
        connect(m_pace, &QTimer::timeout, this, &Line::PaceTick);
    }
    m_reopen = new QTimer(this);
    m_reopen->setInterval(m_mode.reopenIntervalMs);
    connect(m_reopen, &QTimer::timeout, this, &Line::Retry);
    connect(m_port.get(), &SerialPort::dataAvailable, this, &Line::OnDataAvailable);
    connect(m_port.get(), &SerialPort::lineError, this, &Line::OnLineError);
    connect(m_port.get(), &SerialPort::lost, this, &Line::OnLost);
}

Line::~Line() {
    // Shut-down closes the port quietly; "In" stays for the next start.
    m_reopen->stop();
    if (m_port->IsOpen()) m_port->Close();
}

void Line::SetPortNumber(int number) {
    m_port->SetPortNumber(number);
}

int Line::PortNumber() const {
    return m_port->PortNumber();
}

bool Line::IsOpen() const {
    return m_port->IsOpen();
}

bool Line::Retrying() const {
    return m_reopen->isActive();
}

QString Line::PortLine(const QString& what) const {
    // A port mapped to a device of another name says which.
    const QString device = m_port->MappedDevice();
    return m_key + what + QString::number(PortNumber()) +
           (device.isEmpty() ? QString() : QStringLiteral(" (") + device + QLatin1Char(')'));
}

// ---------------------------------------------------------------- opening

bool Line::OpenPort() {
    if (!m_port->Open()) return false;
    const uint8_t space = LineCode::kSpace;
    m_port->WriteByte(space);
    m_port->ArmLineErrors();
    return true;
}

void Line::ClosePort() {
    m_port->Close();
    emit status(PortLine(QStringLiteral(" Порт закрыт Com ")));
}

void Line::Switch(bool on, bool keepTrying) {
    // Whatever the operator chose, a pending reopen is over.
    m_reopen->stop();
    if (!on) {
        m_wanted = false;
        ClosePort();
        emit wantedChanged(false);
        return;
    }
    ClosePort();
    if (OpenPort()) {
        m_wanted = true;
        emit wantedChanged(true);
        emit status(PortLine(QStringLiteral(" Порт открыт Com ")));
        return;
    }
    WriteLog(QStringLiteral("Ошибка доступа к порту ") + QString::number(PortNumber()));
    if (keepTrying) {
        // The device may not be there yet (an adapter plugged in later):
        // the line stays wanted and is tried again like a lost one.
        m_wanted = true;
        emit status(PortLine(QStringLiteral(" Порт недоступен Com ")));
        m_reopen->setInterval(m_mode.reopenIntervalMs);
        m_reopen->start();
        emit wantedChanged(true);
        return;
    }
    m_wanted = false;
    ClosePort();
    emit wantedChanged(false);
}

void Line::OnLost() {
    // The device went away and the port has closed itself. A wanted line
    // stays wanted and is tried again until it is back.
    emit status(PortLine(QStringLiteral(" Порт закрыт Com ")));
    WriteLog(QStringLiteral("Ошибка чтения данных из порта ") + QString::number(PortNumber()));
    if (m_wanted) {
        m_reopen->setInterval(m_mode.reopenIntervalMs);
        m_reopen->start();
    }
    emit lost();
}

void Line::Retry() {
    if (!m_wanted) {
        m_reopen->stop();
        return;
    }
    if (!OpenPort()) return;
    m_reopen->stop();
    emit status(PortLine(QStringLiteral(" Порт открыт Com ")));
}

// ---------------------------------------------------------------- sending

void Line::SetPaceInterval(int ms) {
    if (m_pace && ms > 0) m_pace->setInterval(ms);
}

int Line::PaceInterval() const {
    return m_pace ? m_pace->interval() : 0;
}

bool Line::IsSending() const {
    return m_pace ? m_pace->isActive() : m_phase != Phase::Idle;
}

bool Line::Queue(const uint8_t* bytes, int count) {
    if (count < 0 || m_queueLen + count >= kQueueSize) {
        emit status(QStringLiteral("Исходящий буфер переполнен"));
        return false;
    }
    std::copy_n(bytes, count, m_queue.begin() + m_queueLen);
    m_queueLen += count;
    if (m_pace) {
        if (!m_pace->isActive()) m_pace->start();
    } else if (m_phase == Phase::Idle) {
        // A send already under way takes the appended bytes along.
        m_sendPos = 0;
        NextDuplexStep();
    }
    return true;
}

void Line::WriteDirect(const uint8_t* bytes, int count) {
    if (m_port->IsOpen()) m_port->WriteBlock(bytes, count);
}

void Line::PaceTick() {
    if (m_sendPos >= m_queueLen) {
        m_pace->stop();
        m_queueLen = 0;
        m_sendPos = 0;
        emit drained();
        return;
    }
    if (m_port->IsOpen()) {
        // The byte before has not left yet: this one waits for the next tick.
        if (m_port->OutputCount() > 0) return;
        if (!m_port->WriteByte(m_queue[size_t(m_sendPos)]))
            emit status(QStringLiteral("Ошибка записи в Порт"));
    } else {
        emit status(QStringLiteral("Порт закрыт"));
    }
    m_sendPos += 1;
}

// Duplex: one step of the send; the waits end in PollDuplex or in the bound.
void Line::NextDuplexStep() {
    if (m_sendPos >= m_queueLen) {
        FinishDuplex();
        return;
    }
    if (!m_port->IsOpen()) {
        emit status(QStringLiteral("Порт закрыт"));
        FinishDuplex();
        return;
    }
    m_bound->setInterval(m_mode.duplexBoundMs);
    if (m_mode.blockSend) {
        // "Windows 9x": what is queued as one block, then wait for it to leave.
        const int count = m_queueLen - m_sendPos;
        m_port->WriteBlock(m_queue.data() + m_sendPos, count);
        m_sendPos += count;
        m_phase = Phase::Drain;
    } else {
        // "Windows NT": the next byte after clear-to-send (or after the bound
        // when the peer never raises it).
        m_phase = Phase::ClearToSend;
    }
    m_bound->start();
    m_poll->start();
    PollDuplex();
}

void Line::PollDuplex() {
    switch (m_phase) {
    case Phase::Idle:
        m_poll->stop();
        break;
    case Phase::ClearToSend:
        if (!m_port->IsOpen()) {
            m_bound->stop();
            NextDuplexStep(); // reports the closed port
        } else if (m_port->ClearToSend()) {
            m_bound->stop();
            WriteNtByte();
        }
        break;
    case Phase::Drain:
        if (m_port->OutputCount() == 0) {
            m_bound->stop();
            NextDuplexStep();
        }
        break;
    }
}

void Line::WriteNtByte() {
    if (!m_port->IsOpen()) {
        NextDuplexStep();
        return;
    }
    m_port->WriteByte(m_queue[size_t(m_sendPos)]);
    ++m_sendPos;
    m_phase = Phase::Drain;
    m_bound->start();
}

void Line::DuplexBoundRanOut() {
    if (m_phase == Phase::ClearToSend) {
        WriteNtByte(); // the byte goes out all the same
        return;
    }
    if (m_phase != Phase::Drain) return;
    // The line does not drain: the rest of the queue is dropped.
    emit status(kChannelBusy);
    if (m_mode.blockSend) m_port->FlushOutput();
    FinishDuplex();
}

void Line::FinishDuplex() {
    m_poll->stop();
    m_bound->stop();
    m_phase = Phase::Idle;
    m_queueLen = 0;
    m_sendPos = 0;
    emit drained();
}

// ---------------------------------------------------------------- reading

void Line::OnDataAvailable() {
    if (!m_port->IsOpen()) return;
    const qint64 count = m_port->BytesAvailable();
    if (count <= 0) return;
    const qint64 n = m_port->Read(m_read.data(), std::min<qint64>(count, kReadSize));
    if (n < 0) {
        // Nothing was read: no buffer of stale codes is handed on.
        WriteLog(QStringLiteral("Ошибка чтения данных из порта ") + QString::number(PortNumber()));
        return;
    }
    for (qint64 i = 0; i < n; ++i)
        m_read[size_t(i)] &= 31;
    if (n > 0) emit received(m_read.data(), int(n));
    // More than one buffer's worth was waiting, or more came while the codes
    // were handled: read on after this event.
    if (m_port->IsOpen() && m_port->BytesAvailable() > 0)
        QTimer::singleShot(0, this, &Line::OnDataAvailable);
}

void Line::OnLineError(int code) {
    if (code == SerialPort::InputOverflow || code == SerialPort::ReceiverOverrun)
        m_port->FlushInput();
    if (code == SerialPort::InputOverflow) m_port->FlushOutput();
    m_port->ArmLineErrors();
}
