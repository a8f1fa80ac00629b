#include "directives/DirectiveText.h"

namespace DirectiveText {

const QString kFreeMask = QStringLiteral(">ll_cccccccccccccccccccccc;1;_");

Built Build(const QString& lineText) {
    Built b;
    b.directive.reserve(lineText.size() + 1);
    for (const QChar c : lineText)
        if (c != QLatin1Char(' ')) b.directive += c;
    b.hadDash = lineText.contains(QLatin1Char('-'));
    if (!b.hadDash) b.directive += QLatin1Char('-');
    return b;
}

QChar FirstLetterFix(QChar c) {
    switch (c.toUpper().unicode()) {
    case 'C':
        return QChar(0x0421); // С
    case 'E':
        return QChar(0x0423); // У
    case 'G':
        return QChar(0x041F); // П
    case 'H':
        return QChar(0x0420); // Р
    case 'J':
        return QChar(0x041E); // О
    case 'N':
        return QChar(0x0422); // Т
    case 'P':
        return QChar(0x0417); // З
    case 'R':
        return QChar(0x041A); // К
    case 'U':
        return QChar(0x0413); // Г
    case 'V':
        return QChar(0x041C); // М
    default:
        return QChar();
    }
}

QChar SecondLetterFix(QChar c) {
    switch (c.toUpper().unicode()) {
    case 'B':
        return QChar(0x0418); // И
    case 'C':
        return QChar(0x0421); // С
    case 'D':
        return QChar(0x0412); // В
    case 'G':
        return QChar(0x041F); // П
    case 'J':
        return QChar(0x041E); // О
    case 'K':
        return QChar(0x041B); // Л
    case 'R':
        return QChar(0x041A); // К
    case 'V':
        return QChar(0x041C); // М
    case 'Z':
        return QChar(0x042F); // Я
    default:
        return QChar();
    }
}

std::optional<LayoutFix> CorrectLayout(const QString& lineText) {
    // Only Latin letters are looked up: c.toUpper() of a Cyrillic letter never
    // matches a table entry.
    auto latin = [](QChar c) { return c.unicode() < 0x80; };
    QString text = lineText;
    std::optional<LayoutFix> fix;
    if (!text.isEmpty() && latin(text[0])) {
        if (const QChar f = FirstLetterFix(text[0]); !f.isNull()) {
            text = QString(f);
            fix = LayoutFix{text, 1};
        }
    }
    if (text.size() >= 2 && latin(text[1])) {
        if (const QChar s = SecondLetterFix(text[1]); !s.isNull()) {
            text = text.left(1) + s;
            fix = LayoutFix{text, 3};
        }
    }
    return fix;
}

} // namespace DirectiveText

void CommandStack::Push(const QString& text) {
    m_items.removeAll(text);
    m_items.prepend(text);
}

void CommandStack::Append(const QString& text) {
    m_items.append(text);
}
