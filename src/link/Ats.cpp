#include "link/Ats.h"

#include "link/Notation.h"
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
        : reg(app.Reg ? app.Reg->FilePath() : QString()) {
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
                for (int i = 1; i <= 16; ++i) Controls.ComboBoxPort->addItem(QString::number(i));
            Controls.ComboBoxPort->setCurrentText(QString::number(Port));
        }
        connect(Controls.ComboBoxPort, &QComboBox::currentTextChanged, this, &TAts::PortSelected);
    }
    if (Controls.CheckBoxPort)
        connect(Controls.CheckBoxPort, &QCheckBox::clicked, this, &TAts::PortCheckClicked);
    if (Controls.CheckBoxDop)
        connect(Controls.CheckBoxDop, &QCheckBox::clicked, this, &TAts::SLCheckClicked);
    auto onEnter = [this](QLineEdit* e, void (TAts::*handler)(const QString&)) {
        if (e) connect(e, &QLineEdit::returnPressed, this, [this, e, handler] { (this->*handler)(e->text()); });
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

    AutoFileName = App.RollDir + QStringLiteral("Auto") + QString::number(Number) + QStringLiteral(".txt");
    RollFileName = App.RollDir + QStringLiteral("Varnel") + QString::number(Number) + QStringLiteral(".rul");
    RollFile.setFileName(RollFileName);
    if (!RollFile.open(QIODevice::ReadWrite)) {
        // Could not open as it is: create it afresh.
        RollFile.open(QIODevice::ReadWrite | QIODevice::Truncate);
    }
    if (RollFile.isOpen()) RollFile.seek(RollFile.size());
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

void TAts::InitSettings() {
    KeyAccess k(App, Key);
    try {
        if (k.open) {
            Registry& r = k.reg;
            SL = r.ReadString(QStringLiteral("SL"), QString());
            if (SL.isEmpty()) SL = QStringLiteral("9");
            MN = r.ReadString(QStringLiteral("MN"), QString());
            if (MN.isEmpty()) MN = QStringLiteral("810");
            MG = r.ReadString(QStringLiteral("MG"), QString());
            if (MG.isEmpty()) MG = QStringLiteral("8");
            Name = r.ReadString(QStringLiteral("Name"), QString());
            if (Name.isEmpty()) Name = Key;
            if (Controls.EditAtsName) Controls.EditAtsName->setText(Name);
            SLCheck = r.ReadBool(QStringLiteral("SLCheck"), false);
            if (PaceTimer) {
                if (const auto d = r.ReadInteger(QStringLiteral("PortDelayMS")); d && *d > 0)
                    PaceTimer->setInterval(*d);
                else if (!r.ValueExists(QStringLiteral("PortDelayMS")))
                    r.WriteInteger(QStringLiteral("PortDelayMS"), PaceTimer->interval());
            }
            AutoInTime = r.ReadInteger(QStringLiteral("AutoInTime"), 3600000);
            AutoIn = r.ReadBool(QStringLiteral("AutoIn"), false);
            AutoEveryTime = r.ReadInteger(QStringLiteral("AutoEveryTime"), 3600000);
            AutoEvery = r.ReadBool(QStringLiteral("AutoEvery"), false);
            auto hhmm = [](int ms) {
                const int minutes = (ms / 60000) % (24 * 60);
                return QStringLiteral("%1:%2")
                    .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                    .arg(minutes % 60, 2, 10, QLatin1Char('0'));
            };
            AutoInText = hhmm(AutoInTime);
            AutoEveryText = hhmm(AutoEveryTime);
            if (AutoEvery && AutoTimer && AutoEveryTime > 0) {
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

bool TAts::WriteRegistry(const QString& name, const QVariant& value) {
    KeyAccess k(App, Key);
    if (!k.open) return false;
    switch (value.typeId()) {
    case QMetaType::Bool: return k.reg.WriteBool(name, value.toBool());
    case QMetaType::Int: return k.reg.WriteInteger(name, value.toInt());
    default: return k.reg.WriteString(name, value.toString());
    }
}

void TAts::NameEntered(const QString& text) {
    WriteRegistry(QStringLiteral("Name"), text);
    Name = text.isEmpty() ? Key : text;
    if (App.Console) App.Console->ExchangeRenamed(Number, text);
}

void TAts::SLEntered(const QString& text) {
    WriteRegistry(QStringLiteral("SL"), text);
    SL = text;
}

void TAts::MGEntered(const QString& text) {
    WriteRegistry(QStringLiteral("MG"), text);
    MG = text;
}

void TAts::MNEntered(const QString& text) {
    WriteRegistry(QStringLiteral("MN"), text);
    MN = text;
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
        WriteRegistry(QStringLiteral("Port"), n);
        SetPortChecked(true);
    }
    if (App.CurrentAtsNumber == Number && App.Console) App.Console->ShowPortText(text);
}

void TAts::SetPortChecked(bool checked) {
    if (Controls.CheckBoxPort) Controls.CheckBoxPort->setChecked(checked);
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
