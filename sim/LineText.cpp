#include "LineText.h"

namespace sim {

void DirectiveReader::Reset() {
    m_active = false;
    m_prevZero = false;
    m_text.clear();
}

void DirectiveReader::Start(uint8_t reg) {
    m_active = true;
    m_reg = reg;
    m_text.clear();
}

DirectiveReader::Event DirectiveReader::Feed(uint8_t code) {
    code &= 31;
    const bool prevZero = m_prevZero;
    m_prevZero = code == LineCode::kRussian;
    if (!m_active) {
        if (code != LineCode::kRussian) return Event::None;
        Start(LineCode::kLatin);
        return Event::Started;
    }
    switch (code) {
    case LineCode::kRussian:
        if (prevZero && !m_text.isEmpty()) {
            // The previous 0 led a new directive and this one is its switch
            // to the Russian register.
            m_done = m_text;
            Start(LineCode::kRussian);
            return Event::Abandoned;
        }
        m_reg = code;
        return Event::None;
    case LineCode::kFigures:
    case LineCode::kLatin:
        m_reg = code;
        return Event::None;
    case LineCode::kLineFeed:
    case LineCode::kCarriageReturn:
        return Event::None;
    case LineCode::kSpace:
        m_text += QLatin1Char('_');
        break;
    default: {
        const QChar c = LineCode::CharOf(code, m_reg);
        if (c.isNull()) return Event::None;
        m_text += c;
        if (c == QLatin1Char('-')) {
            m_done = m_text;
            Reset();
            return Event::Complete;
        }
    }
    }
    if (m_text.size() >= kMaxLength) {
        m_done = m_text;
        Reset();
        return Event::Abandoned;
    }
    return Event::None;
}

void Printer::Print(const QString& text, std::vector<uint8_t>& out) {
    for (QChar c : text) {
        if (c == QLatin1Char('\n')) {
            out.push_back(LineCode::kLineFeed);
            out.push_back(LineCode::kCarriageReturn);
            continue;
        }
        uint8_t reg = 0, code = 0;
        if (!LineCode::Lookup(c, reg, code)) continue;
        if (reg != 0xFF && reg != m_reg) {
            out.push_back(reg);
            m_reg = reg;
        }
        out.push_back(code);
    }
}

bool Printer::Printable(const QString& text) {
    for (QChar c : text) {
        uint8_t reg = 0, code = 0;
        if (c != QLatin1Char('\n') && !LineCode::Lookup(c, reg, code)) return false;
    }
    return true;
}

} // namespace sim
