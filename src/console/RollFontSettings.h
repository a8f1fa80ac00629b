#pragma once
// The roll view's font in the program-wide key, the colour and window-state
// conversions the main window needs.
#include <QColor>
#include <QFont>
#include <QString>

#include <optional>

class Registry;

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
