#pragma once
// The edit-mask language of the directive input line and the small input
// fields: a mask such as ">ll_cccccccccccccccccccccc;1;_" or ">ТО_\F,\0,,,cc,cc-;1;_".
//
//   >  following positions in capitals      !  accepted, no effect here
//   L  letter (l optional)                  A  letter or digit (a optional)
//   C  any character (c optional)           0  digit (9 optional)
//   H  hexadecimal digit (h optional)
//   \  the next character is a literal
//   any other character is a literal (":" and "/" included, "_" too)
//
// After the first unescaped ";" comes the literal-saving flag (every mask
// here saves them), after the second the blank character that shows
// unfilled positions. Each position holds one character; literals are fixed
// and unfilled positions read back as spaces.
#include <QChar>
#include <QString>

#include <optional>
#include <vector>

class MaskEngine {
public:
    enum class Kind { Literal, Letter, AlphaNum, Any, Digit, Hex };
    enum class Case { Keep, Upper };
    struct Slot {
        Kind kind = Kind::Literal;
        bool required = false;
        Case caseMode = Case::Keep;
        QChar literal; // Kind::Literal only
        QChar value;   // null: unfilled
    };

    MaskEngine() = default;
    explicit MaskEngine(const QString& mask) { SetMask(mask); }

    // A new mask empties every position.
    void SetMask(const QString& mask);
    QString Mask() const { return m_mask; }
    int Length() const { return int(m_slots.size()); }
    bool IsLiteral(int pos) const;
    const Slot& At(int pos) const { return m_slots.at(size_t(pos)); }

    // The text: literals and filled positions, unfilled positions as
    // spaces; always Length() characters.
    QString Text() const;
    // What the field shows: unfilled positions as the blank character.
    QString EditText() const;
    // The text as a number: each run of hexadecimal positions that is partly
    // filled has its digits right-aligned behind leading zeros ("7" in
    // "hhh" reads "007", "\0\0hh" with "4" reads "0004"); a run left
    // empty stays blank.
    QString NumberText() const;
    // Fills the positions from text, left to right. A character meant for a
    // literal position passes over it; a character that does not fit an input
    // position but equals a literal further on leaves the positions up to it
    // blank; a space or the blank character leaves a position unfilled; other
    // misfits are dropped. Text beyond the last position is cut off.
    void SetText(const QString& text);
    void Clear();
    // True when every required position is filled.
    bool IsComplete() const;
    // True when no input position is filled (the line shows only blanks).
    bool IsBlank() const;

    // Caret helpers: the first input position at or after pos (Length() when
    // none), the last one before pos (-1 when none).
    int NextInput(int pos) const;
    int PrevInput(int pos) const;

    // Typing one character at the caret in overwrite mode. Returns the new
    // caret, or nullopt when the character is refused. A literal typed at its
    // own position only moves the caret.
    std::optional<int> Type(int caret, QChar ch);
    // Backspace: clears the input position before the caret; returns the caret.
    int Backspace(int caret);
    // Clears the input positions in [from, to).
    void ClearRange(int from, int to);

    // Whether ch (after the position's case rule) fits the position.
    bool Accepts(int pos, QChar ch) const;
    QChar Convert(int pos, QChar ch) const;

private:
    int LiteralAhead(int pos, QChar ch) const;

    QString m_mask;
    std::vector<Slot> m_slots;
    QChar m_blank = QLatin1Char('_');
};
