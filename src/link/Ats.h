#pragma once
// TAts: one exchange. It owns the exchange's parts and fans the received
// codes out to their consumers:
// - Settings: the values under "\Software\ZezozuDaruduri\ATS N";
// - the line (port, outgoing queue, sending, reading; Link());
// - the roll file (RollLog());
// - the receive splitter: printout text to the roll and out as printout(),
//   call frames to the call sink, data frames and captures to the request
//   session that holds the line (Receiver());
// - the automatic-script schedule (Schedule()) and the script run (Script()).
// No widgets: the console binds its controls to the signals and calls below.
#include "link/AtsSettings.h"
#include "link/AutoSchedule.h"
#include "link/CallFrame.h"
#include "link/Line.h"
#include "link/LineCode.h"
#include "link/ReceiveSplitter.h"
#include "link/Roll.h"
#include "platform/SerialPort.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

struct LinkOptions;
class AutoScript;
class RequestSession;

// Where call frames go (the call records): nibble values indexed from the
// first header code, with the settings of the exchange that sent them.
class ICallSink {
public:
    virtual ~ICallSink() = default;
    virtual void OnCallStart(const AtsSettings& ats, const CallStartNibbles& n) = 0;
    virtual void OnCallEnd(const AtsSettings& ats, const CallEndNibbles& n) = 0;
    // Around the frames of one read from the line: a sink may let the calls
    // of one read share the work of making them durable, done by InputDone
    // before the next read.
    virtual void InputBegins() {}
    virtual void InputDone() {}
};

class TAts : public QObject, private ReceiveSplitter::Output {
    Q_OBJECT
public:
    static constexpr int kEncodedSize = 4096;

    // Reads "Port" from the exchange's key and opens the roll
    // (options.rollDir + "VarnelN.rul"). port: the line's port; a DevicePort
    // when none is given.
    TAts(const LinkOptions& options, int number, std::unique_ptr<SerialPort> port = nullptr,
         QObject* parent = nullptr);
    // Closes the port (leaving "In" as it is) and the roll.
    ~TAts() override;

    int Number() const { return Settings.Number; }
    bool Duplex() const { return m_duplex; } // the link mode fixed at start-up
    const QString& Key() const { return Settings.Key; }
    QString AutoFileName() const { return m_autoFileName; }

    Line& Link() const { return *m_line; }
    Roll& RollLog() { return m_roll; }
    ReceiveSplitter& Receiver() { return m_rx; }
    AutoSchedule& Schedule() { return m_schedule; }
    AutoScript& Script() { return *m_script; }
    // The session that holds the line (one at a time), or null.
    RequestSession* Session() const { return m_session; }
    void SetCallSink(ICallSink* sink) { m_calls = sink; }

    // Reads the exchange's key into Settings, the pacing and the schedule;
    // opens the port when "In" is true. A port that cannot be opened then
    // (an adapter not plugged in yet) stays wanted and is tried again every
    // 5 s.
    void InitSettings();
    // The "Включен" box: opens (closing first) or closes the port; "In"
    // follows. A port that cannot be opened is no longer wanted.
    void SwitchPort(bool on);
    // The port selector: a number other than the stored one closes the
    // port, stores the number and opens the port on it.
    void ChangePort(int number);
    bool PortIsOpen() const { return m_line->IsOpen(); }

    // Encodes the directive, writes its echo to the roll and queues it.
    // Returns at once; IsSending() tells when the bytes have gone.
    void SendDirective(const QString& text);
    // A line of the terminal's own (a version saved) in the roll, stamped as
    // a directive echo is; nothing is sent.
    void Note(const QString& text);
    // Encodes a request and queues it without an echo (memory reads).
    bool QueueRequest(const QString& text);
    bool IsSending() const { return m_line->IsSending(); }

    // Encoder register state (the receive side keeps its own).

    AtsSettings Settings;

signals:
    // A status-list line.
    void status(const QString& line);
    // A directive echo written to the roll, for the view.
    void echoed(const QString& text);
    // Printout text written to the roll (or that could not be), for the view.
    void printout(const QString& text);
    // Codes were decoded ("Прием").
    void received();
    // The port is wanted or not (the "Включен" box follows).
    void portWantedChanged(bool wanted);
    // A tool was refused the line: "Линия АТС занята: идет ..." names the
    // tool that holds it.
    void lineRefused(const QString& text);
    // A session took the line or gave it back.
    void lineHolderChanged();

private:
    friend class RequestSession;
    void OnCodes(const uint8_t* codes, int count);
    int Encode(const QString& text);

    // ReceiveSplitter::Output
    void Text(const QString& text) override;
    void Decoded() override;
    void DataHeader() override;
    void DataFrame(const uint8_t* payload, int count) override;
    void CallStart(const CallStartNibbles& n) override;
    void CallEnd(const CallEndNibbles& n) override;
    void Captured(const QString& value) override;

    bool m_duplex = false;
    QString m_autoFileName;
    std::unique_ptr<Line> m_line;
    Roll m_roll;
    ReceiveSplitter m_rx;
    AutoSchedule m_schedule;
    LineCodeState m_tx;
    std::array<uint8_t, kEncodedSize> m_encoded{};
    ICallSink* m_calls = nullptr;
    RequestSession* m_session = nullptr;
    std::unique_ptr<AutoScript> m_script; // last: it uses the parts above
};
