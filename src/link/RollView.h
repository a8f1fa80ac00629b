#pragma once
// The roll view: a read-mostly text view of the selected exchange's roll.
// Text is appended at the end; the view keeps its last line at the bottom
// unless the operator is working inside it.
#include <QPlainTextEdit>

class RollView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RollView(QWidget* parent = nullptr);

    // Puts the caret after the last character of the last line and inserts
    // text there (text may hold "\r\n" line breaks).
    void InsertAtEnd(const QString& text);
    // Appends one line.
    void AppendLine(const QString& line);
    // Scrolls so that the last line is at the bottom.
    void ScrollToEnd();
    // Automatic scrolling on change (detached while the operator works inside).
    void SetAutoScroll(bool on) { m_autoScroll = on; }
    bool AutoScroll() const { return m_autoScroll; }

signals:
    void entered(); // focus in
    void exited();  // focus out

protected:
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    bool m_autoScroll = true;
};

class TAts;
// Fills the view from the exchange's roll file, block by block.
void TFLoad(RollView& view, TAts& ats);
