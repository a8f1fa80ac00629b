#pragma once
// The program-wide key "\Software\ZezozuDaruduri\Current ATS": the values read
// when the terminal starts, with their defaults.
#include <QString>

#include <optional>

class Registry;

struct CreateSettings {
    static const QString kKey; // "\Software\ZezozuDaruduri\Current ATS"

    int WindowState = 0; // 0 normal, 1 minimised, 2 maximised
    int TarifTimeMode = 1;
    int Duplex = 0;
    int Platform = 0;
    int MaxNoPaneTime = 0;
    std::optional<bool> CorrectLogOff; // missing or unreadable: nullopt
    bool FourDigitYear = false;

    // The key must be open.
    void Read(const Registry& reg);
    bool DuplexMode() const { return Duplex == 1; }
    bool BlockSend() const { return Platform == 0; }
    // A missing flag counts as a clean end.
    bool PreviousRunCrashed() const { return CorrectLogOff.has_value() && !*CorrectLogOff; }
};
