#pragma once
// The program-wide state the exchange objects, the tariffication and the
// main window share. One object per running terminal (and one per test),
// handed to whoever needs it.
#include <QString>

#include <array>

class TAts;

struct AppState {
    QString CurDir;       // working directory at start-up
    QString RollDir;      // CurDir + "/Rulon/"
    QString RegistryPath; // the settings store (empty: VARNEL_REGISTRY or the default)

    std::array<TAts*, 4> Ats{}; // Ats1..Ats4, owned by the main window
    TAts* CurrentAts = nullptr;
    int CurrentAtsNumber = 0;

    bool DuplexMode = false; // "Duplex" == 1, fixed at start-up
    bool BlockSend = true;   // "Platform" == 0 ("Windows 9x")

    // Tariffication settings.
    int TarifTimeMode = 1; // 0 minutes, 1 seconds, 2 milliseconds
    int MaxNoPaneTime = 0;

    // Bound of each duplex send wait and of the port reopen retry (tests
    // shorten them).
    int DuplexBoundMs = 3000;
    int ReopenIntervalMs = 5000;
};
