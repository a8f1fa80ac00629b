#include "state/UnitState.h"

#include "link/Notation.h"

#include <vector>

namespace unitstate {

namespace {
// One row of a bit table: the text of the first section and of the second.
// kSame: the second section has the first one's text; kNone: the bit is not
// reported in that section.
struct BitRow {
    int bit;
    const char* first;
    const char* second;
};
constexpr const char* kSame = nullptr;
constexpr const char* kNone = "";

// БГ: faulty where the state bit is 1.
const BitRow kBG[] = {
    {0, "БВ01 \"60\" - неисправно", kSame},
    {1, "1 БП \"27\" - неисправно", kSame},
    {2, "1 БП \"5\" БП2 - неисправно", kSame},
    {3, "БП \"5\" 1 БЗУ - неисправно", kSame},
    {4, "БП \"12\" 1 БЗУ- неисправно", kSame},
    {5, "БП \"5\" 1 БВВ- неисправно", kSame},
    {6, "1 БВ01 \"27\" - неисправно", kSame},
    {7, "1 БП \"5\" БК -  неисправно", "1 БП \"5\" БК - неисправно"},
    {8, "0 БВ01 \"60\" - неисправно", kSame},
    {9, "0 БП \"27\" - неисправно", kSame},
    {10, "0 БП \"5\" БП2 - неисправно", kSame},
    {11, "БП \"5\" 0 БЗУ - неисправно", kSame},
    {12, "БП \"12\" 0 БЗУ -неисправно", kSame},
    {13, "БП \"5\" 0 БВВ - неисправно", kSame},
    {14, "0 БВ01 \"27\" - неисправно", kSame},
    {15, "0 БП \"5\" БК - неисправно", kSame},
};

// ВВК: bits 0-6, compared with the reference.
const BitRow kVVK[] = {
    {0, "ТС 1/0 БП \"5\" - неисправно", kSame},    {1, "ТС 1/0 БВ01 - неисправно", kSame},
    {2, "СКЧ 0 ПСГ - неисправно", kSame},          {3, "ТС 1/0 БП \"15\" - неисправно", kSame},
    {4, "СКО 4,5(2,3) УПД - неисправно", kSame},   {5, "СКО 0,1(6,7) УПД - неисправно", kSame},
    {6, "ТС 1/0 БВ01 \"27\" - неисправно", kSame},
};

// УВП with ПАК: bits 0-6 and 8-14; in the Lxf section bit 6 is not tested.
// The ПАК rows mix Cyrillic (С, А, Е) and Latin (D, F) letters.
const BitRow kUVP[] = {
    {0, "СС И3 0,1,2,3 0 ствол - неисправно", "\"110\" И3 0,1,2,3 0 ствол - неисправно"},
    {1, "ТВ И3 0,1,2,3 0 ствол - неисправно", "25 Гц И3 0,1,2,3 0 ствол - неисправно"},
    {2, "СС И3 10,11,12,13 1 ствол - неисправно", "\"110\" И3 10,11,12,13 1 ствол - неисправно"},
    {3, "ТВ И3 10,11,12,13 1 ствол - неисправно", "25 Гц И3 10,11,12,13 1 ствол - неисправно"},
    {4, "1 гр. ПАК 0,4,8,С 0 ствол - неисправно", "1 гр. ПАК 2,6,А,Е 1 ствол - неисправно"},
    {5, "2 гр. ПАК 1,5,9,D 0 ствол -  неисправно", "2 гр. ПАК 3,7,8,F 1 ствол - неисправно"},
    {6, "БВ02 0,1,2,3 - неисправно", kNone},
    {8, "БП \"15\" 0 БГ - неисправно", "БП \"15\" 1 БГ - неисправно"},
    {9, "БП \"110\" 0 БГ - неисправно", "БП \"110\" 1 БГ - неисправно"},
    {10, "СС ГТС 0 БГ - неисправно", "СС ГТС 1 БГ - неисправно"},
    {11, "СЗ ГТС 0 БГ - неисправно", "СЗ ГТС 1 БГ - неисправно"},
    {12, "25 Гц ГВС 0 БГ - неисправно", "25 Гц ГВС 1 БГ - неисправно"},
    {13, "\"110\" ГВС 0 БГ - неисправно", "110 В ГВС 1 БГ - неисправно"},
    {14, "ГВТ 0 БГ - неисправно", "ГВТ 1 БГ - неисправно"},
};

// УВП with ПАКР: bits 0-6 without the trunk part; bits 8-14 are those of
// УВП with ПАК.
const BitRow kUVPPOwn[] = {
    {0, "СС И3 0,1,2,3 - неисправно", "\"110\" И3 0,1,2,3 - неисправно"},
    {1, "ТВ И3 0,1,2,3 - неисправно", "25 Гц И3 0,1,2,3 - неисправно"},
    {2, "СС И3 10,11,12,13 - неисправно", "\"110\" И3 10,11,12,13 - неисправно"},
    {3, "ТВ И3 10,11,12,13 - неисправно", "25 Гц И3 10,11,12,13 - неисправно"},
    {4, "1 гр. ПАК 0,4,8,С - неисправно", "1 гр. ПАК 2,6,А,Е - неисправно"},
    {5, "2 гр. ПАК 1,5,9,D -  неисправно", "2 гр. ПАК 3,7,8,F - неисправно"},
    {6, "БВ02 0,1,2,3 - неисправно", kNone},
};

struct UnitTable {
    std::vector<BitRow> rows;
    const char* header1;
    const char* header2;
    const char* cell1; // reference cells; nullptr: no reference (БГ)
    const char* cell2;
};

template <size_t N> std::vector<BitRow> Rows(const BitRow (&a)[N]) {
    return std::vector<BitRow>(a, a + N);
}

const UnitTable& Table(Unit unit) {
    static const UnitTable bg{Rows(kBG), "0 ствол", "1 ствол", nullptr, nullptr};
    static const UnitTable vvk{Rows(kVVK), "0 ствол", "1 ствол", "27191", "27192"};
    static const UnitTable uvp{Rows(kUVP), "Ly по Lxe", "Ly по Lxf", "271E7", "271E8"};
    static const UnitTable uvpp = [] {
        UnitTable t{Rows(kUVPPOwn), "Ly по Lxe", "Ly по Lxf", "271E7", "271E8"};
        for (const BitRow& r : kUVP)
            if (r.bit >= 8) t.rows.push_back(r);
        return t;
    }();
    switch (unit) {
    case Unit::BG:
        return bg;
    case Unit::VVK:
        return vvk;
    case Unit::UVP:
        return uvp;
    case Unit::UVPP:
        break;
    }
    return uvpp;
}

// Bit `bit` of the state word is faulty: set (no reference), or different
// from the reference, the bits above 15 compared along with it.
bool Faulty(uint32_t state, const uint32_t* ref, int bit) {
    const uint32_t mask = uint32_t(1) << bit;
    if (!ref) return (state & mask) != 0;
    return ((state ^ *ref) & (mask | 0xFFFF0000u)) != 0;
}
} // namespace

uint32_t ReadStateWord(const QString& text) {
    uint32_t value = 0;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        uint32_t d = 0;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        value = value * 16 + d;
    }
    return value;
}

