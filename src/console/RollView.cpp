#include "console/RollView.h"

#include "platform/Codec.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstring>

// ---------------------------------------------------------------- RollText

RollText::RollText() {
    Clear();
}

void RollText::Clear() {
    m_data = QByteArray();
    m_starts.assign(1, 0);
    m_maxLen = 0;
    m_pendingCR = false;
}

void RollText::Reserve(qsizetype bytes) {
    if (bytes > m_data.capacity()) m_data.reserve(bytes);
}

qsizetype RollText::LineLength(qsizetype i) const {
    const qsizetype end =
        size_t(i + 1) < m_starts.size() ? qsizetype(m_starts[size_t(i + 1)]) : m_data.size();
    return end - qsizetype(m_starts[size_t(i)]);
}

void RollText::NewLine() {
    m_starts.push_back(m_data.size());
}

void RollText::AppendToLastLine(const char* data, qsizetype size) {
    while (size > 0) {
        qsizetype cur = m_data.size() - qsizetype(m_starts.back());
        if (cur >= kMaxLine) {
            NewLine();
            cur = 0;
        }
        const qsizetype take = std::min(size, kMaxLine - cur);
        m_data.append(data, take);
        data += take;
        size -= take;
        m_maxLen = std::max(m_maxLen, cur + take);
    }
}

void RollText::AppendFileBytes(const char* p, qsizetype size) {
    const char* end = p + size;
    while (p < end) {
        if (m_pendingCR) {
            m_pendingCR = false;
            if (*p == '\n') {
                NewLine();
                ++p;
                continue;
            }
            AppendToLastLine("\r", 1);
        }
        const auto* cr = static_cast<const char*>(std::memchr(p, '\r', size_t(end - p)));
        if (!cr) {
            AppendToLastLine(p, end - p);
            break;
        }
        AppendToLastLine(p, cr - p);
        m_pendingCR = true;
        p = cr + 1;
    }
}

void RollText::Finish() {
    if (!m_pendingCR) return;
    m_pendingCR = false;
    AppendToLastLine("\r", 1);
}

// ---------------------------------------------------------------- RollView

namespace {
constexpr int kMargin = 4;
}

RollView::RollView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_fixedPitch = QFontInfo(font()).fixedPitch();
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    UpdateScrollBars();
}

void RollView::InsertAtEnd(const QString& text) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype nl = text.indexOf(QLatin1Char('\n'), start);
        QString seg = text.mid(start, nl < 0 ? -1 : nl - start);
        seg.remove(QLatin1Char('\r'));
        const QByteArray bytes = Codec::ToCp1251(seg);
        m_text.AppendToLastLine(bytes.constData(), bytes.size());
        if (nl < 0) break;
        m_text.NewLine();
        start = nl + 1;
    }
    // While the operator works inside the view, the caret and selection stay.
    if (m_autoScroll) m_caret = m_anchor = EndPos();
    TextChanged();
}

void RollView::AppendLine(const QString& line) {
    if (!m_text.IsEmpty()) m_text.NewLine();
    InsertAtEnd(line);
}

void RollView::clear() {
    m_text.Clear();
    m_caret = m_anchor = Pos{};
    TextChanged();
}

void RollView::BeginLoad(qint64 sizeHint) {
    m_text.Clear();
    m_caret = m_anchor = Pos{};
    if (sizeHint > 0) m_text.Reserve(qsizetype(sizeHint));
}

void RollView::LoadBytes(const char* data, qsizetype size) {
    m_text.AppendFileBytes(data, size);
}

void RollView::EndLoad() {
    m_text.Finish();
    m_caret = m_anchor = EndPos();
    UpdateScrollBars();
    ScrollToEnd();
    viewport()->update();
}

void RollView::TextChanged() {
    UpdateScrollBars();
    if (m_autoScroll) ScrollToEnd();
    viewport()->update();
}

void RollView::ScrollToEnd() {
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

QString RollView::Line(int i) const {
    if (i < 0 || i >= LineCount()) return QString();
    return Codec::FromCp1251(m_text.LineData(i), m_text.LineLength(i));
}

QString RollView::Text() const {
    QString out;
    out.reserve(m_text.ByteCount() + m_text.LineCount());
    for (qsizetype i = 0; i < m_text.LineCount(); ++i) {
        if (i) out += QLatin1Char('\n');
        out += Codec::FromCp1251(m_text.LineData(i), m_text.LineLength(i));
    }
    return out;
}

RollView::Pos RollView::EndPos() const {
    const int last = LineCount() - 1;
    return Pos{last, int(m_text.LineLength(last))};
}

void RollView::MoveCaretToEnd() {
    MoveCaret(EndPos(), false);
}

void RollView::SelectAll() {
    m_anchor = Pos{};
    m_caret = EndPos();
    viewport()->update();
}

QString RollView::SelectedText() const {
    if (m_anchor == m_caret) return QString();
    const Pos s = std::min(m_anchor, m_caret);
    const Pos e = std::max(m_anchor, m_caret);
    QString out;
    for (int i = s.line; i <= e.line; ++i) {
        const int from = i == s.line ? s.col : 0;
        const int to = i == e.line ? e.col : int(m_text.LineLength(i));
        if (i != s.line) out += QLatin1Char('\n');
        out += Codec::FromCp1251(m_text.LineData(i) + from, to - from);
    }
    return out;
}

void RollView::CopySelection() const {
    const QString s = SelectedText();
    if (!s.isEmpty() && QGuiApplication::clipboard()) QGuiApplication::clipboard()->setText(s);
}

int RollView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int RollView::CharWidth() const {
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('M')));
}

