#pragma once
// The text side of the directive entry: building the directive from the input
// line, the command stack and the keyboard-layout correction.
#include <QString>
#include <QStringList>

#include <optional>

namespace DirectiveText {

// The input line's free mask and its length in characters.
extern const QString kFreeMask; // ">ll_cccccccccccccccccccccc;1;_"
inline constexpr int kLineLength = 25;

struct Built {
    QString directive;    // the line's characters without spaces, "-" ensured
    bool hadDash = false; // the line held a "-" somewhere
};
// Every character of the line except spaces, in order; "-" appended when the
// line holds none.
Built Build(const QString& lineText);

// The Cyrillic letter carried by a Latin key on the Russian layout, for the
// first and for the second character of a directive; a null QChar otherwise.
QChar FirstLetterFix(QChar c);
QChar SecondLetterFix(QChar c);

struct LayoutFix {
    QString text; // the new line text
    int caret = 0;
};
// Correction for a line whose first or second character was typed with the
// Latin layout: "N" first becomes "Т" alone (caret 1); a fixable second
// character makes the text the first character and its Cyrillic letter
// (caret 3, behind the "_"). nullopt when nothing is to be corrected.
std::optional<LayoutFix> CorrectLayout(const QString& lineText);

} // namespace DirectiveText

// The command stack: directive texts, most recent first, no size limit.
class CommandStack {
public:
    // Execute: every entry equal to text goes, then text goes on top.
    void Push(const QString& text);
    // F5: text goes to the bottom, duplicates allowed.
    void Append(const QString& text);
    const QStringList& Items() const { return m_items; }
    int Count() const { return int(m_items.size()); }

private:
    QStringList m_items;
};
