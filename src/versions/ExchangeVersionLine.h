#pragma once
// The version windows' line over an exchange: a raw request session takes
// every received code away from the roll for the time a window is shown, and
// the window's bytes go straight to the exchange's port.
#include "versions/VersionLine.h"

#include <QMetaObject>
#include <QPointer>

#include <functional>

class RequestSession;
class TAts;

class ExchangeVersionLine : public VersionLine {
public:
    // status: the main window's status list.
    ExchangeVersionLine(TAts& ats, bool duplex, std::function<void(const QString&)> status);
    ~ExchangeVersionLine() override;

    // The exchange's port is opened when it was closed (as the line is given
    // back, so it stays open afterwards).
    // Refused while another tool holds the exchange's line.
    bool TakeOver(Handlers handlers) override;
    QString Refusal() const override { return m_refusal; }
    bool GiveBack() override;
    bool IsOpen() const override;
    int PortNumber() const override;
    QString ExchangeName() const override;
    bool Duplex() const override { return m_duplex; }
    bool Write(const uint8_t* data, int count) override;
    bool IsSending() const override;
    void DropOutput() override;
    void ShowStatus(const QString& line) override;
    void Note(const QString& line) override;

private:
    QPointer<TAts> m_ats;
    bool m_duplex;
    std::function<void(const QString&)> m_status;
    std::unique_ptr<RequestSession> m_session;
    QString m_refusal;
    QMetaObject::Connection m_lost;
};
