#include "link/AtsSettings.h"

#include "platform/Registry.h"

#include <climits>

namespace {
const QString kKeyRoot = QStringLiteral("\\Software\\ZezozuDaruduri\\");

// An accessor of our own for one key, on the store the window uses.
struct KeyAccess {
    Registry reg;
    RegistryKey key;
    bool open;
    KeyAccess(const QString& store, const QString& path)
        : reg(store), key(reg, kKeyRoot + path, true), open(bool(key)) {}
};

QString OrDefault(const QString& text, const QString& def) {
    return text.isEmpty() ? def : text;
}

constexpr int kDayMs = 86400000;

// A stored time outside low..high (or missing, or malformed) takes the
// default, 01:00 or one hour. A run-at time of 0 is midnight; a period of 0
// would spin the timer.
int ReadTime(const Registry& r, const QString& name, int low, int high) {
    const auto v = r.ReadInteger(name);
    return v && *v >= low && *v <= high ? *v : 3600000;
}
} // namespace

AtsSettings::AtsSettings(int number, const QString& storePath)
    : Number(number), Key(QStringLiteral("ATS ") + QString::number(number)), Name(Key),
      Port(number), m_store(storePath) {
    KeyAccess k(m_store, Key);
    if (k.open) Port = k.reg.ReadInteger(QStringLiteral("Port"), number);
}

bool AtsSettings::Load(bool paced, int currentPaceMs) {
    KeyAccess k(m_store, Key);
    if (!k.open) return false;
    const Registry& r = k.reg;
    SL = OrDefault(r.ReadString(QStringLiteral("SL"), QString()), QStringLiteral("9"));
    MN = OrDefault(r.ReadString(QStringLiteral("MN"), QString()), QStringLiteral("810"));
    MG = OrDefault(r.ReadString(QStringLiteral("MG"), QString()), QStringLiteral("8"));
    Name = OrDefault(r.ReadString(QStringLiteral("Name"), QString()), Key);
    SLCheck = r.ReadBool(QStringLiteral("SLCheck"), false);
    PortDelayMs.reset();
    if (paced) {
        // A pacing interval must be positive: 0 would spin the timer. Only a
        // missing value is written back.
        if (const auto d = r.ReadInteger(QStringLiteral("PortDelayMS")); d && *d > 0)
            PortDelayMs = *d;
        else if (!r.ValueExists(QStringLiteral("PortDelayMS")))
            k.reg.WriteInteger(QStringLiteral("PortDelayMS"), currentPaceMs);
    }
    AutoInTime = ReadTime(r, QStringLiteral("AutoInTime"), 0, kDayMs - 1);
    AutoIn = r.ReadBool(QStringLiteral("AutoIn"), false);
    AutoEveryTime = ReadTime(r, QStringLiteral("AutoEveryTime"), 1, INT_MAX);
    AutoEvery = r.ReadBool(QStringLiteral("AutoEvery"), false);
    In = r.ReadBool(QStringLiteral("In"), false);
    return true;
}

bool AtsSettings::Store(const QString& name, const QString& text) {
    KeyAccess k(m_store, Key);
    return k.open && k.reg.WriteString(name, text);
}

bool AtsSettings::Store(const QString& name, int value) {
    KeyAccess k(m_store, Key);
    return k.open && k.reg.WriteInteger(name, value);
}

bool AtsSettings::Store(const QString& name, bool value) {
    KeyAccess k(m_store, Key);
    return k.open && k.reg.WriteBool(name, value);
}

void AtsSettings::SetName(const QString& text) {
    Store(QStringLiteral("Name"), text);
    Name = OrDefault(text, Key);
}

void AtsSettings::SetSL(const QString& text) {
    Store(QStringLiteral("SL"), text);
    SL = OrDefault(text, QStringLiteral("9"));
}

void AtsSettings::SetMG(const QString& text) {
    Store(QStringLiteral("MG"), text);
    MG = OrDefault(text, QStringLiteral("8"));
}

void AtsSettings::SetMN(const QString& text) {
    Store(QStringLiteral("MN"), text);
    MN = OrDefault(text, QStringLiteral("810"));
}

void AtsSettings::SetSLCheck(bool on) {
    Store(QStringLiteral("SLCheck"), on);
    SLCheck = on;
}

void AtsSettings::SetPort(int number) {
    Port = number;
    Store(QStringLiteral("Port"), number);
}

void AtsSettings::SetIn(bool in) {
    In = in;
    Store(QStringLiteral("In"), in);
}

void AtsSettings::SetAutoIn(bool on) {
    AutoIn = on;
    Store(QStringLiteral("AutoIn"), on);
}

void AtsSettings::SetAutoEvery(bool on) {
    AutoEvery = on;
    Store(QStringLiteral("AutoEvery"), on);
}

void AtsSettings::SetAutoInTime(int ms) {
    AutoInTime = ms;
    Store(QStringLiteral("AutoInTime"), ms);
}

void AtsSettings::SetAutoEveryTime(int ms) {
    AutoEveryTime = ms;
    Store(QStringLiteral("AutoEveryTime"), ms);
}

int AtsSettings::StoredPort() const {
    KeyAccess k(m_store, Key);
    return k.open ? k.reg.ReadInteger(QStringLiteral("Port"), Port) : Port;
}

// Digit by digit: tens of hours, hours, tens of minutes, minutes.
QString AtsSettings::HhMm(int ms) {
    const int tensH = ms / 36000000;
    const int h = ms % 36000000 / 3600000;
    const int rest = ms % 3600000;
    return QString::number(tensH) + QString::number(h) + QLatin1Char(':') +
           QString::number(rest / 600000) + QString::number(rest % 600000 / 60000);
}
