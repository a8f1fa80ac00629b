#pragma once
// A line-edit field driven by MaskEngine: overwrite typing, the caret skips
// literals, unfilled positions show the blank character and read back as
// spaces. Enter, Esc and F5 are reported through keyDown() for the owner.
// A click into a field that shows only blanks puts the caret on its first
// input position, wherever the mouse landed; taking the focus from the
// program (not the mouse) selects the whole text, so typing starts anew.
#include "directives/MaskEngine.h"

#include <QLineEdit>

class MaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskEdit(QWidget* parent = nullptr);

    // EditMask := mask; every position becomes unfilled.
    void SetEditMask(const QString& mask);
    QString EditMask() const { return m_engine.Mask(); }
    // Text with literals and spaces for unfilled positions.
    QString Text() const { return m_engine.Text(); }
    // Text with partly filled hexadecimal fields padded (MaskEngine::NumberText).
    QString NumberText() const { return m_engine.NumberText(); }
    // No input position filled.
    bool IsBlank() const { return m_engine.IsBlank(); }
    // Text := text (see MaskEngine::SetText); the caret goes to the end.
    void SetText(const QString& text);
    int CaretPos() const { return cursorPosition(); }
    void SetCaretPos(int pos);

    // Types one character at the caret as a key press would; false when the
    // position refuses it.
    bool TypeChar(QChar ch);
    // Pastes text character by character at the caret.
    void PasteText(const QString& text);

signals:
    // The text changed, by typing or by assignment.
    void changed();
    // Keys the owner handles: Enter, Return, Escape, F5.
    void keyDown(int key);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void Refresh(int caret, bool notify);
    void DeleteSelectionOrAt(bool backspace);

    MaskEngine m_engine;
};
