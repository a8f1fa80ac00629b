#include "link/Ats.h"

#include "link/Notation.h"
#include "platform/Clock.h"
#include "platform/ProgramLog.h"
#include "platform/Registry.h"
#include "platform/SerialPort.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>

namespace {
const QString kKeyRoot = QStringLiteral("\\Software\\ZezozuDaruduri\\");

// A registry accessor of our own for one key; the settings store is shared
// with the window's accessor through the same file.
struct KeyAccess {
    Registry reg;
    bool open = false;
    KeyAccess(const AppState& app, const QString& key)
        : reg(app.Reg ? app.Reg->StorePath() : QString()) {
        open = reg.OpenKey(kKeyRoot + key, true);
    }
    ~KeyAccess() {
        if (open) reg.CloseKey();
    }
};
} // namespace

TAts::TAts(AppState& app, int number, const TAtsControls* controls) : App(app) {
    Number = number;
    Key = QStringLiteral("ATS ") + QString::number(number);
    Name = Key;
    Code = LineCodeState{};
    Port = number;
    {
        KeyAccess k(App, Key);
        if (k.open) Port = k.reg.ReadInteger(QStringLiteral("Port"), number);
    }
    try {
        Encoded.assign(kEncodedSize, 0);
        OutQueue.assign(kOutQueueSize, 0);
        RawRx.assign(kRxSize, 0);
        RxText.assign(kRxSize, 0);
        RollBuf.assign(kRxSize, 0);
        Data.assign(kDataSize, 0);
    } catch (const std::bad_alloc&) {
        WriteLog(QStringLiteral("Ошибка выделения памяти для массивов TAts"));
    }
    if (!controls) return;

    m_bound = true;
    Controls = *controls;
    AutoMemo = Controls.MemoAutoProm;
    RedirectControl = Controls.Memo;

    ComPort = std::make_unique<SerialPort>();
    if (App.DuplexMode) {
        DuplexTimer = new QTimer(this);
        DuplexTimer->setInterval(App.DuplexBoundMs);
        DuplexTimer->setSingleShot(true);
        ComPort->SetHardwareFlow(true);
    } else {
        PaceTimer = new QTimer(this);
        PaceTimer->setInterval(150);
        connect(PaceTimer, &QTimer::timeout, this, &TAts::PaceTick);
        ComPort->SetHardwareFlow(false);
    }
    AutoTimer = new QTimer(this);
    AutoTimer->setInterval(3600000);
    PauseTimer = new QTimer(this);
    PauseTimer->setInterval(1000);
    PauseTimer->setSingleShot(true);
    ReopenTimer = new QTimer(this);
    ReopenTimer->setInterval(App.ReopenIntervalMs);

    if (Controls.ComboBoxPort) {
        {
            const QSignalBlocker block(Controls.ComboBoxPort);
            if (Controls.ComboBoxPort->count() == 0)
                for (int i = 1; i <= 16; ++i)
                    Controls.ComboBoxPort->addItem(QString::number(i));
            Controls.ComboBoxPort->setCurrentText(QString::number(Port));
        }
        connect(Controls.ComboBoxPort, &QComboBox::currentTextChanged, this, &TAts::PortSelected);
    }
    if (Controls.CheckBoxPort)
        connect(Controls.CheckBoxPort, &QCheckBox::clicked, this, &TAts::PortCheckClicked);
    if (Controls.CheckBoxDop)
        connect(Controls.CheckBoxDop, &QCheckBox::clicked, this, &TAts::SLCheckClicked);
    auto onEnter = [this](QLineEdit* e, void (TAts::*handler)(const QString&)) {
        if (e)
            connect(e, &QLineEdit::returnPressed, this,
                    [this, e, handler] { (this->*handler)(e->text()); });
    };
    onEnter(Controls.EditAtsName, &TAts::NameEntered);
    onEnter(Controls.EditDop, &TAts::SLEntered);
    onEnter(Controls.EditMG, &TAts::MGEntered);
    onEnter(Controls.EditMN, &TAts::MNEntered);

    connect(ComPort.get(), &SerialPort::dataAvailable, this, &TAts::OnDataAvailable);
    connect(ComPort.get(), &SerialPort::lineError, this, &TAts::OnLineError);
    connect(ComPort.get(), &SerialPort::lost, this, &TAts::OnLineLost);
    connect(ReopenTimer, &QTimer::timeout, this, [this] {
        if (!Controls.CheckBoxPort || !Controls.CheckBoxPort->isChecked()) {
            ReopenTimer->stop();
            return;
        }
        ComPort->SetPortNumber(Port);
        if (ComPort->Open()) {
            ReopenTimer->stop();
            App.AddStatus(Key + QStringLiteral(" Порт открыт Com ") + QString::number(Port));
            const uint8_t space = LineCode::kSpace;
            ComPort->WriteByte(space);
        }
    });
    ComPort->SetPortNumber(Port);

    AutoFileName =
        App.RollDir + QStringLiteral("Auto") + QString::number(Number) + QStringLiteral(".txt");
    RollFileName =
        App.RollDir + QStringLiteral("Varnel") + QString::number(Number) + QStringLiteral(".rul");
    OpenRoll();
}

