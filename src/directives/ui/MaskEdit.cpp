#include "directives/ui/MaskEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>

MaskEdit::MaskEdit(QWidget* parent) : QLineEdit(parent) {
    setDragEnabled(false);
    setAcceptDrops(false);
}

void MaskEdit::Refresh(int caret, bool notify) {
    const QString before = QLineEdit::text();
    const QString shown = m_engine.EditText();
    setMaxLength(std::max(1, m_engine.Length()));
    if (before != shown) QLineEdit::setText(shown);
    setCursorPosition(std::clamp(caret, 0, m_engine.Length()));
    if (notify) emit changed();
}

void MaskEdit::SetEditMask(const QString& mask) {
    m_engine.SetMask(mask);
    Refresh(0, true);
}

void MaskEdit::SetText(const QString& text) {
    m_engine.SetText(text);
    Refresh(m_engine.Length(), true);
}

void MaskEdit::SetCaretPos(int pos) {
    setCursorPosition(std::clamp(pos, 0, m_engine.Length()));
}

bool MaskEdit::TypeChar(QChar ch) {
    int from = -1;
    if (hasSelectedText()) {
        from = selectionStart();
        m_engine.ClearRange(from, from + int(selectedText().size()));
        setCursorPosition(from);
    }
    const auto caret = m_engine.Type(cursorPosition(), ch);
    if (!caret) {
        // The selection is gone even when the character is refused.
        if (from >= 0) Refresh(from, true);
        return false;
    }
    Refresh(*caret, true);
    return true;
}

void MaskEdit::PasteText(const QString& text) {
    for (const QChar c : text) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) break;
        TypeChar(c);
    }
}

void MaskEdit::DeleteSelectionOrAt(bool backspace) {
    if (hasSelectedText()) {
        const int from = selectionStart();
        m_engine.ClearRange(from, from + int(selectedText().size()));
        Refresh(from, true);
        return;
    }
    const int pos = cursorPosition();
    if (backspace) {
        Refresh(m_engine.Backspace(pos), true);
    } else {
        m_engine.ClearRange(pos, pos + 1);
        Refresh(pos, true);
    }
}

void MaskEdit::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_F5:
        emit keyDown(e->key());
        return;
    case Qt::Key_Backspace:
        DeleteSelectionOrAt(true);
        return;
    case Qt::Key_Delete:
        DeleteSelectionOrAt(false);
        return;
    default:
        break;
    }
    // Caret movement, selection and copying leave the text as it is.
    static const QKeySequence::StandardKey passThrough[] = {
        QKeySequence::MoveToNextChar,     QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextWord,     QKeySequence::MoveToPreviousWord,
        QKeySequence::MoveToStartOfLine,  QKeySequence::MoveToEndOfLine,
        QKeySequence::MoveToStartOfBlock, QKeySequence::MoveToEndOfBlock,
        QKeySequence::SelectNextChar,     QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextWord,     QKeySequence::SelectPreviousWord,
        QKeySequence::SelectStartOfLine,  QKeySequence::SelectEndOfLine,
        QKeySequence::SelectStartOfBlock, QKeySequence::SelectEndOfBlock,
        QKeySequence::SelectAll,          QKeySequence::Copy};
    for (const auto k : passThrough) {
        if (e->matches(k)) {
            QLineEdit::keyPressEvent(e);
            return;
        }
    }
    if (e->matches(QKeySequence::Paste)) {
        PasteText(QApplication::clipboard()->text());
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        if (hasSelectedText()) {
            QApplication::clipboard()->setText(selectedText());
            DeleteSelectionOrAt(false);
        }
        return;
    }
    const QString t = e->text();
    const bool plain =
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && !t.isEmpty() && t.at(0).isPrint()) {
        for (const QChar c : t)
            TypeChar(c);
        return;
    }
    // Anything else is not ours: let the window see it.
    e->ignore();
}

void MaskEdit::inputMethodEvent(QInputMethodEvent* e) {
    PasteText(e->commitString());
    e->accept();
}

void MaskEdit::mousePressEvent(QMouseEvent* e) {
    QLineEdit::mousePressEvent(e);
    // In a blank field a position to the right of the first would leave the
    // first letters blank (and the layout correction unapplied), one past
    // the end would swallow the typing.
    if (e->button() == Qt::LeftButton && !(e->modifiers() & Qt::ShiftModifier) &&
        m_engine.IsBlank())
        setCursorPosition(m_engine.NextInput(0));
}

void MaskEdit::focusInEvent(QFocusEvent* e) {
    QLineEdit::focusInEvent(e);
    // Tab and shortcuts select all in the base class already.
    if (e->reason() == Qt::OtherFocusReason) selectAll();
}

void MaskEdit::mouseReleaseEvent(QMouseEvent* e) {
    // The middle-button paste of the base class would bypass the mask.
    if (e->button() == Qt::MiddleButton) {
        PasteText(QApplication::clipboard()->text(QClipboard::Selection));
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

void MaskEdit::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Копировать"));
    copy->setEnabled(hasSelectedText());
    QAction* paste = menu.addAction(QStringLiteral("Вставить"));
    QAction* clear = menu.addAction(QStringLiteral("Очистить"));
    QAction* chosen = menu.exec(e->globalPos());
    if (chosen == copy) {
        QApplication::clipboard()->setText(selectedText());
    } else if (chosen == paste) {
        PasteText(QApplication::clipboard()->text());
    } else if (chosen == clear) {
        m_engine.Clear();
        Refresh(m_engine.NextInput(0), true);
    }
}
