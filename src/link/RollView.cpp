#include "link/RollView.h"

#include "link/Ats.h"
#include "platform/Codec.h"

#include <QApplication>
#include <QFocusEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

RollView::RollView(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (m_autoScroll) ScrollToEnd();
    });
}

void RollView::InsertAtEnd(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.insertText(t);
    if (m_autoScroll) setTextCursor(c);
}

void RollView::AppendLine(const QString& line) { appendPlainText(line); }

void RollView::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void RollView::focusInEvent(QFocusEvent* e) {
    QPlainTextEdit::focusInEvent(e);
    emit entered();
}

void RollView::focusOutEvent(QFocusEvent* e) {
    QPlainTextEdit::focusOutEvent(e);
    emit exited();
}

void RollView::resizeEvent(QResizeEvent* e) {
    QPlainTextEdit::resizeEvent(e);
    ScrollToEnd();
}

void TFLoad(RollView& view, TAts& ats) {
    // Read block by block; a line longer than the line buffer is split at its size.
    constexpr qsizetype kBlock = 32768;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    view.clear();
    QFile f(ats.RollFileName);
    QString all;
    if (f.open(QIODevice::ReadOnly)) {
        QByteArray line;
        line.reserve(kBlock);
        QStringList lines;
        QByteArray block;
        while (!(block = f.read(kBlock)).isEmpty()) {
            for (char ch : block) {
                line.append(ch);
                if (line.size() >= 2 && line.endsWith("\r\n")) {
                    line.chop(2);
                    lines.append(Codec::FromCp1251(line));
                    line.clear();
                } else if (line.size() >= kBlock) {
                    lines.append(Codec::FromCp1251(line));
                    line.clear();
                }
            }
        }
        lines.append(Codec::FromCp1251(line));
        all = lines.join(QLatin1Char('\n'));
    }
    view.setPlainText(all);
    QTextCursor c = view.textCursor();
    c.movePosition(QTextCursor::End);
    view.setTextCursor(c);
    if (ats.RollFile.isOpen()) ats.RollFile.seek(ats.RollFile.size());
    view.ScrollToEnd();
    QApplication::restoreOverrideCursor();
}
