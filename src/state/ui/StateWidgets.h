#pragma once
// Small window helpers of the state tabs: the typed fields, radio groups and
// the tab pages found (or made) by their captions.
#include <QLineEdit>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QLayout;
class QPlainTextEdit;
class QWidget;

namespace stateui {

// A typed field of at most `length` characters, forced to capitals; a fixed
// prefix ("00") stays in front and cannot be typed over. Blanks may be typed
// and stay in the text.
class StateField : public QLineEdit {
    Q_OBJECT
public:
    StateField(const QString& name, const QString& hint, int length,
               const QString& fixedPrefix = QString(), QWidget* parent = nullptr);
};

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
