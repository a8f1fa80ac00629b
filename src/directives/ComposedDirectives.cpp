#include "directives/ComposedDirectives.h"

#include "link/Notation.h"

#include <algorithm>

namespace ComposedDirectives {

namespace {
const QString kTail = QStringLiteral("\\-;1;_");

// The block digit as a literal of the mask, nothing for block 0.
QString BlockLiteral(int block) {
    return block == 0 ? QString() : QStringLiteral("\\") + QString::number(block);
}
} // namespace

Template Memory(MemoryButton which, int block) {
    block = std::clamp(block, 0, 6);
    const QString b = BlockLiteral(block);
    const int caret = block == 0 ? 3 : 4;
    const QString five = QStringLiteral("ccccc");
    switch (which) {
    case MemoryButton::PrintCell:
        return {QStringLiteral(">РЯ_") + b + five + kTail, caret};
    case MemoryButton::PrintArray:
        // Both ends of the range lie in the chosen block.
        return {QStringLiteral(">РМ_") + b + five + QLatin1Char(',') + b + five + kTail, caret};
    case MemoryButton::WriteCell:
        return {QStringLiteral(">ЗЯ_") + b + five + QLatin1Char(',') + five + kTail, caret};
    case MemoryButton::WriteArray:
        return {QStringLiteral(">ЗМ_") + b + five + QLatin1Char(',') + b + five + kTail, caret};
    }
    return {};
}

Template SwitchDiagnosticsOO(int k) {
    k = std::clamp(k, 0, 5);
    return {QStringLiteral(">ТО_\\1\\1,\\") + QString::number(k) + QStringLiteral(",,cc,c-;1;_"),
            9};
}

Template SwitchDiagnosticsTO(int k) {
    k = std::clamp(k, 0, 5);
    return {QStringLiteral(">ТО_\\1\\1,\\") + QString::number(k) + QStringLiteral(",c,cc,c-;1;_"),
            8};
}

std::optional<QString> UnblockKit(const QString& lineNumber) {
    uint n = 0;
    int digits = 0;
    for (const QChar c : lineNumber) {
        if (c == QLatin1Char(' ')) continue;
        const int d = QStringLiteral("0123456789ABCDEF").indexOf(c.toUpper());
        if (d < 0) return std::nullopt;
        n = n * 16 + uint(d);
        // The dialog takes three characters; a longer number is no line number.
        if (++digits > 3) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    return QStringLiteral("ЗЯ_") + ValueToVarnel(uint16_t(n + 5632)) + QStringLiteral(",00000");
}

QString ClockSetting(const QDateTime& t, bool fourDigitYear) {
    return QStringLiteral("КВ_") + t.toString(fourDigitYear ? QStringLiteral("hh,mm,dd,MM,yyyy")
                                                            : QStringLiteral("hh,mm,dd,MM,yy"));
}

IndexedWrite::IndexedWrite(const BlockParams& p, int block)
    : m_address(ReadVarnel(p.first)), m_last(ReadVarnel(p.last)), m_step(ReadVarnel(p.step)),
      m_increment(ReadVarnel(p.increment)), m_value(ReadVarnel(p.value)),
      m_block(std::clamp(block, 0, 6)) {
    if (m_address > m_last) m_last += m_address;
    m_last = std::min(m_last, 0xFFFF);
}

std::optional<QString> IndexedWrite::Next() {
    if (m_address > m_last) return std::nullopt;
    QString d = QStringLiteral("ЗЯ_");
    if (m_block != 0) d += QString::number(m_block);
    d += ValueToVarnel(uint16_t(m_address)) + QLatin1Char(',') +
         ValueToVarnel(uint16_t(m_value & 0xFFFF)) + QLatin1Char('-');
    m_address += m_step;
    // Values are 16-bit cells: the increment wraps round.
    m_value = (m_value + m_increment) & 0xFFFF;
    return d;
}

} // namespace ComposedDirectives
