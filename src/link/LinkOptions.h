#pragma once
// What every exchange line of one terminal shares: where the settings and the
// rolls live, and the link mode fixed at start-up.
#include <QString>

struct LinkOptions {
    QString RegistryPath; // the settings store (empty: VARNEL_REGISTRY or the default)
    QString RollDir;      // the working folder's "Rulon/"

    bool DuplexMode = false; // "Duplex" == 1, fixed at start-up
    bool BlockSend = true;   // "Platform" == 0 ("Windows 9x")

    // Bound of each duplex send wait and of the port reopen retry (tests
    // shorten them).
    int DuplexBoundMs = 3000;
    int ReopenIntervalMs = 5000;
};
