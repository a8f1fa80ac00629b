#pragma once
// TAts: one exchange. Holds its settings (registry key "\Software\ZezozuDaruduri\ATS N"),
// its serial line, the outgoing queue, the receive buffers and parser state,
// its roll file and the data block handed to the statistics.
#include "link/AppState.h"
#include "link/LineCode.h"

#include <QFile>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class SerialPort;

// Main-window controls of one exchange. Any of them may be null.
struct TAtsControls {
    QCheckBox* CheckBoxPort = nullptr; // "Включен": port open
    QComboBox* ComboBoxPort = nullptr; // items "1".."16"
    QLineEdit* EditDop = nullptr;      // SL
    QLineEdit* EditMG = nullptr;
    QLineEdit* EditMN = nullptr;
    QLineEdit* EditAtsName = nullptr;
    QCheckBox* CheckBoxDop = nullptr;       // SLCheck, "Использовать"
    QPlainTextEdit* Memo = nullptr;         // hidden printout list of the parser
    QPlainTextEdit* MemoAutoProm = nullptr; // hidden script list
};

constexpr int kEncodedSize = 4096;
constexpr int kOutQueueSize = 4096;
constexpr int kRxSize = 20001;
constexpr int kDataSize = 65536;

class TAts : public QObject {
    Q_OBJECT
public:
    // Create: with controls null, only the fields, buffers and registers are
    // set up (no timers, port, roll or script file).
    TAts(AppState& app, int number, const TAtsControls* controls);
    // Destroy: closes the port (leaving "In" as it is) and the roll.
    ~TAts() override;

    // Receives a data block; step is DataCount. Empty here; the statistics
    // classes override it.
    virtual void Parse(uint8_t* data, int step);

    // Reads the exchange's registry key into the settings and the controls;
    // opens the port when "In" is true.
    void InitSettings();

    // Arms AutoTimer for the next AutoInTime of the day (today when it is
    // still ahead, else tomorrow) by the clock.
    void ArmRunAt();

    // Setting editors (Enter in the editors, click, selector change).
    void NameEntered(const QString& text);
    void SLEntered(const QString& text);
    void MGEntered(const QString& text);
    void MNEntered(const QString& text);
    void SLCheckClicked(bool checked);
    void PortSelected(const QString& text);

    // Serial link.
    void PortCheckClicked(bool checked); // the "Включен" check box
    void OpenPort();
    void ClosePort();
    bool PortIsOpen() const;
    void SendDirective(const QString& text);
    void QueueEncoded();
    // Puts bytes straight to the port, outside the queue (open port only).
    void SendDirect(const uint8_t* bytes, int count);
    SerialPort* Line() const { return ComPort.get(); }

    // Roll.
    // Opens RollFileName for appending, creating it (and its folder) when
    // missing; never truncates. False when it cannot be opened.
    bool OpenRoll();
    void WriteEcho(const QString& text);
    // Appends Windows-1251 bytes of text at the roll's end; false on failure.
    bool WriteRoll(const QString& text);

    AppState& App;

    int Number = 0;
    QString Key;
    QString Name;
    QString SL = QStringLiteral("9");
    QString MG = QStringLiteral("8");
    QString MN = QStringLiteral("810");
    bool SLCheck = false;
    QFile RollFile;
    QString RollFileName;
    QString AutoFileName;
    QPlainTextEdit* AutoMemo = nullptr;
    QTimer* PaceTimer = nullptr;   // normal mode only
    QTimer* PauseTimer = nullptr;  // automatic script pause
    QTimer* AutoTimer = nullptr;   // automatic script start
    QTimer* DuplexTimer = nullptr; // duplex mode only
    QTimer* ReopenTimer = nullptr; // retries a line that went away
    int Port = 1;
    std::unique_ptr<SerialPort> ComPort;
    std::vector<uint8_t> RawRx;
    int RxCount = 0;

    // Receive-parser state.
    bool LineReady = true;
    bool FramesExpected = false;
    bool BitMode = false;
    bool FrameDone = false;
    bool NoContinue = false;
    int FrameCounter = 0;
    int FrameLen = 0;
    bool RedirectText = false;
    QPlainTextEdit* RedirectControl = nullptr;
    int AnswerTicks = 0;
    QString AwaitedPrefix;
    int CaptureLength = 0;
    QString CapturedValue;
    bool CapturePending = false;

    TAtsControls Controls;
    int DataCount = 0;
    int PbLastKit = 0;
    int SelectedUnit = 0;
    std::array<int32_t, 15> StatBase{};
    std::vector<uint8_t> Data;

    int AutoInTime = 3600000;
    int AutoEveryTime = 3600000;
    QString AutoInText;
    QString AutoEveryText;
    bool AutoIn = false;
    bool AutoEvery = false;

    // Registers of the line code, RxControl and LineStamped.
    LineCodeState Code;

    int EncodedLen = 0;
    int SendPos = 0;
    int OutQueueLen = 0;
    std::vector<uint8_t> Encoded;
    std::vector<uint8_t> OutQueue;
    std::vector<uint8_t> RollBuf;
    std::vector<uint8_t> RxText;
    int RxTextLen = 0;

    bool HasControls() const { return m_bound; }

signals:
    // A printout was decoded: the window shows "Прием".
    void received();

private:
    void PaceTick();
    void OnDataAvailable();
    void OnLineError(int code);
    void OnLineLost();
    void SetPortChecked(bool checked);
    bool WriteRegistry(const QString& name, const QVariant& value);

    bool m_bound = false;
    bool m_duplexSending = false; // a duplex send is running (its waits may queue more)
};

// The line code on an exchange object: fills Encoded, returns the count.
int EncodeText(TAts& ats, const QString& text);
// Decodes RxText[0..RxTextLen) in the exchange's receive register.
QString DecodeText(TAts& ats);
