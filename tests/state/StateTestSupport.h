#pragma once
// Helpers of the state tests (with those of the console tests): port mapping,
// lists of UTF-8 lines.
#include "TestSupport.h"
#include "console/ConsoleTestSupport.h"

#include "platform/Registry.h"

#include <QStringList>

#include <initializer_list>
#include <ostream>

// Exchange n on device, its codes sent 1 ms apart.
inline void MapPort(int n, const QString& device) {
    Registry reg;
    reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
    reg.WriteString(QString::number(n), device);
    reg.CloseKey();
    reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ") + QString::number(n), true);
    reg.WriteInteger(QStringLiteral("PortDelayMS"), 1);
}

inline QStringList Utf8List(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines)
        out << QString::fromUtf8(l);
    return out;
}

// Readable lists in failure messages.
