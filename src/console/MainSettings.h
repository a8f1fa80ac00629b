#pragma once
// The program-wide key "\Software\ZezozuDaruduri\Current ATS": its values with
// their defaults, and the conversions the main window needs.
#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

class Registry;

namespace MainSettings {
extern const QString kKey;         // "\Software\ZezozuDaruduri\Current ATS"
extern const QString kRestartText; // "Изменения вступят в силу после перезапуска программы"
} // namespace MainSettings

// Values read when the window is created; the key must be open.
struct CreateSettings {
    int WindowState = 0; // 0 normal, 1 minimised, 2 maximised
    int TarifTimeMode = 1;
    int Duplex = 0;
    int Platform = 0;
    int MaxNoPaneTime = 0;
    std::optional<bool> CorrectLogOff; // missing or unreadable: nullopt
    bool FourDigitYear = false;

    void Read(const Registry& reg);
    bool DuplexMode() const { return Duplex == 1; }
    bool BlockSend() const { return Platform == 0; }
    // A missing flag counts as a clean end.
    bool PreviousRunCrashed() const { return CorrectLogOff.has_value() && !*CorrectLogOff; }
};

// The roll view's font ("FontName", "FontSize", "FontColor", "fsBold"). The
// other styles the font dialog offers are kept beside "fsBold" as "fsItalic",
// "fsUnderline" and "fsStrikeOut" (false when missing).
struct RollFontSettings {
    QString Name = QStringLiteral("Fixedsys");
    int Size = 8;
    int Color = 0; // Windows BGR
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;

    void Read(const Registry& reg);
    bool Write(Registry& reg) const;
    // "Fixedsys" when the system has it, else the system's fixed-width font.
    QFont ToFont() const;
    QColor ToColor() const;
    void FromFont(const QFont& f, const QColor& c);
};

QColor ColorFromBgr(int bgr);
int BgrFromColor(const QColor& c);
// Window state values of the registry and Qt's states.
int WindowStateValue(Qt::WindowStates s);
Qt::WindowStates WindowStateFromValue(int v);
