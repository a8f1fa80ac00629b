#pragma once
// The roll view: a read-mostly view of the selected exchange's roll. Rolls
// grow without bound, so the view keeps the text as Windows-1251 bytes with a
// line index and paints only the lines on screen. Text is appended at the
// end; the view keeps its last line at the bottom unless the operator is
// working inside it.
#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The lines of a roll: Windows-1251 bytes without line ends, and the offset
// of each line's first byte. There is always at least one (possibly empty)
// line. A line longer than kMaxLine bytes is split into pieces of kMaxLine.
class RollText {
public:
    static constexpr qsizetype kMaxLine = 32768;

    RollText();
    void Clear();
    void Reserve(qsizetype bytes);

    // Roll file bytes: CR LF ends a line; a CR or LF on its own is kept as a
    // character. Blocks may split a CR LF pair; Finish() after the last one.
    void AppendFileBytes(const char* data, qsizetype size);
    void Finish();
    // Bytes added to the last line (no line ends inside).
    void AppendToLastLine(const char* data, qsizetype size);
    void NewLine();

    qsizetype LineCount() const { return qsizetype(m_starts.size()); }
    qsizetype LineLength(qsizetype i) const;
    const char* LineData(qsizetype i) const { return m_data.constData() + m_starts[size_t(i)]; }
    QByteArray LineBytes(qsizetype i) const { return QByteArray(LineData(i), LineLength(i)); }
    qsizetype ByteCount() const { return m_data.size(); }
    qsizetype MaxLineLength() const { return m_maxLen; }
    bool IsEmpty() const { return m_data.isEmpty() && m_starts.size() == 1; }

private:
    QByteArray m_data;
    std::vector<qint64> m_starts;
    qsizetype m_maxLen = 0;
    bool m_pendingCR = false;
};

class RollView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit RollView(QWidget* parent = nullptr);

    // Puts the caret after the last character of the last line and inserts
    // text there. "\r\n" and "\n" start new lines; other CRs are dropped.
    void InsertAtEnd(const QString& text);
    // Appends one line (into the only line when the view is empty).
    void AppendLine(const QString& line);
    // Scrolls so that the last line is at the bottom.
    void ScrollToEnd();
    // Automatic scrolling on change (detached while the operator works inside).
    void SetAutoScroll(bool on) { m_autoScroll = on; }
    void clear();

    // Filling from a roll file, block by block (TFLoad).
    void BeginLoad(qint64 sizeHint);
    void LoadBytes(const char* data, qsizetype size);
    void EndLoad();

    int LineCount() const { return int(m_text.LineCount()); }
    QString Line(int i) const;
    QString LastLine() const { return Line(LineCount() - 1); }
    // The whole text, lines joined by "\n".
    QString Text() const;
    qsizetype ByteCount() const { return m_text.ByteCount(); }

    int CaretLine() const { return m_caret.line; }
    int CaretColumn() const { return m_caret.col; }
    void MoveCaretToEnd();
    QString SelectedText() const;
    void SelectAll();
    // Index of the line at the top of the view, and how many lines fit.
    int TopLine() const;
    int VisibleLines() const;

signals:
    void entered(); // focus in
    void exited();  // focus out

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void changeEvent(QEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Pos {
        int line = 0;
        int col = 0;
        bool operator<(const Pos& o) const { return line != o.line ? line < o.line : col < o.col; }
        bool operator==(const Pos& o) const { return line == o.line && col == o.col; }
    };

    void TextChanged();
    void UpdateScrollBars();
    void EnsureCaretVisible();
    void MoveCaret(Pos to, bool keepAnchor);
    Pos PosAt(const QPoint& p) const;
    Pos EndPos() const;
    int LineHeight() const;
    int CharWidth() const;
    int XOf(int line, int col) const; // document x of a column
    QString DisplayText(int line, int from, int count) const;
    void CopySelection() const;

    RollText m_text;
    Pos m_caret;
    Pos m_anchor;
    bool m_autoScroll = true;
    bool m_fixedPitch = true;
};

// Fills the view from a roll file, block by block (32768 bytes a read); a
// roll that cannot be read leaves the view with what was read.
void TFLoad(RollView& view, const QString& rollFileName);
