#include "link/Ats.h"

#include "link/AutoScript.h"
#include "link/LinkOptions.h"
#include "link/RequestSession.h"
#include "platform/ProgramLog.h"
#include "platform/SerialPort.h"

TAts::TAts(const LinkOptions& options, int number, std::unique_ptr<SerialPort> port,
           QObject* parent)
    : QObject(parent), Settings(number, options.registryPath), m_duplex(options.duplexMode),
      m_autoFileName(options.rollDir + QStringLiteral("Auto") + QString::number(number) +
                     QStringLiteral(".txt")),
      m_roll(options.rollDir + QStringLiteral("Varnel") + QString::number(number) +
             QStringLiteral(".rul")),
      m_rx(*this) {
    Line::Mode mode;
    mode.duplex = options.duplexMode;
    mode.blockSend = options.blockSend;
    mode.duplexBoundMs = options.duplexBoundMs;
    mode.reopenIntervalMs = options.reopenIntervalMs;
    if (!port) port = std::make_unique<DevicePort>();
    m_line = std::make_unique<Line>(std::move(port), Settings.Key, mode);
    m_line->SetPortNumber(Settings.Port);
    connect(m_line.get(), &Line::status, this, &TAts::status);
    connect(m_line.get(), &Line::received, this, &TAts::OnCodes);
    connect(m_line.get(), &Line::wantedChanged, this, [this](bool wanted) {
        Settings.SetIn(wanted);
        emit portWantedChanged(wanted);
    });
    m_roll.Open();
    m_script = std::make_unique<AutoScript>(*this);
}

TAts::~TAts() {
    if (m_session) m_session->Release();
    m_schedule.Stop();
}

void TAts::InitSettings() {
    try {
        if (!Settings.Load(!m_duplex, m_line->PaceInterval())) return;
        if (Settings.PortDelayMs) m_line->SetPaceInterval(*Settings.PortDelayMs);
        m_schedule.Apply(Settings);
        // A missing or false "In" leaves the port as it is.
        if (Settings.In && !m_line->Wanted()) m_line->Switch(true, true);
    } catch (...) {
        WriteLog(QStringLiteral("Ошибка инициализации ") + Key());
    }
}

void TAts::SwitchPort(bool on) {
    m_line->Switch(on);
}

void TAts::ChangePort(int number) {
    if (number == Settings.StoredPort()) return;
    if (m_line->Wanted()) m_line->Switch(false);
    Settings.SetPort(number);
    m_line->SetPortNumber(number);
    m_line->Switch(true);
}

int TAts::Encode(const QString& text) {
    return EncodeCodes(m_tx, text, m_encoded.data(), kEncodedSize);
}

void TAts::SendDirective(const QString& text) {
    const int n = Encode(text);
    const QString echo = Roll::EchoText(text, m_rx.TakeLineStamped());
    if (!m_roll.Write(echo)) emit status(QStringLiteral("Ошибка записи в рулон"));
    emit echoed(echo);
    m_line->Queue(m_encoded.data(), n);
}

void TAts::Note(const QString& text) {
    const QString line = Roll::EchoText(text, m_rx.TakeLineStamped());
    if (!m_roll.Write(line)) emit status(QStringLiteral("Ошибка записи в рулон"));
    emit echoed(line);
}

bool TAts::QueueRequest(const QString& text) {
    const int n = Encode(text);
    return m_line->Queue(m_encoded.data(), n);
}

void TAts::OnCodes(const uint8_t* codes, int count) {
    if (m_session && m_session->IsRaw()) {
        m_session->OnRaw(codes, count);
        return;
    }
    if (m_calls) m_calls->InputBegins();
    m_rx.Feed(codes, count);
    // The sink may have been taken away meanwhile (a shut-down in a wait).
    if (m_calls) m_calls->InputDone();
}

void TAts::Text(const QString& text) {
    if (!m_roll.Write(text)) emit status(QStringLiteral("Cant Write"));
    emit printout(text);
}

void TAts::Decoded() {
    emit received();
}

void TAts::DataHeader() {
    if (m_session) m_session->OnDataHeader();
}

void TAts::DataFrame(const uint8_t* payload, int count) {
    if (m_session) m_session->OnDataFrame(payload, count);
}

void TAts::CallStart(const CallStartNibbles& n) {
    if (m_calls) m_calls->OnCallStart(Settings, n);
}

void TAts::CallEnd(const CallEndNibbles& n) {
    if (m_calls) m_calls->OnCallEnd(Settings, n);
}

void TAts::Captured(const QString& value) {
    if (m_session) m_session->OnCaptured(value);
}