TAts::~TAts() {
    try {
        if (AutoTimer) AutoTimer->stop();
        if (ReopenTimer) ReopenTimer->stop();
        if (ComPort && ComPort->IsOpen()) ComPort->Close();
        if (RollFile.isOpen()) RollFile.close();
    } catch (...) {
        WriteLog(QStringLiteral("Ошибка освобождения ресурсов"));
    }
}

void TAts::Parse(uint8_t* data, int step) {
    (void)data;
    (void)step;
}

namespace {
// "hh:mm" of a time in ms, digit by digit: tens of hours, hours, tens of
// minutes, minutes.
QString HhMm(int ms) {
    const int tensH = ms / 36000000;
    const int h = ms % 36000000 / 3600000;
    const int rest = ms % 3600000;
    return QString::number(tensH) + QString::number(h) + QLatin1Char(':') +
           QString::number(rest / 600000) + QString::number(rest % 600000 / 60000);
}

// A stored time that is missing, malformed or not positive takes the default.
int ReadTime(const Registry& r, const QString& name) {
    const auto v = r.ReadInteger(name);
    return v && *v > 0 ? *v : 3600000;
}

// Text of a setting editor, with the default when it is empty.
QString OrDefault(const QString& text, const QString& def) {
    return text.isEmpty() ? def : text;
}
} // namespace

void TAts::InitSettings() {
    KeyAccess k(App, Key);
    try {
        if (k.open) {
            Registry& r = k.reg;
            SL = OrDefault(r.ReadString(QStringLiteral("SL"), QString()), QStringLiteral("9"));
            MN = OrDefault(r.ReadString(QStringLiteral("MN"), QString()), QStringLiteral("810"));
            MG = OrDefault(r.ReadString(QStringLiteral("MG"), QString()), QStringLiteral("8"));
            Name = OrDefault(r.ReadString(QStringLiteral("Name"), QString()), Key);
            if (Controls.EditAtsName) Controls.EditAtsName->setText(Name);
            SLCheck = r.ReadBool(QStringLiteral("SLCheck"), false);
            if (PaceTimer) {
                // A pacing interval must be positive: 0 would spin the timer.
                if (const auto d = r.ReadInteger(QStringLiteral("PortDelayMS")); d && *d > 0)
                    PaceTimer->setInterval(*d);
                else if (!r.ValueExists(QStringLiteral("PortDelayMS")))
                    r.WriteInteger(QStringLiteral("PortDelayMS"), PaceTimer->interval());
            }
            AutoInTime = ReadTime(r, QStringLiteral("AutoInTime"));
            AutoInText = HhMm(AutoInTime);
            AutoIn = r.ReadBool(QStringLiteral("AutoIn"), false);
            if (AutoIn) ArmRunAt();
            AutoEveryTime = ReadTime(r, QStringLiteral("AutoEveryTime"));
            AutoEveryText = HhMm(AutoEveryTime);
            AutoEvery = r.ReadBool(QStringLiteral("AutoEvery"), false);
            if (AutoEvery && AutoTimer) {
                AutoTimer->setInterval(AutoEveryTime);
                AutoTimer->start();
            }
            // A missing or false "In" leaves the box (and the port) as it is.
            if (r.ReadBool(QStringLiteral("In"), false)) SetPortChecked(true);
        }
        if (Controls.EditDop) Controls.EditDop->setText(SL);
        if (Controls.EditMG) Controls.EditMG->setText(MG);
        if (Controls.EditMN) Controls.EditMN->setText(MN);
        if (Controls.CheckBoxDop) Controls.CheckBoxDop->setChecked(SLCheck);
    } catch (...) {
        WriteLog(QStringLiteral("Ошибка инициализации ") + Key);
    }
}