uint32_t ReadReferenceWord(const QString& text) {
    return uint32_t(ReadVarnel(text));
}

QStringList Result(Unit unit, const Fields& f) {
    const UnitTable& t = Table(unit);
    QStringList lines{QStringLiteral("Номер статива - ") + f.rack};
    const bool compare = t.cell1 != nullptr;
    const uint32_t refs[2] = {compare ? ReadReferenceWord(f.ref1) : 0,
                              compare ? ReadReferenceWord(f.ref2) : 0};
    const uint32_t states[2] = {ReadStateWord(f.state1), ReadStateWord(f.state2)};
    const char* headers[2] = {t.header1, t.header2};
    for (int s = 0; s < 2; ++s) {
        lines << QString::fromUtf8(headers[s]);
        for (const BitRow& r : t.rows) {
            const char* text = s == 0 || r.second == kSame ? r.first : r.second;
            if (!*text) continue;
            if (Faulty(states[s], compare ? &refs[s] : nullptr, r.bit))
                lines << QString::fromUtf8(text);
        }
    }
    return lines;
}

QStringList SectionHeaders(Unit unit) {
    const UnitTable& t = Table(unit);
    return {QString::fromUtf8(t.header1), QString::fromUtf8(t.header2)};
}

QStringList ReferenceCells(Unit unit) {
    const UnitTable& t = Table(unit);
    if (!t.cell1) return {};
    return {QString::fromUtf8(t.cell1), QString::fromUtf8(t.cell2)};
}

QStringList RequestDirectives(Unit unit) {
    QStringList out;
    for (const QString& cell : ReferenceCells(unit))
        out << QStringLiteral("РЯ_") + cell + QLatin1Char('-');
    out << QStringLiteral("ТО_5,-");
    return out;
}

} // namespace unitstate