int RollView::TopLine() const {
    return verticalScrollBar()->value();
}

int RollView::VisibleLines() const {
    return std::max(1, viewport()->height() / LineHeight());
}

QString RollView::DisplayText(int line, int from, int count) const {
    const int len = int(m_text.LineLength(line));
    from = std::clamp(from, 0, len);
    count = std::clamp(count, 0, len - from);
    QString s = Codec::FromCp1251(m_text.LineData(line) + from, count);
    for (QChar& c : s)
        if (c.unicode() < 0x20) c = QLatin1Char(' ');
    return s;
}

int RollView::XOf(int line, int col) const {
    if (m_fixedPitch) return col * CharWidth();
    return fontMetrics().horizontalAdvance(DisplayText(line, 0, col));
}

RollView::Pos RollView::PosAt(const QPoint& p) const {
    Pos pos;
    pos.line = std::clamp(TopLine() + (p.y() < 0 ? -1 : p.y() / LineHeight()), 0, LineCount() - 1);
    const int len = int(m_text.LineLength(pos.line));
    const int x = p.x() + horizontalScrollBar()->value() - kMargin;
    if (m_fixedPitch) {
        const int cw = CharWidth();
        pos.col = std::clamp((x + cw / 2) / cw, 0, len);
        return pos;
    }
    const QFontMetrics fm = fontMetrics();
    const QString s = DisplayText(pos.line, 0, len);
    int acc = 0;
    pos.col = len;
    for (int i = 0; i < len; ++i) {
        const int w = fm.horizontalAdvance(s[i]);
        if (x < acc + w / 2) {
            pos.col = i;
            break;
        }
        acc += w;
    }
    return pos;
}

void RollView::UpdateScrollBars() {
    const int vis = VisibleLines();
    QScrollBar* v = verticalScrollBar();
    v->setPageStep(vis);
    v->setRange(0, std::max(0, LineCount() - vis));
    QScrollBar* h = horizontalScrollBar();
    const qint64 width = qint64(m_text.MaxLineLength()) * CharWidth() + 2 * kMargin;
    h->setSingleStep(CharWidth());
    h->setPageStep(std::max(1, viewport()->width()));
    h->setRange(0, int(std::clamp<qint64>(width - viewport()->width(), 0, INT_MAX / 2)));
}

void RollView::EnsureCaretVisible() {
    QScrollBar* v = verticalScrollBar();
    const int vis = VisibleLines();
    if (m_caret.line < v->value())
        v->setValue(m_caret.line);
    else if (m_caret.line >= v->value() + vis)
        v->setValue(m_caret.line - vis + 1);
    QScrollBar* h = horizontalScrollBar();
    const int x = XOf(m_caret.line, m_caret.col);
    const int room = std::max(1, viewport()->width() - 2 * kMargin);
    if (x < h->value())
        h->setValue(x);
    else if (x > h->value() + room)
        h->setValue(x - room);
}

void RollView::MoveCaret(Pos to, bool keepAnchor) {
    to.line = std::clamp(to.line, 0, LineCount() - 1);
    to.col = std::clamp(to.col, 0, int(m_text.LineLength(to.line)));
    m_caret = to;
    if (!keepAnchor) m_anchor = to;
    EnsureCaretVisible();
    viewport()->update();
}

