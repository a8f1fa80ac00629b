#include "console/DirectiveEntry.h"

#include "app/Terminal.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

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

DirectiveEntry::~DirectiveEntry() {
    if (m_busyCursor) QApplication::restoreOverrideCursor();
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
    TAts* ats = m_term.Current();
    if (ats) ats->SendDirective(b.directive);
    // The whole line selected: typing starts a new directive, Enter sends
    // this one again.
    m_edit->setFocus();
    m_edit->selectAll();
    // Normal mode: until the paced queue has drained, or Esc (the bytes then
    // go on in the background). Duplex: until sent or dropped. The hourglass
    // shows while the line sends (only where there is a screen).
    if (ats && ats->IsSending() && !m_busyCursor &&
        qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_busyCursor = true;
    }
    if (ats)
        m_lineWait.ForLine(*ats, !ats->Duplex(), [this](StepWait::End) { EndLineWait(); });
    else
        m_lineWait.Stop();
    if (!ats) QMetaObject::invokeMethod(this, &DirectiveEntry::EndLineWait, Qt::QueuedConnection);
}

void DirectiveEntry::EndLineWait() {
    if (m_lineWait.Active()) return; // a later directive's wait goes on
    if (m_busyCursor) {
        QApplication::restoreOverrideCursor();
        m_busyCursor = false;
    }
    emit lineFree();
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
