#pragma once
// The serial line of the selected exchange as the version windows use it.
// For the time a version window is shown it owns the line: every received code
// goes to it and nothing to the roll; it writes raw bytes straight to the
// port. The console implements this over its exchange object; the tests over a
// pseudo-terminal.
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class VersionLine {
public:
    struct Handlers {
        std::function<void(uint8_t)> code; // every received code, in order
        std::function<void()> lost;        // the port went away
        QString owner; // the transfer, as "Линия АТС занята: идет ..." names it
    };

    // Gives the line back if it is still held.
    virtual ~VersionLine() = default;

    // Takes the line over from the exchange: from now on received codes go to
    // the handlers only. The port is open afterwards if it can be opened
    // (IsOpen). False when the exchange would not let the line go.
    virtual bool TakeOver(Handlers handlers) = 0;
    // Why the last TakeOver was refused, for the window's log (empty: no
    // reason to give).
    virtual QString Refusal() const { return QString(); }
    // Gives the line back to the exchange: the handlers are never called
    // again. True when the exchange's port is open again.
    virtual bool GiveBack() = 0;

    virtual bool IsOpen() const = 0;
    // Decimal port number and the exchange's name, for the status lines.
    virtual int PortNumber() const = 0;
    virtual QString ExchangeName() const = 0;
    // The link mode: duplex (hardware flow control) or simplex.
    virtual bool Duplex() const = 0;

    // Raw codes to the port, as they are. False when the port is closed or
    // refuses them.
    virtual bool Write(const uint8_t* data, int count) = 0;
    // Bytes written that have not left yet.
    virtual bool IsSending() const = 0;
    // Drops what has not left yet.
    virtual void DropOutput() = 0;

    // One line in the main window's status list.
    virtual void ShowStatus(const QString& line) = 0;
    // One stamped line in the exchange's roll (and its view).
    virtual void Note(const QString& line) = 0;
};

// The line of the exchange selected now (null when there is none).
using VersionLineProvider = std::function<std::unique_ptr<VersionLine>()>;
