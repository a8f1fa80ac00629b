#pragma once
// The directive entry: the masked input line (MaskEdit) and the command stack
// (ComboBoxStek) bound to the selected exchange. Typed directives, the
// directive buttons, the clock and the state analysis all send through here:
// Reset, set the text, Execute.
#include "directives/DirectiveText.h"

#include <QObject>
#include <QString>

class MaskEdit;
class QComboBox;
class TAts;
class Terminal;

// The operator waits, with the hourglass, while the exchange's line still has
// bytes to send (escEnds: a held Esc ends the wait; the bytes still go).
void WaitForLine(TAts& ats, bool escEnds);

class DirectiveEntry : public QObject {
    Q_OBJECT
public:
    static constexpr int kStackTextLength = 20;

    DirectiveEntry(Terminal& term, MaskEdit* edit, QComboBox* stack, QObject* parent = nullptr);

    // The free mask, an empty line, focus and caret to the start.
    void Reset();
    // Sends the line's directive to the selected exchange; the line keeps
    // it, selected.
    void Execute();
    // Reset, the line's text := text, Execute (the fixed-directive buttons).
    void SendFixed(const QString& text);
    // Reset, then a template mask with the caret at its first position to fill.
    void PrepareTemplate(const QString& mask, int caret);
    // F5: the line's text to the bottom of the stack.
    void AppendToStack();
    // A stack entry was chosen: Reset and put it into the line (nothing sent).
    void StackSelected(int index);

    MaskEdit* Edit() const { return m_edit; }
    const CommandStack& Stack() const { return m_stack; }

signals:
    // A directive is about to be handed to the exchange ("Передача").
    void executing(const QString& directive);

private:
    void KeyDown(int key);
    void TextChanged();
    void SyncStack();

    Terminal& m_term;
    MaskEdit* m_edit;
    QComboBox* m_stackBox;
    CommandStack m_stack;
};
