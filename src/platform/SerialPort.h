#pragma once
// One exchange's serial line over QSerialPort: opened by port number through
// the "\Software\ZezozuDaruduri\Ports" mapping, 57600 baud, 5 data bits, 2 stop
// bits, no parity. Works on pseudo-terminals, which keep 8-bit framing and
// have no modem lines: the settings they refuse are noted once in the program
// log and the port carries on.
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QSerialPort;

class SerialPort : public QObject {
    Q_OBJECT
public:
    // Line error codes handed to lineError().
    enum LineErrorCode { InputOverflow = 1, ReceiverOverrun = 2 };

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    // Device for port number n: registry value "n" under
    // "\Software\ZezozuDaruduri\Ports", else COMn (Windows) or /dev/ttyS(n-1).
    static QString DeviceFor(int number);

    void SetPortNumber(int number) { m_number = number; }
    int PortNumber() const { return m_number; }
    void SetHardwareFlow(bool on); // RTS/CTS, applied now and at the next open

    bool Open();
    void Close();
    bool IsOpen() const;
    QString ErrorText() const { return m_error; }
    QString DeviceName() const;

    bool ClearToSend() const;
    qint64 OutputCount() const; // bytes not yet handed to the line
    bool WriteByte(uint8_t b);
    bool WriteBlock(const uint8_t* data, int count);
    qint64 BytesAvailable() const;
    qint64 Read(uint8_t* data, qint64 max);
    void FlushInput();
    void FlushOutput();
    // Waits (on the event loop) until written bytes have left the process.
    bool Drain(int ms);

signals:
    void dataAvailable(qint64 count);
    void lineError(int code);
    // The device went away (read or resource error): the port is closed.
    void lost();

private:
    void OnError(int error);
    void NoteRefused(const QString& what);

    std::unique_ptr<QSerialPort> m_port;
    int m_number = 1;
    bool m_flow = false;
    QString m_error;
    bool m_noted = false;
};
