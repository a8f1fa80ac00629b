#include "console/RollFontSettings.h"

#include "platform/Registry.h"

#include <QFontDatabase>
#include <QFontInfo>

void RollFontSettings::Read(const Registry& reg) {
    Name = reg.ReadString(QStringLiteral("FontName"), QString());
    if (Name.isEmpty()) Name = QStringLiteral("Fixedsys");
    Size = reg.ReadInteger(QStringLiteral("FontSize"), 8);
    if (Size <= 0) Size = 8;
    Color = reg.ReadInteger(QStringLiteral("FontColor"), 0);
    Bold = reg.ReadBool(QStringLiteral("fsBold"), false);
    Italic = reg.ReadBool(QStringLiteral("fsItalic"), false);
    Underline = reg.ReadBool(QStringLiteral("fsUnderline"), false);
    StrikeOut = reg.ReadBool(QStringLiteral("fsStrikeOut"), false);
}

bool RollFontSettings::Write(Registry& reg) const {
    bool ok = reg.WriteString(QStringLiteral("FontName"), Name);
    ok = reg.WriteInteger(QStringLiteral("FontSize"), Size) && ok;
    ok = reg.WriteInteger(QStringLiteral("FontColor"), Color) && ok;
    ok = reg.WriteBool(QStringLiteral("fsBold"), Bold) && ok;
    ok = reg.WriteBool(QStringLiteral("fsItalic"), Italic) && ok;
    ok = reg.WriteBool(QStringLiteral("fsUnderline"), Underline) && ok;
    ok = reg.WriteBool(QStringLiteral("fsStrikeOut"), StrikeOut) && ok;
    return ok;
}

QFont RollFontSettings::ToFont() const {
    QFont f = QFontDatabase::hasFamily(Name) ? QFont(Name)
                                             : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSize(Size);
    f.setBold(Bold);
    f.setItalic(Italic);
    f.setUnderline(Underline);
    f.setStrikeOut(StrikeOut);
    return f;
}

QColor RollFontSettings::ToColor() const {
    return ColorFromBgr(Color);
}

void RollFontSettings::FromFont(const QFont& f, const QColor& c) {
    Name = f.family();
    Size = f.pointSize() > 0 ? f.pointSize() : Size;
    Bold = f.bold();
    Italic = f.italic();
    Underline = f.underline();
    StrikeOut = f.strikeOut();
    Color = BgrFromColor(c);
}

QColor ColorFromBgr(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

int BgrFromColor(const QColor& c) {
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

int WindowStateValue(Qt::WindowStates s) {
    if (s & Qt::WindowMinimized) return 1;
    if (s & Qt::WindowMaximized) return 2;
    return 0;
}

Qt::WindowStates WindowStateFromValue(int v) {
    switch (v) {
    case 1:
        return Qt::WindowMinimized;
    case 2:
        return Qt::WindowMaximized;
    default:
        return Qt::WindowNoState;
    }
}