void TAts::ArmRunAt() {
    if (!AutoTimer) return;
    const QTime t = Clock::Now().time();
    const int now = t.msecsSinceStartOfDay();
    AutoTimer->setInterval(now <= AutoInTime ? AutoInTime - now : AutoInTime + 86400000 - now);
    AutoTimer->start();
}

bool TAts::WriteRegistry(const QString& name, const QVariant& value) {
    KeyAccess k(App, Key);
    if (!k.open) return false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return k.reg.WriteBool(name, value.toBool());
    case QMetaType::Int:
        return k.reg.WriteInteger(name, value.toInt());
    default:
        return k.reg.WriteString(name, value.toString());
    }
}

// The editors store the text as typed; the field in use takes the same
// default an empty stored value gets at the next start.
void TAts::NameEntered(const QString& text) {
    WriteRegistry(QStringLiteral("Name"), text);
    Name = OrDefault(text, Key);
    if (App.Console) App.Console->ExchangeRenamed(Number, Name);
}

void TAts::SLEntered(const QString& text) {
    WriteRegistry(QStringLiteral("SL"), text);
    SL = OrDefault(text, QStringLiteral("9"));
}

void TAts::MGEntered(const QString& text) {
    WriteRegistry(QStringLiteral("MG"), text);
    MG = OrDefault(text, QStringLiteral("8"));
}

void TAts::MNEntered(const QString& text) {
    WriteRegistry(QStringLiteral("MN"), text);
    MN = OrDefault(text, QStringLiteral("810"));
}

void TAts::SLCheckClicked(bool checked) {
    WriteRegistry(QStringLiteral("SLCheck"), checked);
    SLCheck = checked;
}

void TAts::PortSelected(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok) return;
    int stored = Port;
    {
        KeyAccess k(App, Key);
        if (k.open) stored = k.reg.ReadInteger(QStringLiteral("Port"), Port);
    }
    if (n != stored) {
        SetPortChecked(false);
        Port = n;
        if (ComPort) ComPort->SetPortNumber(Port);
        WriteRegistry(QStringLiteral("Port"), n);
        SetPortChecked(true);
    }
    if (App.CurrentAtsNumber == Number && App.Console) App.Console->ShowPortText(text);
}

// Setting the box runs its click handler only when its state changes, as a
// click would.
void TAts::SetPortChecked(bool checked) {
    if (Controls.CheckBoxPort) {
        if (Controls.CheckBoxPort->isChecked() == checked) return;
        Controls.CheckBoxPort->setChecked(checked);
    } else if (PortIsOpen() == checked) {
        return;
    }
    PortCheckClicked(checked);
}

int EncodeText(TAts& ats, const QString& text) {
    if (ats.Encoded.size() < size_t(kEncodedSize)) return 0;
    return EncodeCodes(ats.Code, text, ats.Encoded.data(), kEncodedSize);
}

QString DecodeText(TAts& ats) {
    if (ats.RxTextLen <= 0) return QString();
    const int n = std::min<int>(ats.RxTextLen, int(ats.RxText.size()));
    QString text = DecodeCodes(ats.Code, ats.RxText.data(), n, [] { return GetDateTime(); });
    ats.App.SetPanelText(2, QStringLiteral("Прием"));
    emit ats.received();
    return text;
}
