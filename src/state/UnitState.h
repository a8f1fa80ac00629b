#pragma once
// Control-unit state analysis: the state words of the control units (printed
// by "ТО_5,-") and the reference cells (printed by "РЯ_"), typed in by the
// operator, turned into lists of faulty units. The bit texts are tables
// (UnitState.cpp); this header gives the readings and the result lists.
#include <QString>
#include <QStringList>

#include <cstdint>

namespace unitstate {

// The four kinds of unit, one sub-tab each.
enum class Unit { BG, VVK, UVP, UVPP };

// A state word typed as hexadecimal: each character shifts in one digit,
// "0".."9", "A".."F", "a".."f" by value, any other character (a blank) as 0.
// Empty text reads as 0.
uint32_t ReadStateWord(const QString& text);
// A reference word typed in the exchange notation: only "0".."9" and
// "A".."F" count; the last five weigh 1, 16, 256, 1024, 8192. Empty reads as
// 0; a first digit above 7 reads above 0xFFFF.
uint32_t ReadReferenceWord(const QString& text);

// One sub-tab's fields as typed. The reference words are not used for БГ,
// whose units are faulty where the state bit is 1.
struct Fields {
    QString rack;
    QString state1, state2;
    QString ref1, ref2;
};

// The result list: "Номер статива - " and the rack, then each section's
// header followed by its faulty units in ascending bit order. A unit of ВВК
// or УВП is faulty where its state bit differs from the reference bit; the
// bits above 15 take part in every comparison, so a word above 0xFFFF makes
// each tested bit of its section faulty.
QStringList Result(Unit unit, const Fields& fields);

// The section headers ("0 ствол"/"1 ствол" or "Ly по Lxe"/"Ly по Lxf").
QStringList SectionHeaders(Unit unit);
// The reference cells printed beside the reference fields ("27191",
// "27192"); none for БГ.
QStringList ReferenceCells(Unit unit);
// What the request button sends, a pause between each two: "РЯ_" for each
// reference cell, then "ТО_5,-".
QStringList RequestDirectives(Unit unit);

} // namespace unitstate
