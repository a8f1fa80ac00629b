#include "versions/ExchangeVersionLine.h"

#include "link/Ats.h"
#include "link/RequestSession.h"

ExchangeVersionLine::ExchangeVersionLine(TAts& ats, bool duplex,
                                         std::function<void(const QString&)> status)
    : m_ats(&ats), m_duplex(duplex), m_status(std::move(status)) {}

ExchangeVersionLine::~ExchangeVersionLine() {
    ExchangeVersionLine::GiveBack();
}

bool ExchangeVersionLine::TakeOver(Handlers handlers) {
    if (!m_ats) return false;
    m_refusal = RequestSession::BusyText(*m_ats);
    m_session = std::make_unique<RequestSession>(*m_ats, handlers.owner);
    if (m_session->Refused()) {
        m_session.reset();
        return false;
    }
    m_refusal.clear();
    m_session->SetRaw([code = handlers.code](const uint8_t* codes, int count) {
        for (int i = 0; i < count && code; ++i)
            code(codes[i]);
    });
    QObject::disconnect(m_lost);
    m_lost = QObject::connect(&m_ats->Link(), &Line::lost, &m_ats->Link(), [lost = handlers.lost] {
        if (lost) lost();
    });
    if (!m_ats->PortIsOpen()) m_ats->SwitchPort(true);
    // The window starts on a quiet line, as on a port opened afresh.
    if (m_ats->PortIsOpen()) m_ats->Link().Port().FlushInput();
    return true;
}

bool ExchangeVersionLine::GiveBack() {
    QObject::disconnect(m_lost);
    if (!m_session) return IsOpen();
    m_session.reset();
    if (m_ats && !m_ats->PortIsOpen()) m_ats->SwitchPort(true);
    return IsOpen();
}

bool ExchangeVersionLine::IsOpen() const {
    return m_ats && m_ats->PortIsOpen();
}

int ExchangeVersionLine::PortNumber() const {
    return m_ats ? m_ats->Settings.Port : 0;
}

QString ExchangeVersionLine::ExchangeName() const {
    return m_ats ? m_ats->Key() : QString();
}

bool ExchangeVersionLine::Write(const uint8_t* data, int count) {
    if (!m_session || !IsOpen()) return false;
    return m_ats->Link().Port().WriteBlock(data, count);
}

void ExchangeVersionLine::DropOutput() {
    if (IsOpen()) m_ats->Link().Port().FlushOutput();
}

bool ExchangeVersionLine::IsSending() const {
    return IsOpen() && m_ats->Link().Port().OutputCount() > 0;
}

void ExchangeVersionLine::ShowStatus(const QString& line) {
    if (m_status) m_status(line);
}

void ExchangeVersionLine::Note(const QString& line) {
    if (m_ats) m_ats->Note(line);
}
