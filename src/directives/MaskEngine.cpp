#include "directives/MaskEngine.h"

namespace {
bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Punctuation that may stand between fields (",", "-", "_", ":", ...).
bool IsSeparator(QChar c) {
    return c.isPrint() && !c.isLetterOrNumber() && c != QLatin1Char(' ');
}
} // namespace

void MaskEngine::SetMask(const QString& mask) {
    m_mask = mask;
    m_slots.clear();
    m_blank = QLatin1Char('_');

    // The mask part ends at the first unescaped ';'.
    int end = int(mask.size());
    for (int i = 0; i < mask.size(); ++i) {
        if (mask[i] == QLatin1Char('\\')) {
            ++i;
            continue;
        }
        if (mask[i] == QLatin1Char(';')) {
            end = i;
            break;
        }
    }
    if (end < mask.size()) {
        const QString tail = mask.mid(end + 1);
        const int semi = int(tail.indexOf(QLatin1Char(';')));
        if (semi >= 0 && semi + 1 < tail.size()) m_blank = tail.at(semi + 1);
    }

    Case mode = Case::Keep;
    for (int i = 0; i < end; ++i) {
        const QChar c = mask[i];
        Slot s;
        s.caseMode = mode;
        switch (c.unicode()) {
        case '>':
            mode = Case::Upper;
            continue;
        case '!':
            continue;
        case '\\':
            if (i + 1 >= end) continue; // a trailing '\' escapes nothing
            s.kind = Kind::Literal;
            s.literal = mask[++i];
            break;
        case 'L':
            s.required = true;
            [[fallthrough]];
        case 'l':
            s.kind = Kind::Letter;
            break;
        case 'A':
            s.required = true;
            [[fallthrough]];
        case 'a':
            s.kind = Kind::AlphaNum;
            break;
        case 'C':
            s.required = true;
            [[fallthrough]];
        case 'c':
            s.kind = Kind::Any;
            break;
        case '0':
            s.required = true;
            [[fallthrough]];
        case '9':
            s.kind = Kind::Digit;
            break;
        case 'H':
            s.required = true;
            [[fallthrough]];
        case 'h':
            s.kind = Kind::Hex;
            break;
        default:
            s.kind = Kind::Literal;
            s.literal = c;
            break;
        }
        m_slots.push_back(s);
    }
}

bool MaskEngine::IsLiteral(int pos) const {
    return pos >= 0 && pos < Length() && m_slots[size_t(pos)].kind == Kind::Literal;
}

QString MaskEngine::Text() const {
    QString out;
    out.reserve(Length());
    for (const Slot& s : m_slots) {
        if (s.kind == Kind::Literal) {
            out += s.literal;
        } else {
            out += s.value.isNull() ? QChar(QLatin1Char(' ')) : s.value;
        }
    }
    return out;
}

QString MaskEngine::EditText() const {
    QString out;
    out.reserve(Length());
    for (const Slot& s : m_slots) {
        if (s.kind == Kind::Literal)
            out += s.literal;
        else
            out += s.value.isNull() ? m_blank : s.value;
    }
    return out;
}

QString MaskEngine::NumberText() const {
    QString out = Text();
    for (int p = 0; p < Length();) {
        if (m_slots[size_t(p)].kind != Kind::Hex) {
            ++p;
            continue;
        }
        const int from = p;
        QString digits;
        for (; p < Length() && m_slots[size_t(p)].kind == Kind::Hex; ++p)
            if (!m_slots[size_t(p)].value.isNull()) digits += m_slots[size_t(p)].value;
        if (!digits.isEmpty())
            out.replace(from, p - from, digits.rightJustified(p - from, QLatin1Char('0')));
    }
    return out;
}

void MaskEngine::Clear() {
    for (Slot& s : m_slots)
        s.value = QChar();
}

bool MaskEngine::IsComplete() const {
    for (const Slot& s : m_slots)
        if (s.required && s.value.isNull()) return false;
    return true;
}

bool MaskEngine::IsBlank() const {
    for (const Slot& s : m_slots)
        if (s.kind != Kind::Literal && !s.value.isNull()) return false;
    return true;
}

int MaskEngine::NextInput(int pos) const {
    if (pos < 0) pos = 0;
    while (pos < Length() && IsLiteral(pos))
        ++pos;
    return std::min(pos, Length());
}

