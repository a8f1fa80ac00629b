#pragma once
// What every exchange line of one terminal shares: where the settings and the
// rolls live, and the link mode fixed at start-up.
#include <QString>

struct LinkOptions {
    QString registryPath; // the settings store (empty: VARNEL_REGISTRY or the default)
    QString rollDir;      // the working folder's "Rulon/"

    bool duplexMode = false; // "Duplex" == 1, fixed at start-up
    bool blockSend = true;   // "Platform" == 0 ("Windows 9x")

    // Bound of each duplex send wait and of the port reopen retry (tests
    // shorten them).
    int duplexBoundMs = 3000;
    int reopenIntervalMs = 5000;
};
