#include "app/CreateSettings.h"

#include "platform/Registry.h"

const QString CreateSettings::kKey = QStringLiteral("\\Software\\ZezozuDaruduri\\Current ATS");

void CreateSettings::Read(const Registry& reg) {
    WindowState = reg.ReadInteger(QStringLiteral("WindowState"), 0);
    TarifTimeMode = reg.ReadInteger(QStringLiteral("TarifTimeMode"), 1);
    Duplex = reg.ReadInteger(QStringLiteral("Duplex"), 0);
    Platform = reg.ReadInteger(QStringLiteral("Platform"), 0);
    MaxNoPaneTime = reg.ReadInteger(QStringLiteral("MaxNoPaneTime"), 0);
    CorrectLogOff = reg.ReadBool(QStringLiteral("CorrectLogOff"));
    FourDigitYear = reg.ReadBool(QStringLiteral("FourDigitYear"), false);
}
