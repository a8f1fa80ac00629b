#pragma once
// The serial line of one exchange: the port, the outgoing queue and its
// sending disciplines, reading, line errors, and keeping a wanted line open.
//
// Sending never waits inside the line: it is driven by timers and the port.
// Normal mode sends one queued byte per tick of PaceTimer ("PortDelayMS").
// Duplex mode sends at once under hardware flow control: "Windows 9x"
// (block send) writes the queue as one block and waits for it to leave,
// "Windows NT" writes byte by byte, each after clear-to-send; every wait is
// bounded by DuplexTimer (3000 ms) and watched by a 1 ms poll. Callers that
// must wait for the bytes to go (the operator's directive, a script) wait on
// IsSending() themselves.
//
// "Wanted" is the operator's wish for the line (the "Включен" box and "In").
// A wanted line whose device goes away is closed at once and tried again
// every reopen interval until it is back or no longer wanted.
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QTimer;
class SerialPort;

class Line : public QObject {
    Q_OBJECT
public:
    static constexpr int kQueueSize = 4096; // OutQueue; at most 4095 bytes are queued
    static constexpr int kReadSize = 20001; // RawRx

    struct Mode {
        bool duplex = false;   // fixed for the line's life
        bool blockSend = true; // duplex: "Windows 9x"; may change at any time
        int duplexBoundMs = 3000;
        int reopenIntervalMs = 5000;
    };

    // key: the exchange's key ("ATS 1"), for the status lines.
    Line(std::unique_ptr<SerialPort> port, const QString& key, const Mode& mode,
         QObject* parent = nullptr);
    ~Line() override;

    SerialPort& Port() const { return *m_port; }
    void SetPortNumber(int number);
    int PortNumber() const;
    bool IsOpen() const;

    // The operator's switch. On: the port is closed (status line) and opened
    // again (a space, then the status line). When it cannot be opened the
    // program log says so; with keepTrying the line stays wanted and is tried
    // again every reopen interval, else it is closed again and not wanted.
    // Off: closed and not wanted. wantedChanged() follows every switch.
    void Switch(bool on, bool keepTrying = false);
    bool Wanted() const { return m_wanted; }
    bool Retrying() const;

    // Appends bytes to the queue and starts sending. False, with the status
    // line "Исходящий буфер переполнен", when the queue would reach 4096.
    bool Queue(const uint8_t* bytes, int count);
    // Bytes are queued or being sent.
    bool IsSending() const;
    int QueuedCount() const { return m_queueLen; }
    // Bytes straight to the port, outside the queue (open port only).
    void WriteDirect(const uint8_t* bytes, int count);

    void SetPaceInterval(int ms);
    int PaceInterval() const;
    void SetBlockSend(bool on) { m_mode.blockSend = on; }
    const Mode& GetMode() const { return m_mode; }

signals:
    // A status-list line.
    void status(const QString& line);
    // Codes read from the port, each masked to its low five bits; valid only
    // during the call (the buffer is reused for the next read).
    void received(const uint8_t* codes, int count);
    void wantedChanged(bool wanted);
    // The device went away (the port has been closed).
    void lost();
    // The queue has been sent (or dropped).
    void drained();

private:
    enum class Phase { Idle, ClearToSend, Drain };

    bool OpenPort();
    void ClosePort();
    void PaceTick();
    void NextDuplexStep();
    void PollDuplex();
    void DuplexBoundRanOut();
    void WriteNtByte();
    void FinishDuplex();
    void OnDataAvailable();
    void OnLineError(int code);
    void OnLost();
    void Retry();
    QString PortLine(const QString& what) const;

    std::unique_ptr<SerialPort> m_port;
    QString m_key;
    Mode m_mode;
    bool m_wanted = false;
    std::array<uint8_t, kQueueSize> m_queue{};
    int m_queueLen = 0; // OutQueueLen
    int m_sendPos = 0;  // SendPos: next byte (normal mode), bytes sent (duplex)
    Phase m_phase = Phase::Idle;
    std::vector<uint8_t> m_read; // RawRx
    QTimer* m_pace = nullptr;    // PaceTimer (normal mode)
    QTimer* m_bound = nullptr;   // DuplexTimer (duplex mode)
    QTimer* m_poll = nullptr;    // duplex waits look at the port
    QTimer* m_reopen = nullptr;  // retries a wanted line that is not open
};
