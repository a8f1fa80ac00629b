#pragma once
// The settings of one exchange, kept under its registry key
// "\Software\ZezozuDaruduri\ATS N". A value that is missing or unreadable
// takes its default; the editors store what the operator typed and use the
// default the next start would read.
#include <QString>

#include <optional>

class AtsSettings {
public:
    // Creates the key when missing and reads "Port" (default: the number).
    AtsSettings(int number, const QString& storePath);

    // Reads every value. In normal link mode (paced) a "PortDelayMS" that is
    // missing is written as currentPaceMs. False when the key could not be
    // opened (the defaults stay).
    bool Load(bool paced, int currentPaceMs);

    // The setting editors: each stores its value at once.
    void SetName(const QString& text);
    void SetSL(const QString& text);
    void SetMG(const QString& text);
    void SetMN(const QString& text);
    void SetSLCheck(bool on);
    void SetPort(int number);
    void SetIn(bool in);
    // The automatic-script modes and times ("AutoIn", "AutoEvery",
    // "AutoInTime", "AutoEveryTime").
    void SetAutoIn(bool on);
    void SetAutoEvery(bool on);
    void SetAutoInTime(int ms);
    void SetAutoEveryTime(int ms);
    // "Port" as stored (the current number when it cannot be read).
    int StoredPort() const;

    // "hh:mm" of a time of day or period in ms.
    static QString HhMm(int ms);
    QString AutoInText() const { return HhMm(AutoInTime); }
    QString AutoEveryText() const { return HhMm(AutoEveryTime); }

    const QString& StorePath() const { return m_store; }

    int Number = 0;
    QString Key;  // "ATS N"
    QString Name; // empty in the store: Key
    QString SL = QStringLiteral("9");
    QString MG = QStringLiteral("8");
    QString MN = QStringLiteral("810");
    bool SLCheck = false;
    int Port = 1;
    std::optional<int> PortDelayMs; // as stored, when usable (above 0)
    int AutoInTime = 3600000;       // ms after midnight, 0 (midnight) to a day
    int AutoEveryTime = 3600000;    // ms, above 0
    bool AutoIn = false;
    bool AutoEvery = false;
    bool In = false; // the port is to be opened at start-up

private:
    bool Store(const QString& name, const QString& text);
    bool Store(const QString& name, int value);
    bool Store(const QString& name, bool value);

    QString m_store;
};
