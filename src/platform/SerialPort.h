#pragma once
// One exchange's serial line. SerialPort is what the link needs of a port;
// DevicePort is the real one over QSerialPort: opened by port number through
// the "\Software\ZezozuDaruduri\Ports" mapping, 57600 baud, 5 data bits, 2 stop
// bits, no parity, RTS/CTS flow control on request.
//
// Pseudo-terminals work too: they keep 8-bit framing and have neither modem
// lines nor line-error counters. What a device refuses is noted once per port
// object in the program log and the port carries on (clear-to-send then reads
// as never raised).
//
// Line errors. QSerialPort 6 no longer reports overruns, so they are read from
// the driver's error counters (Linux TIOCGICOUNT, Windows ClearCommError),
// looked at whenever data arrives while the trigger is armed. A rise fires
// lineError() once (InputOverflow before ReceiverOverrun) and disarms the
// trigger until ArmLineErrors() is called again.
//
// A device that goes away (read or resource error: a USB adapter pulled, the
// far end of a pseudo-terminal closed) closes the port at once and emits
// lost(); the port never spins on a dead descriptor.
#include <QObject>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>

class QSerialPort;

class SerialPort : public QObject {
    Q_OBJECT
public:
    // Line error codes handed to lineError().
    enum LineErrorCode { InputOverflow = 1, ReceiverOverrun = 2 };

    using QObject::QObject;

    virtual void SetPortNumber(int number) = 0;
    virtual int PortNumber() const = 0;
    // RTS/CTS, applied now when open and at every open.
    virtual void SetHardwareFlow(bool on) = 0;

    // Opens the port with the line settings and arms the line-error trigger.
    // False (ErrorText() says why) when it cannot be opened.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual QString ErrorText() const = 0;
    // The device opened last (or to be opened) when its port number does not
    // name it (a device mapped in the registry); empty otherwise.
    virtual QString MappedDevice() const { return QString(); }

    // Clear-to-send; false when the device has no modem lines.
    virtual bool ClearToSend() = 0;
    // Bytes written but not yet on the line (ours and the driver's queue).
    virtual qint64 OutputCount() const = 0;
    virtual bool WriteByte(uint8_t b) { return WriteBlock(&b, 1); }
    virtual bool WriteBlock(const uint8_t* data, int count) = 0;
    virtual qint64 BytesAvailable() const = 0;
    // Reads up to max bytes; -1 when the port is closed or the read fails.
    virtual qint64 Read(uint8_t* data, qint64 max) = 0;
    virtual void FlushInput() = 0;
    virtual void FlushOutput() = 0;
    // Line-error trigger: report the next input overflow or receiver overrun.
    virtual void ArmLineErrors() = 0;

signals:
    void dataAvailable(qint64 count);
    void lineError(int code);
    // The device went away: the port has been closed.
    void lost();
};

class DevicePort : public SerialPort {
    Q_OBJECT
public:
    explicit DevicePort(QObject* parent = nullptr);
    ~DevicePort() override;

    // Device for port number n: registry value "n" under
    // "\Software\ZezozuDaruduri\Ports", else COMn (Windows) or /dev/ttyS(n-1).
    static QString DeviceFor(int number);
    QString DeviceName() const;
    QString MappedDevice() const override;

    void SetPortNumber(int number) override {
        if (number != m_number) m_device.clear();
        m_number = number;
    }
    int PortNumber() const override { return m_number; }
    void SetHardwareFlow(bool on) override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    QString ErrorText() const override { return m_error; }
    bool ClearToSend() override;
    qint64 OutputCount() const override;
    bool WriteBlock(const uint8_t* data, int count) override;
    qint64 BytesAvailable() const override;
    qint64 Read(uint8_t* data, qint64 max) override;
    void FlushInput() override;
    void FlushOutput() override;
    void ArmLineErrors() override;
    bool LineErrorsArmed() const { return m_armed; }

private:
    void OnReadyRead();
    void OnError(int error);
    void CheckLineErrors();
    bool ReadErrorCounters(quint64& overflow, quint64& overrun);
    void NoteRefused(const QString& what);

    std::unique_ptr<QSerialPort> m_port;
    int m_number = 1;
    QString m_device; // opened last
    bool m_flow = false;
    QString m_error;
    QSet<QString> m_noted;       // refusals already in the program log
    bool m_noModemLines = false; // clear-to-send cannot be read on this device
    bool m_noCounters = false;   // line-error counters cannot be read
    bool m_armed = false;
    quint64 m_overflowBase = 0;
    quint64 m_overrunBase = 0;
};
