#pragma once
// Small window helpers of the state tabs: the typed fields, radio groups and
// the tab pages found (or made) by their captions.
#include <QLineEdit>
#include <QString>
#include <QStringList>

class MaskEdit;
class QButtonGroup;
class QLayout;
class QPlainTextEdit;
class QWidget;

namespace stateui {

// A text field of at most `length` characters, forced to capitals (a rack or
// machine number). Blanks may be typed and stay in the text.
class StateField : public QLineEdit {
    Q_OBJECT
public:
    StateField(const QString& name, const QString& hint, int length, QWidget* parent = nullptr);
};

// A hexadecimal field of `length` characters (a fixed prefix such as "00"
// counted in): other characters are refused, small letters become capitals;
// NumberText() pads a short number with leading zeros.
MaskEdit* HexField(const QString& name, const QString& hint, int length,
                   const QString& fixedPrefix = QString());

// A read-only result list.
QPlainTextEdit* ResultList(const QString& name, const QString& hint);

// A titled box of radio buttons named name + index (ids 0..n-1, the first
// checked); the box is named name and added to `into`.
QButtonGroup* RadioGroup(QWidget* owner, QLayout* into, const QString& name, const QString& title,
                         const QStringList& items);

// Adds content to a page's vertical layout (made when missing) as its
// stretching part, before the layout's closing stretch, which is dropped.
void AddContent(QWidget* page, QWidget* content);

} // namespace stateui
