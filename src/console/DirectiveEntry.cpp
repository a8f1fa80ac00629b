#include "console/DirectiveEntry.h"

#include "app/Terminal.h"
#include "console/MaskEdit.h"
#include "link/Ats.h"
#include "platform/Wait.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>

namespace {
// Hourglass cursor for the life of a wait (only where there is a screen).
struct BusyCursor {
    bool on = false;
    BusyCursor() {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            on = true;
        }
    }
    ~BusyCursor() {
        if (on) QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
} // namespace

void WaitForLine(TAts& ats, bool escEnds) {
    if (!ats.IsSending()) return;
    BusyCursor busy;
    const QPointer<TAts> alive(&ats);
    WaitWhile([&] { return alive && alive->IsSending(); }, escEnds);
}

DirectiveEntry::DirectiveEntry(Terminal& term, MaskEdit* edit, QComboBox* stack, QObject* parent)
    : QObject(parent), m_term(term), m_edit(edit), m_stackBox(stack) {
    m_edit->SetEditMask(DirectiveText::kFreeMask);
    connect(m_edit, &MaskEdit::changed, this, &DirectiveEntry::TextChanged);
    connect(m_edit, &MaskEdit::keyDown, this, &DirectiveEntry::KeyDown);
    if (m_stackBox) {
        m_stackBox->setEditable(true);
        m_stackBox->setInsertPolicy(QComboBox::NoInsert);
        if (m_stackBox->lineEdit()) m_stackBox->lineEdit()->setMaxLength(kStackTextLength);
        connect(m_stackBox, &QComboBox::activated, this, &DirectiveEntry::StackSelected);
    }
}

void DirectiveEntry::Reset() {
    m_edit->SetEditMask(DirectiveText::kFreeMask);
    m_edit->SetText(QString(DirectiveText::kLineLength, QLatin1Char('_')));
    m_edit->setFocus();
    m_edit->SetCaretPos(0);
}

void DirectiveEntry::PrepareTemplate(const QString& mask, int caret) {
    Reset();
    m_edit->SetEditMask(mask);
    m_edit->setFocus();
    m_edit->SetCaretPos(caret);
}

void DirectiveEntry::Execute() {
    const DirectiveText::Built b = DirectiveText::Build(m_edit->Text());
    if (!b.hadDash) m_edit->SetText(b.directive);
    // Unfilled positions at the end read as spaces; the stack keeps the text
    // without them so that equal directives compare equal.
    QString again = m_edit->Text();
    while (again.endsWith(QLatin1Char(' ')))
        again.chop(1);
    if (!again.isEmpty()) {
        m_stack.Push(again);
        SyncStack();
    }
    emit executing(b.directive);
    if (TAts* current = m_term.Current()) {
        TAts& ats = *current;
        ats.SendDirective(b.directive);
        // Normal mode: until the paced queue has drained, or Esc (the bytes
        // then go on in the background). Duplex: until sent or dropped.
        WaitForLine(ats, !m_term.Link().DuplexMode);
    }
    // The whole line selected: typing starts a new directive, Enter sends
    // this one again.
    m_edit->setFocus();
    m_edit->selectAll();
}

void DirectiveEntry::SendFixed(const QString& text) {
    Reset();
    m_edit->SetText(text);
    Execute();
}

void DirectiveEntry::AppendToStack() {
    QString text = m_edit->Text();
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    m_stack.Append(text);
    SyncStack();
}

void DirectiveEntry::StackSelected(int index) {
    if (index < 0 || index >= m_stack.Count()) return;
    const QString text = m_stack.Items().at(index);
    Reset();
    m_edit->SetText(text);
    m_edit->setFocus();
}

void DirectiveEntry::KeyDown(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Execute();
        break;
    case Qt::Key_Escape:
        Reset();
        break;
    case Qt::Key_F5:
        AppendToStack();
        break;
    default:
        break;
    }
}

void DirectiveEntry::TextChanged() {
    // Setting the corrected text runs this again; Cyrillic matches nothing,
    // so it ends there.
    if (const auto fix = DirectiveText::CorrectLayout(m_edit->Text())) {
        m_edit->SetText(fix->text);
        m_edit->SetCaretPos(fix->caret);
    }
}

void DirectiveEntry::SyncStack() {
    if (!m_stackBox) return;
    const QSignalBlocker block(m_stackBox);
    m_stackBox->clear();
    m_stackBox->addItems(m_stack.Items());
    m_stackBox->setCurrentIndex(-1);
    m_stackBox->setEditText(QString());
}
