#pragma once
// The directive entry: the masked input line (MaskEdit) and the command stack
// (ComboBoxStek) bound to the selected exchange. Typed directives, the
// directive buttons, the clock and the state analysis all send through here:
// Reset, set the text, Execute.
//
// After a directive is handed to the exchange the operator waits, with the
// hourglass, while its line still has bytes to send; in normal link mode Esc
// ends that wait (the bytes still go). The wait does not block: lineFree()
// tells when it is over.
#include "directives/DirectiveText.h"
#include "link/StepWait.h"

#include <QObject>
#include <QString>

class MaskEdit;
class QComboBox;
class Terminal;

class DirectiveEntry : public QObject {
    Q_OBJECT
public:
    static constexpr int kStackTextLength = 20;

    DirectiveEntry(Terminal& term, MaskEdit* edit, QComboBox* stack, QObject* parent = nullptr);
    ~DirectiveEntry() override;

    // The free mask, an empty line, focus and caret to the start.
    void Reset();
    // Sends the line's directive to the selected exchange; the line keeps
    // it, selected. The wait for the line follows.
    void Execute();
    // The operator's wait for the line is going on.
    bool WaitingForLine() const { return m_lineWait.Active(); }
    // Reset, the line's text := text, Execute (the fixed-directive buttons).
    void SendFixed(const QString& text);
    // Reset, then a template mask with the caret at its first position to fill.
    void PrepareTemplate(const QString& mask, int caret);
    // F5: the line's text to the bottom of the stack.
    void AppendToStack();
    // A stack entry was chosen: Reset and put it into the line (nothing sent).
    void StackSelected(int index);

    MaskEdit* Edit() const { return m_edit; }

signals:
    // A directive is about to be handed to the exchange ("Передача").
    void executing(const QString& directive);
    // The wait for the line after Execute is over (drained, Esc, or no
    // exchange); always from the event loop.
    void lineFree();

private:
    void KeyDown(int key);
    void TextChanged();
    void SyncStack();
    void EndLineWait();

    Terminal& m_term;
    StepWait m_lineWait;
    bool m_busyCursor = false;
    MaskEdit* m_edit;
    QComboBox* m_stackBox;
    CommandStack m_stack;
};
