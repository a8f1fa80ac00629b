#include "link/LineCode.h"

#include <array>

namespace {
// Characters of codes 0..31 per register; 0 marks a control code.
constexpr std::array<char16_t, 32> kLatinCol = {
    0,    u'E', 0,    u'A', u' ', u'S', u'I', u'U', 0,    u'D', u'R', u'J', u'N', u'F', u'C', u'K',
    u'T', u'Z', u'L', u'W', u'H', u'Y', u'P', u'Q', u'O', u'B', u'G', 0,    u'M', u'X', u'V', 0};
constexpr std::array<char16_t, 32> kRussianCol = {
    0,    u'Е', 0,    u'А', u' ', u'С', u'И', u'У', 0,    u'Д', u'Р', u'Й', u'Н', u'Ф', u'Ц', u'К',
    u'Т', u'З', u'Л', u'В', u'Х', u'Ы', u'П', u'Я', u'О', u'Б', u'Г', 0,    u'М', u'Ь', u'Ж', 0};
constexpr std::array<char16_t, 32> kFiguresCol = {
    0,    u'3', 0,    u'-', u' ', u'"', u'8', u'7', 0,    u'*', u'4', u'Ю', u',', u'Э', u':', u'(',
    u'5', u'+', u')', u'2', u'Щ', u'6', u'0', u'1', u'9', u'?', u'Ш', 0,    u'.', u'/', u'=', 0};

struct Entry {
    uint8_t reg = 0;
    uint8_t code = 0;
    bool valid = false;
};

// Encoding table over the Unicode range 0..0x44F.
struct EncodeTable {
    std::array<Entry, 0x450> e{};
    EncodeTable() {
        for (uint8_t code = 0; code < 32; ++code) {
            if (code == 4) continue;
            if (char16_t c = kLatinCol[code]) {
                e[c] = {LineCode::kLatin, code, true};
                e[QChar(c).toLower().unicode()] = {LineCode::kLatin, code, true};
            }
            if (char16_t c = kRussianCol[code]) {
                e[c] = {LineCode::kRussian, code, true};
                e[QChar(c).toLower().unicode()] = {LineCode::kRussian, code, true};
            }
            if (char16_t c = kFiguresCol[code]) e[c] = {LineCode::kFigures, code, true};
        }
        e[u' '] = {0xFF, 4, true};
        e[u'_'] = {0xFF, 4, true};
        e[2] = {0xFF, 2, true};
    }
};
const EncodeTable& Table() {
    static const EncodeTable t;
    return t;
}
} // namespace

QChar LineCode::CharOf(uint8_t code, uint8_t reg) {
    if (code > 31) return QChar();
    const char16_t c = reg == kRussian   ? kRussianCol[code]
                       : reg == kFigures ? kFiguresCol[code]
                                         : kLatinCol[code];
    return c ? QChar(c) : QChar();
}

bool LineCode::Lookup(QChar c, uint8_t& reg, uint8_t& code) {
    const char16_t u = c.unicode();
    if (u >= Table().e.size()) return false;
    const Entry& en = Table().e[u];
    if (!en.valid) return false;
    reg = en.reg;
    code = en.code;
    return true;
}

int EncodeCodes(LineCodeState& st, const QString& text, uint8_t* out, int capacity) {
    if (capacity <= 0) return 0;
    std::fill(out, out + capacity, uint8_t(0));
    st.TxWanted = LineCode::kLatin;
    st.TxRegister = LineCode::kLatin;
    int pos = 1;
    for (QChar c : text) {
        uint8_t reg = 0, code = 0;
        if (!LineCode::Lookup(c, reg, code)) continue;
        if (reg != 0xFF) {
            st.TxWanted = reg;
            if (st.TxWanted != st.TxRegister) {
                // The switch and the character go out together or not at all.
                if (pos + 2 > capacity) break;
                out[pos++] = st.TxWanted;
                st.TxRegister = st.TxWanted;
            }
        }
        if (pos + 1 > capacity) break;
        out[pos++] = code;
    }
    return pos;
}

QString DecodeCodes(LineCodeState& st, const uint8_t* codes, int count,
                    const std::function<QString()>& stamp) {
    QString text;
    if (count <= 0) return text;
    text.reserve(count + 32);
    for (int i = 0; i < count; ++i) {
        const uint8_t code = codes[i] & 31;
        QChar ch;
        if (code != 2 && code != 8) st.LineStamped = false;
        switch (code) {
        case 8:
            st.RxControl = true;
            break;
        case 0:
        case 27:
        case 31:
            st.RxRegister = code;
            st.RxControl = true;
            break;
        case 2:
            if (!st.LineStamped) {
                text += QStringLiteral("\r\n");
                text += stamp();
                text += QStringLiteral("  ");
            }
            st.LineStamped = true;
            st.RxControl = true;
            break;
        case 4:
            ch = QLatin1Char('_');
            st.RxControl = false;
            break;
        default:
            st.RxControl = false;
            break;
        }
        if (code != 4) {
            const QChar c = LineCode::CharOf(code, st.RxRegister);
            if (!c.isNull()) ch = c;
        }
        if (!ch.isNull() && !st.RxControl) text += ch;
    }
    return text;
}
