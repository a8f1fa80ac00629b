#pragma once
// The exchange's five-bit line code: three registers (Russian, figures,
// Latin), switched by codes 0, 27 and 31; codes 2, 4 and 8 (line feed, space,
// carriage return) mean the same in every register.
#include <QChar>
#include <QString>

#include <cstdint>
#include <functional>

namespace LineCode {
constexpr uint8_t kRussian = 0;
constexpr uint8_t kFigures = 27;
constexpr uint8_t kLatin = 31;
constexpr uint8_t kLineFeed = 2;
constexpr uint8_t kSpace = 4;
constexpr uint8_t kCarriageReturn = 8;

// The character of a code in a register, or a null QChar for control codes.
QChar CharOf(uint8_t code, uint8_t reg);

// How a character is sent: register (kRussian, kFigures, kLatin, or 0xFF for
// "no switch") and code. False for characters that have no code.
bool Lookup(QChar c, uint8_t& reg, uint8_t& code);

// Nibble value of a frame code: code bits 4..1 become nibble bits 0..3.
inline uint8_t Nibble(uint8_t code) {
    return uint8_t(((code >> 4) & 1) | (((code >> 3) & 1) << 1) | (((code >> 2) & 1) << 2) |
                   (((code >> 1) & 1) << 3));
}
// The code that carries a nibble (bit 0 of the code clear).
inline uint8_t CodeOfNibble(uint8_t n) {
    return uint8_t((((n >> 0) & 1) << 4) | (((n >> 1) & 1) << 3) | (((n >> 2) & 1) << 2) |
                   (((n >> 3) & 1) << 1));
}
} // namespace LineCode

// Register state of one end of a line.
struct LineCodeState {
    uint8_t TxWanted = LineCode::kLatin;
    uint8_t TxRegister = LineCode::kLatin;
    uint8_t RxRegister = LineCode::kLatin;
    bool RxControl = false;
    bool LineStamped = false;
};

// Encodes text into out[0..capacity): out[0] is the leading 0, then the codes
// with register switches, starting from the Latin register. Characters without
// a code are dropped. Encoding stops at the end of the buffer; nothing is
// written past it. Returns the number of codes (1 for an empty text).
int EncodeCodes(LineCodeState& st, const QString& text, uint8_t* out, int capacity);

// Decodes codes to text in the receive register kept in st: carriage returns
// vanish, a run of line feeds opens one new line with "\r\n" + stamp() + two
// spaces, spaces come out as "_".
QString DecodeCodes(LineCodeState& st, const uint8_t* codes, int count,
                    const std::function<QString()>& stamp);