int MaskEngine::PrevInput(int pos) const {
    pos = std::min(pos, Length()) - 1;
    while (pos >= 0 && IsLiteral(pos))
        --pos;
    return pos;
}

QChar MaskEngine::Convert(int pos, QChar ch) const {
    if (pos < 0 || pos >= Length()) return ch;
    switch (m_slots[size_t(pos)].caseMode) {
    case Case::Upper:
        return ch.toUpper();
    case Case::Keep:
        break;
    }
    return ch;
}

bool MaskEngine::Accepts(int pos, QChar ch) const {
    if (pos < 0 || pos >= Length() || ch.isNull()) return false;
    const Slot& s = m_slots[size_t(pos)];
    switch (s.kind) {
    case Kind::Literal:
        return false;
    case Kind::Letter:
        return ch.isLetter();
    case Kind::AlphaNum:
        return ch.isLetter() || IsAsciiDigit(ch);
    case Kind::Any:
        return ch.isPrint() && ch != QLatin1Char(' ');
    case Kind::Digit:
        return IsAsciiDigit(ch);
    case Kind::Hex:
        return IsAsciiDigit(ch) || (ch >= QLatin1Char('A') && ch <= QLatin1Char('F')) ||
               (ch >= QLatin1Char('a') && ch <= QLatin1Char('f'));
    }
    return false;
}

int MaskEngine::LiteralAhead(int pos, QChar ch) const {
    for (int p = pos; p < Length(); ++p)
        if (IsLiteral(p)) return m_slots[size_t(p)].literal == ch ? p : -1;
    return -1;
}

void MaskEngine::SetText(const QString& text) {
    Clear();
    int p = 0;
    for (int i = 0; i < text.size() && p < Length();) {
        const QChar ch = text[i];
        Slot& s = m_slots[size_t(p)];
        if (s.kind == Kind::Literal) {
            if (ch == s.literal) ++i; // the text carries the literal itself
            ++p;
            continue;
        }
        const int lit = LiteralAhead(p, ch);
        if (ch == QLatin1Char(' ') || (ch == m_blank && lit < 0)) {
            ++i;
            ++p;
            continue;
        }
        const QChar c = Convert(p, ch);
        if (Accepts(p, c) && !(ch == m_blank && lit >= 0)) {
            s.value = c;
            ++i;
            ++p;
        } else if (lit >= 0) {
            p = lit; // leave the positions before that literal blank
        } else {
            ++i; // no place for it
        }
    }
}

std::optional<int> MaskEngine::Type(int caret, QChar ch) {
    if (caret < 0) caret = 0;
    if (IsLiteral(caret) && m_slots[size_t(caret)].literal == ch) return NextInput(caret + 1);
    // The caret passes over literals by itself; an operator who types the
    // separator all the same ("МВ_", "400000,") must not get it in the next
    // field.
    const bool separator = IsSeparator(ch);
    if (separator && IsLiteral(caret - 1) && m_slots[size_t(caret - 1)].literal == ch &&
        caret < Length() && m_slots[size_t(caret)].value.isNull())
        return caret;
    // In a template's parameter field a separator equal to the literal that
    // closes the field ends it: its rest stays blank ("4000,7FFF" in
    // "cccccc,cccccc"). Fields of digits or letters keep refusing it.
    if (separator && ch != m_blank && caret < Length() &&
        m_slots[size_t(caret)].kind == Kind::Any) {
        const int lit = LiteralAhead(caret, ch);
        if (lit >= 0) {
            ClearRange(caret, lit);
            return NextInput(lit + 1);
        }
    }
    const int q = NextInput(caret);
    if (q >= Length()) return std::nullopt;
    // The blank character is a blank, as it reads back after SetText.
    if (ch == QLatin1Char(' ') || ch == m_blank) {
        m_slots[size_t(q)].value = QChar();
        return NextInput(q + 1);
    }
    const QChar c = Convert(q, ch);
    if (!Accepts(q, c)) return std::nullopt;
    m_slots[size_t(q)].value = c;
    return NextInput(q + 1);
}

int MaskEngine::Backspace(int caret) {
    const int q = PrevInput(caret);
    if (q < 0) return caret;
    m_slots[size_t(q)].value = QChar();
    return q;
}

void MaskEngine::ClearRange(int from, int to) {
    from = std::max(from, 0);
    to = std::min(to, Length());
    for (int p = from; p < to; ++p)
        if (!IsLiteral(p)) m_slots[size_t(p)].value = QChar();
}
