#pragma once
// The exchange's end of the text road: reading directives out of the codes
// the terminal sends, and printing answers in the line code.
#include "link/LineCode.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace sim {

// Reads directives like a teleprinter receiver. A directive begins with code
// 0 (the leading code of every encoded directive, after which the sender's
// register is Latin) and ends with "-". Inside a directive code 0 switches to
// the Russian register; two 0s in a row after some text can only be the start
// of the next directive (a sender never puts two switches in a row), so the
// unfinished text is abandoned there. Spaces read as "_"; line feeds and
// carriage returns are ignored; codes between directives are ignored.
class DirectiveReader {
public:
    enum class Event { None, Started, Complete, Abandoned };
    static constexpr int kMaxLength = 200;

    Event Feed(uint8_t code);
    bool Active() const { return m_active; }
    // Text of the directive just completed or abandoned.
    const QString& Text() const { return m_done; }
    void Reset();

private:
    void Start(uint8_t reg);

    bool m_active = false;
    bool m_prevZero = false;
    uint8_t m_reg = LineCode::kLatin;
    QString m_text;
    QString m_done;
};

// Prints text in the line code with a send register that persists between
// characters, as a teleprinter does. "\n" prints a line feed and a carriage
// return. Characters without a code are left out.
class Printer {
public:
    void Print(const QString& text, std::vector<uint8_t>& out);
    // The next character sends its register switch whatever the register is
    // believed to be (start of a printout: the far end may have lost track).
    void ForgetRegister() { m_reg = 0xFF; }
    // True when every character of text has a code.
    static bool Printable(const QString& text);

private:
    uint8_t m_reg = 0xFF;
};

} // namespace sim
