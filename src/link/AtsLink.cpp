// The serial link of an exchange: opening and closing the line, the outgoing
// queue with its sending disciplines, reading and line errors.
#include "link/Ats.h"

#include "platform/ProgramLog.h"
#include "platform/SerialPort.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QTimer>

#include <algorithm>

namespace {
// Hourglass cursor for the life of a send (only where there is a screen).
struct BusyCursor {
    bool on = false;
    BusyCursor() {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            on = true;
        }
    }
    ~BusyCursor() {
        if (on) QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

const QString kChannelBusy = QStringLiteral("Канал занят. Не освобожден вых. буфер");
} // namespace

bool TAts::PortIsOpen() const {
    return ComPort && ComPort->IsOpen();
}

void TAts::PortCheckClicked(bool checked) {
    if (!ComPort) return;
    // Whatever the operator chose, a pending reopen of a lost line is over.
    if (ReopenTimer) ReopenTimer->stop();
    if (!checked) {
        ClosePort();
        return;
    }
    ClosePort();
    OpenPort();
    // A failed open has unchecked the box, closed the port and logged why;
    // it is not reported as opened.
    if (!PortIsOpen()) return;
    // The port field belongs to the selected exchange.
    if (App.Console && Controls.ComboBoxPort && App.CurrentAtsNumber == Number)
        App.Console->ShowPortText(Controls.ComboBoxPort->currentText());
    WriteRegistry(QStringLiteral("In"), true);
    App.AddStatus(Key + QStringLiteral(" Порт открыт Com ") + QString::number(Port));
}

void TAts::OpenPort() {
    if (!ComPort) return;
    ComPort->SetPortNumber(Port);
    if (!ComPort->Open()) {
        WriteLog(QStringLiteral("Ошибка доступа к порту ") + QString::number(Port));
        // Unchecking the box closes the port, as the operator's click would.
        if (Controls.CheckBoxPort) Controls.CheckBoxPort->setChecked(false);
        ClosePort();
        return;
    }
    const uint8_t space = LineCode::kSpace;
    ComPort->WriteByte(space);
    ComPort->ArmLineErrors();
    WriteRegistry(QStringLiteral("In"), ComPort->IsOpen());
}

void TAts::ClosePort() {
    if (!ComPort) return;
    ComPort->Close();
    WriteRegistry(QStringLiteral("In"), ComPort->IsOpen());
    App.AddStatus(Key + QStringLiteral(" Порт закрыт Com ") + QString::number(Port));
}

void TAts::OnLineLost() {
    // The device went away and SerialPort has closed it. The operator still
    // wants this line: the box stays checked, "In" stays true, and the line
    // is tried again every ReopenIntervalMs until it is back or unchecked.
    App.AddStatus(Key + QStringLiteral(" Порт закрыт Com ") + QString::number(Port));
    WriteLog(QStringLiteral("Ошибка чтения данных из порта ") + QString::number(Port));
    if (ReopenTimer && Controls.CheckBoxPort && Controls.CheckBoxPort->isChecked()) {
        ReopenTimer->setInterval(App.ReopenIntervalMs);
        ReopenTimer->start();
    }
}

void TAts::SendDirective(const QString& text) {
    EncodedLen = EncodeText(*this, text);
    WriteEcho(text);
    QueueEncoded();
    if (PaceTimer && !App.DuplexMode) {
        // Wait for the paced queue to drain; Esc leaves it sending in the background.
        BusyCursor busy;
        WaitWhile([this] { return PaceTimer->isActive(); }, true);
    }
}

void TAts::QueueEncoded() {
    if (OutQueue.size() < size_t(kOutQueueSize) || EncodedLen < 0 ||
        EncodedLen > int(Encoded.size()) || OutQueueLen + EncodedLen >= kOutQueueSize) {
        App.AddStatus(QStringLiteral("Исходящий буфер переполнен"));
        return;
    }
    std::copy_n(Encoded.begin(), EncodedLen, OutQueue.begin() + OutQueueLen);
    OutQueueLen += EncodedLen;
    if (!App.DuplexMode) {
        if (PaceTimer && !PaceTimer->isActive()) PaceTimer->start();
        return;
    }
    // Duplex: a send already under way (this call came from inside one of
    // its waits) takes the appended bytes along; sending them here as well
    // would put the earlier bytes on the line twice.
    if (m_duplexSending) return;
    if (!ComPort || !DuplexTimer) {
        OutQueueLen = 0;
        return;
    }
    m_duplexSending = true;
    BusyCursor busy;
    DuplexTimer->setInterval(App.DuplexBoundMs);
    int sent = 0;
    while (sent < OutQueueLen) {
        if (!PortIsOpen()) {
            App.AddStatus(QStringLiteral("Порт закрыт"));
            break;
        }
        if (App.BlockSend) {
            // "Windows 9x": the whole queue as one block, then wait for it to leave.
            const int count = OutQueueLen - sent;
            ComPort->WriteBlock(OutQueue.data() + sent, count);
            sent += count;
            DuplexTimer->start();
            WaitWhile([this] { return ComPort->OutputCount() > 0 && DuplexTimer->isActive(); },
                      false);
            if (!DuplexTimer->isActive()) {
                App.AddStatus(kChannelBusy);
                ComPort->FlushOutput();
                break;
            }
            DuplexTimer->stop();
        } else {
            // "Windows NT": byte by byte, each after clear-to-send (or after the
            // bound when the peer never raises it), then wait for it to leave.
            DuplexTimer->start();
            WaitWhile(
                [this] {
                    return PortIsOpen() && !ComPort->ClearToSend() && DuplexTimer->isActive();
                },
                false);
            DuplexTimer->stop();
            if (!PortIsOpen()) continue; // reported at the top of the loop
            ComPort->WriteByte(OutQueue[size_t(sent)]);
            ++sent;
            DuplexTimer->start();
            WaitWhile([this] { return ComPort->OutputCount() > 0 && DuplexTimer->isActive(); },
                      false);
            if (!DuplexTimer->isActive()) {
                App.AddStatus(kChannelBusy);
                break;
            }
            DuplexTimer->stop();
        }
    }
    DuplexTimer->stop();
    OutQueueLen = 0;
    m_duplexSending = false;
}

void TAts::PaceTick() {
    if (SendPos >= OutQueueLen) {
        PaceTimer->stop();
        OutQueueLen = 0;
        SendPos = 0;
        return;
    }
    const int pos = SendPos;
    // The byte is consumed before any wait: a tick of another exchange or a
    // new directive may run inside the wait, and this byte must go out once.
    SendPos += 1;
    if (PortIsOpen()) {
        WaitWhile([this] { return PortIsOpen() && ComPort->OutputCount() > 0; }, true);
        if (!PortIsOpen() || !ComPort->WriteByte(OutQueue[size_t(pos)]))
            App.AddStatus(QStringLiteral("Ошибка записи в Порт"));
    } else {
        App.AddStatus(QStringLiteral("Порт закрыт"));
    }
}

void TAts::SendDirect(const uint8_t* bytes, int count) {
    if (PortIsOpen()) ComPort->WriteBlock(bytes, count);
}

void TAts::OnDataAvailable() {
    if (!PortIsOpen() || RawRx.size() < size_t(kRxSize)) return;
    const qint64 count = ComPort->BytesAvailable();
    if (count <= 0) return;
    std::fill(RawRx.begin(), RawRx.end(), uint8_t(0));
    const qint64 n = ComPort->Read(RawRx.data(), std::min<qint64>(count, kRxSize));
    if (n < 0) {
        // Nothing was read: the parser is not handed a buffer of zeros.
        WriteLog(QStringLiteral("Ошибка чтения данных из порта ") + QString::number(Port));
        return;
    }
    RxCount = int(n);
    for (int i = 0; i < RxCount; ++i)
        RawRx[size_t(i)] &= 31;
    if (RxCount > 0 && App.Receiver) App.Receiver->ReceiveParser(*this);
    // More than one buffer's worth was waiting: read on after this event.
    if (PortIsOpen() && ComPort->BytesAvailable() > 0)
        QTimer::singleShot(0, this, &TAts::OnDataAvailable);
}

void TAts::OnLineError(int code) {
    if (!ComPort) return;
    if (code == SerialPort::InputOverflow || code == SerialPort::ReceiverOverrun)
        ComPort->FlushInput();
    if (code == SerialPort::InputOverflow) ComPort->FlushOutput();
    ComPort->ArmLineErrors();
}
