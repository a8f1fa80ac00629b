#pragma once
// The program-wide state shared by the exchange objects, the receive parser,
// the tariffication and the main window. One object per running terminal (and
// one per test), handed to whoever needs it.
#include <QString>

#include <array>
#include <cstdint>

class TAts;
class RollView;
class Registry;

// What the main window offers the core: the status list and the status bar.
class IConsole {
public:
    virtual ~IConsole() = default;
    // One line in the status list (MemoStatus).
    virtual void AddStatus(const QString& line) = 0;
    // Text of status-bar panel 0..2 ("Прием", "Передача" go to panel 2).
    virtual void SetPanelText(int panel, const QString& text) = 0;
    // The main window's port field (ComboBoxPortMain) shows text.
    virtual void ShowPortText(const QString& text) { (void)text; }
    // Exchange `number` was renamed: the selector's item follows (and its
    // text when that exchange is the selected one).
    virtual void ExchangeRenamed(int number, const QString& name) {
        (void)number;
        (void)name;
    }
};

// Receives the codes an exchange object has just read (RawRx[0..RxCount)).
class IReceiver {
public:
    virtual ~IReceiver() = default;
    virtual void ReceiveParser(TAts& ats) = 0;
};

// Consumer of call frames cut out of the stream: nibble values indexed from
// the first header code.
class ICallSink {
public:
    virtual ~ICallSink() = default;
    virtual void OnCallStart(TAts& ats, const std::array<uint8_t, 28>& nibbles) = 0;
    virtual void OnCallEnd(TAts& ats, const std::array<uint8_t, 16>& nibbles) = 0;
};

struct AppState {
    QString CurDir;  // working directory at start-up
    QString RollDir; // CurDir + "/Rulon/"

    Registry* Reg = nullptr; // the window's registry accessor

    std::array<TAts*, 4> Ats{}; // Ats1..Ats4, owned by the main window
    TAts* CurrentAts = nullptr;
    int CurrentAtsNumber = 0;

    bool DuplexMode = false; // "Duplex" == 1, fixed at start-up
    bool BlockSend = true;   // "Platform" == 0 ("Windows 9x")

    // Request and answer contract between the receive parser and its requesters.
    TAts* CurrentParser = nullptr;
    QString LastRequest;
    bool RequestPending = false;
    bool AbortRequest = false;

    // Tariffication settings.
    int TarifTimeMode = 1; // 0 minutes, 1 seconds, 2 milliseconds
    int MaxNoPaneTime = 0;

    // Bound of each duplex send wait and of the port reopen retry (tests
    // shorten them).
    int DuplexBoundMs = 3000;
    int ReopenIntervalMs = 5000;

    IConsole* Console = nullptr;
    RollView* View = nullptr;
    IReceiver* Receiver = nullptr;
    ICallSink* Calls = nullptr;

    void AddStatus(const QString& line) const;
    void SetPanelText(int panel, const QString& text) const;
};
