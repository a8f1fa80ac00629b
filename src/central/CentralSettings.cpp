#include "central/CentralSettings.h"

#include "platform/Registry.h"

#include <QSysInfo>

const QString CentralSettings::kKey = QStringLiteral("\\Software\\ZezozuDaruduri\\Central");

QString CentralSettings::DefaultTerminalId() {
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("terminal") : host;
}

CentralSettings CentralSettings::Read(Registry& reg) {
    CentralSettings s;
    s.terminalId = DefaultTerminalId();
    if (RegistryKey key{reg, kKey, false}) {
        s.enabled = key->ReadBool(QStringLiteral("Enabled"), false);
        const QString id = key->ReadString(QStringLiteral("TerminalId"), QString()).trimmed();
        if (!id.isEmpty()) s.terminalId = id;
        s.connInfo = key->ReadString(QStringLiteral("ConnInfo"), QString());
    }
    return s;
}

bool CentralSettings::Write(Registry& reg) const {
    RegistryKey key{reg, kKey, true};
    return key && key->WriteBool(QStringLiteral("Enabled"), enabled) &&
           key->WriteString(QStringLiteral("TerminalId"), terminalId) &&
           key->WriteString(QStringLiteral("ConnInfo"), connInfo);
}
