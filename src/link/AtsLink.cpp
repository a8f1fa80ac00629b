// The serial link of an exchange: opening and closing the line, the outgoing
// queue with its sending disciplines, reading and line errors.
#include "link/Ats.h"

#include "link/RollView.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/SerialPort.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QTimer>

namespace {
// Hourglass cursor for the life of a send.
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
};
} // namespace

bool TAts::PortIsOpen() const { return ComPort && ComPort->IsOpen(); }

void TAts::PortCheckClicked(bool checked) {
    if (!ComPort) return;
    if (checked) {
        ClosePort();
        OpenPort();
        if (Controls.CheckBoxPort && !Controls.CheckBoxPort->isChecked()) return; // open failed
        if (App.Console && Controls.ComboBoxPort) App.Console->ShowPortText(Controls.ComboBoxPort->currentText());
        WriteRegistry(QStringLiteral("In"), true);
        App.AddStatus(Key + QStringLiteral(" Порт открыт Com ") + QString::number(Port));
    } else {
        ReopenTimer->stop();
        ClosePort();
    }
}

void TAts::OpenPort() {
    ComPort->SetPortNumber(Port);
    if (!ComPort->Open()) {
        WriteLog(QStringLiteral("Ошибка доступа к порту ") + QString::number(Port));
        if (Controls.CheckBoxPort) Controls.CheckBoxPort->setChecked(false);
        ClosePort();
        return;
    }
    const uint8_t space = LineCode::kSpace;
    ComPort->WriteByte(space);
    WriteRegistry(QStringLiteral("In"), ComPort->IsOpen());
}

void TAts::ClosePort() {
    ComPort->Close();
    WriteRegistry(QStringLiteral("In"), ComPort->IsOpen());
    App.AddStatus(Key + QStringLiteral(" Порт закрыт Com ") + QString::number(Port));
}

void TAts::OnLineLost() {
    // The device went away. The operator still wants this line: keep the box
    // checked and "In" true, and try again until it comes back.
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
        BusyCursor busy;
        WaitWhile([this] { return PaceTimer->isActive(); }, true);
    }
}

void TAts::QueueEncoded() {
    if (OutQueueLen + EncodedLen >= kOutQueueSize || OutQueue.size() < size_t(kOutQueueSize)) {
        App.AddStatus(QStringLiteral("Исходящий буфер переполнен"));
        return;
    }
    std::copy_n(Encoded.begin(), EncodedLen, OutQueue.begin() + OutQueueLen);
    OutQueueLen += EncodedLen;
    if (!App.DuplexMode) {
        if (PaceTimer && !PaceTimer->isActive()) PaceTimer->start();
        return;
    }
    if (!ComPort || !DuplexTimer) {
        OutQueueLen = 0;
        return;
    }
    BusyCursor busy;
    const QString busyText = QStringLiteral("Канал занят. Не освобожден вых. буфер");
    DuplexTimer->setInterval(App.DuplexBoundMs);
    if (App.BlockSend) {
        ComPort->WriteBlock(OutQueue.data(), OutQueueLen);
        DuplexTimer->start();
        WaitWhile([this] { return ComPort->OutputCount() > 0 && DuplexTimer->isActive(); }, false);
        if (!DuplexTimer->isActive()) {
            App.AddStatus(busyText);
            ComPort->FlushOutput();
        } else {
            DuplexTimer->stop();
        }
    } else {
        for (int i = 0; i < OutQueueLen; ++i) {
            DuplexTimer->start();
            WaitWhile([this] { return !ComPort->ClearToSend() && DuplexTimer->isActive(); }, false);
            DuplexTimer->stop();
            ComPort->WriteByte(OutQueue[i]);
            DuplexTimer->start();
            WaitWhile([this] { return ComPort->OutputCount() > 0 && DuplexTimer->isActive(); }, false);
            if (!DuplexTimer->isActive()) {
                App.AddStatus(busyText);
                break;
            }
            DuplexTimer->stop();
        }
    }
    OutQueueLen = 0;
}

void TAts::PaceTick() {
    if (SendPos >= OutQueueLen) {
        PaceTimer->stop();
        OutQueueLen = 0;
        SendPos = 0;
        return;
    }
    const int pos = SendPos;
    // Consume the byte before any wait: a tick that runs inside the wait
    // must not send it a second time.
    SendPos += 1;
    if (PortIsOpen()) {
        WaitWhile([this] { return PortIsOpen() && ComPort->OutputCount() > 0; }, true);
        if (!PortIsOpen() || !ComPort->WriteByte(OutQueue[pos]))
            App.AddStatus(QStringLiteral("Ошибка записи в Порт"));
    } else {
        App.AddStatus(QStringLiteral("Порт закрыт"));
    }
}

void TAts::SendDirect(const uint8_t* bytes, int count) {
    if (PortIsOpen()) ComPort->WriteBlock(bytes, count);
}

void TAts::OnDataAvailable() {
    if (!ComPort) return;
    const qint64 count = ComPort->BytesAvailable();
    if (count <= 0) return;
    std::fill(RawRx.begin(), RawRx.end(), uint8_t(0));
    const qint64 n = ComPort->Read(RawRx.data(), std::min<qint64>(count, kRxSize));
    if (n < 0) {
        WriteLog(QStringLiteral("Ошибка чтения данных из порта ") + QString::number(Port));
        return;
    }
    RxCount = int(n);
    for (int i = 0; i < RxCount; ++i) RawRx[i] &= 31;
    if (RxCount > 0 && App.Receiver) App.Receiver->ReceiveParser(*this);
    // More than one buffer's worth waiting: read on.
    if (ComPort->BytesAvailable() > 0)
        QTimer::singleShot(0, this, &TAts::OnDataAvailable);
}

void TAts::OnLineError(int code) {
    if (code == SerialPort::InputOverflow || code == SerialPort::ReceiverOverrun) ComPort->FlushInput();
    if (code == SerialPort::InputOverflow) ComPort->FlushOutput();
}
