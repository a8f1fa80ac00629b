#pragma once
// The key "\Software\ZezozuDaruduri\Central": whether billed calls go to the
// central call store, the terminal's name there and how to reach the server.
// The connection string carries no password: libpq takes it from the user's
// password file or service file.
#include <QString>

class Registry;

struct CentralSettings {
    static const QString kKey; // "\Software\ZezozuDaruduri\Central"

    bool enabled = false;
    QString terminalId; // default: the host name
    QString connInfo;

    // Reads the key (the defaults when it is missing); opens and closes it
    // itself, so no other key may be open.
    static CentralSettings Read(Registry& reg);
    bool Write(Registry& reg) const;
    static QString DefaultTerminalId();
};
