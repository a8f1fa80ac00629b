#pragma once
// A VersionLine over a real serial port (a pseudo-terminal in the tests and
// benchmarks): the port is opened by number, the exchange's own use of it is
// played by keeping the port open between transfers.
#include "platform/SerialPort.h"
#include "versions/VersionLine.h"

#include <QStringList>

class PtyVersionLine : public VersionLine {
public:
    explicit PtyVersionLine(int portNumber, bool duplex = false,
                            QString name = QStringLiteral("ATS 1"))
        : m_name(std::move(name)), m_duplex(duplex) {
        m_port.SetPortNumber(portNumber);
        m_port.SetHardwareFlow(duplex);
        QObject::connect(&m_port, &SerialPort::dataAvailable, &m_port, [this](qint64) { Read(); });
        QObject::connect(&m_port, &SerialPort::lost, &m_port, [this] {
            if (m_handlers.lost) m_handlers.lost();
        });
    }
    ~PtyVersionLine() override { PtyVersionLine::GiveBack(); }

    bool TakeOver(Handlers handlers) override {
        m_handlers = std::move(handlers);
        m_held = true;
        if (!m_port.IsOpen()) m_port.Open();
        m_port.FlushInput();
        return true;
    }
    bool GiveBack() override {
        if (!m_held) return m_port.IsOpen();
        m_held = false;
        m_handlers = {};
        return m_port.IsOpen() || m_port.Open();
    }
    bool IsOpen() const override { return m_port.IsOpen(); }
    int PortNumber() const override { return m_port.PortNumber(); }
    QString ExchangeName() const override { return m_name; }
    bool Duplex() const override { return m_duplex; }
    bool Write(const uint8_t* data, int count) override { return m_port.WriteBlock(data, count); }
    bool IsSending() const override { return m_port.OutputCount() > 0; }
    void ShowStatus(const QString& line) override { Status << line; }

    SerialPort& Port() { return m_port; }
    QStringList Status; // the main window's status list

private:
    void Read() {
        uint8_t buf[4096];
        qint64 n;
        while (m_held && (n = m_port.Read(buf, sizeof buf)) > 0)
            for (qint64 i = 0; i < n && m_held; ++i)
                if (m_handlers.code) m_handlers.code(uint8_t(buf[i] & 31));
    }

    SerialPort m_port;
    QString m_name;
    bool m_duplex;
    bool m_held = false;
    Handlers m_handlers;
};
