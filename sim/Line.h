#pragma once
// The simulator's serial line: a pseudo-terminal it creates (the terminal
// opens its slave side) or a device it is given. Raw mode, non-blocking.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace sim {

class SimLine {
public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    // Creates a pseudo-terminal. A descriptor of the slave side stays open
    // for the life of the line, so the master never sees a hang-up while no
    // terminal has the port open.
    bool CreatePty(QString* error);
    // Opens a serial device (or someone else's pty slave) at 57600 baud,
    // 5 data bits, 2 stop bits.
    bool OpenDevice(const QString& path, QString* error);
    bool Reopen(QString* error);
    void Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool IsPty() const { return m_pty; }
    int Fd() const { return m_fd; }
    // The device the terminal is to open.
    QString Path() const { return m_path; }

    ssize_t Read(uint8_t* buffer, size_t size);
    ssize_t Write(const uint8_t* data, size_t size);
    // Drives the far end's clear-to-send (our request-to-send). False where
    // the line has no modem lines (a pseudo-terminal).
    bool SetClearToSend(bool on, QString* error);

private:
    int m_fd = -1;
    int m_keep = -1;
    bool m_pty = false;
    QString m_path;
};

} // namespace sim