void RollView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const QPalette& pal = palette();
    const QFontMetrics fm = fontMetrics();
    const int lh = LineHeight();
    const int cw = CharWidth();
    const int hs = horizontalScrollBar()->value();
    const int top = TopLine();
    const int rows = viewport()->height() / lh + 2;
    const int width = viewport()->width();
    const bool hasSel = !(m_anchor == m_caret);
    const Pos s = std::min(m_anchor, m_caret);
    const Pos e = std::max(m_anchor, m_caret);

    for (int r = 0; r < rows; ++r) {
        const int i = top + r;
        if (i >= LineCount()) break;
        const int y = r * lh;
        const int len = int(m_text.LineLength(i));
        int from = 0;
        int count = len;
        if (m_fixedPitch) {
            from = std::min(len, hs / cw);
            count = width / cw + 2;
        }
        const QString text = DisplayText(i, from, count);
        const int x = kMargin + (m_fixedPitch ? from * cw : 0) - hs;
        p.setPen(pal.color(QPalette::Text));
        p.drawText(x, y + fm.ascent(), text);
        if (hasSel && i >= s.line && i <= e.line) {
            const int c0 = i == s.line ? s.col : 0;
            const int c1 = i == e.line ? e.col : len;
            const int x0 = kMargin + XOf(i, c0) - hs;
            const int x1 = kMargin + XOf(i, c1) - hs + (i == e.line ? 0 : cw / 2);
            const QRect sel(x0, y, std::max(1, x1 - x0), lh);
            p.fillRect(sel, pal.color(QPalette::Highlight));
            p.save();
            p.setClipRect(sel);
            p.setPen(pal.color(QPalette::HighlightedText));
            p.drawText(x, y + fm.ascent(), text);
            p.restore();
        }
    }
    if (hasFocus() && m_caret.line >= top && m_caret.line < top + rows) {
        const int x = kMargin + XOf(m_caret.line, m_caret.col) - hs;
        p.fillRect(x, (m_caret.line - top) * lh, 1, lh, pal.color(QPalette::Text));
    }
}

void RollView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollBars();
    if (m_autoScroll) ScrollToEnd();
}

void RollView::changeEvent(QEvent* e) {
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        m_fixedPitch = QFontInfo(font()).fixedPitch();
        UpdateScrollBars();
        if (m_autoScroll) ScrollToEnd();
        viewport()->update();
    }
}

void RollView::scrollContentsBy(int, int) {
    viewport()->update();
}

void RollView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
    emit entered();
}

void RollView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
    emit exited();
}

void RollView::keyPressEvent(QKeyEvent* e) {
    if (e == QKeySequence::Copy) {
        CopySelection();
        return;
    }
    if (e == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    Pos to = m_caret;
    switch (e->key()) {
    case Qt::Key_Up:
        to.line -= 1;
        break;
    case Qt::Key_Down:
        to.line += 1;
        break;
    case Qt::Key_PageUp:
        to.line -= VisibleLines();
        break;
    case Qt::Key_PageDown:
        to.line += VisibleLines();
        break;
    case Qt::Key_Left:
        if (to.col > 0) {
            to.col -= 1;
        } else if (to.line > 0) {
            to.line -= 1;
            to.col = int(m_text.LineLength(to.line));
        }
        break;
    case Qt::Key_Right:
        if (to.col < m_text.LineLength(to.line)) {
            to.col += 1;
        } else if (to.line + 1 < LineCount()) {
            to.line += 1;
            to.col = 0;
        }
        break;
    case Qt::Key_Home:
        to = ctrl ? Pos{} : Pos{to.line, 0};
        break;
    case Qt::Key_End:
        to = ctrl ? EndPos() : Pos{to.line, int(m_text.LineLength(to.line))};
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    to.line = std::clamp(to.line, 0, LineCount() - 1);
    MoveCaret(to, shift);
}

void RollView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(e);
    MoveCaret(PosAt(e->position().toPoint()), e->modifiers() & Qt::ShiftModifier);
}

void RollView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return QAbstractScrollArea::mouseMoveEvent(e);
    MoveCaret(PosAt(e->position().toPoint()), true);
}

void RollView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QAbstractScrollArea::mouseDoubleClickEvent(e);
    // Selects the run of non-blank characters under the pointer.
    const Pos at = PosAt(e->position().toPoint());
    const char* d = m_text.LineData(at.line);
    const int len = int(m_text.LineLength(at.line));
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    int a = at.col, b = at.col;
    while (a > 0 && !blank(d[a - 1]))
        --a;
    while (b < len && !blank(d[b]))
        ++b;
    m_anchor = Pos{at.line, a};
    MoveCaret(Pos{at.line, b}, true);
}

void RollView::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Копировать"));
    copy->setEnabled(!(m_anchor == m_caret));
    connect(copy, &QAction::triggered, this, [this] { CopySelection(); });
    // Actions the window puts on the view (the font choice) follow.
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(e->globalPos());
}

// ---------------------------------------------------------------- TFLoad

void TFLoad(RollView& view, const QString& rollFileName) {
    constexpr qint64 kBlock = 32768;
    const bool gui = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QApplication::setOverrideCursor(Qt::WaitCursor);
    QFile f(rollFileName);
    if (f.open(QIODevice::ReadOnly)) {
        view.BeginLoad(f.size());
        std::vector<char> block(kBlock);
        for (;;) {
            const qint64 n = f.read(block.data(), kBlock);
            if (n <= 0) break; // end, or a read error: keep what was read
            view.LoadBytes(block.data(), n);
        }
    } else {
        view.BeginLoad(0);
    }
    view.EndLoad();
    if (gui) QApplication::restoreOverrideCursor();
}
