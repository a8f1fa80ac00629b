#pragma once
// Values the statistics read out of exchange memory, the memory-read
// directive, and the display values all kinds share: the panel colours
// (Windows colour values, 0x00BBGGRR), the kit status texts and the
// direction load rules.
#include <QString>

#include <cstdint>
#include <optional>

namespace stats {

// ---- text of numbers
// The low 16 bits in upper-case hexadecimal without leading zeros ("0" for
// zero): 0x0D80 gives "D80".
QString ShortHex(int value);
// The memory read of `codes` payload codes from address:
// "ТО_8," + address + "," + length - 1 + ",10,,1-".
QString ReadDirective(int address, int codes);

// ---- values in a frame (nibbles, high first)
int Word(const uint8_t* d);            // four nibbles
int Byte(const uint8_t* d);            // two nibbles
uint32_t DoubleWord(const uint8_t* d); // eight nibbles
int State(const uint8_t* d);           // (d0 & 14) >> 1, 0..7
bool IsBlockedState(int state);        // 2 and 5

// ---- colours
namespace colour {
constexpr uint32_t kButtonFace = 0x8000000F; // system colour: the palette's button colour
constexpr uint32_t kGreen = 0x008000;
constexpr uint32_t kPurple = 0x800080;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kLime = 0x00FF00;
constexpr uint32_t kOlive = 0x008080;
} // namespace colour

// The status text of a kit panel's colour: "Исключен или отсутствует",
// "Свободен", "Блокирован", "В работе"; empty for any other colour.
QString KitStatusText(uint32_t colour);

// Load of a direction in percent: (busy - blocked) / total * 100 rounded to
// the nearest integer, ties to even; 0 when total < 1. May be negative.
int LoadPercent(int busy, int blocked, int total);
// The colour of a load: 0 olive, 1..29 green, 30..60 lime, above 60 yellow;
// none for a negative load (the panel keeps its colour).
std::optional<uint32_t> LoadColour(int load);
// The hint of a direction panel's colour: "Не задействовано", "Загрузка 0%",
// "Загрузка менее 30%", "Загрузка 30-60%", "Загрузка более 60%"; empty for
// purple and other colours.
QString LoadHintText(uint32_t colour);

// What a repaint asks of one panel: its bevel, and a colour unless it keeps
// the one it has.
struct PanelLook {
    std::optional<uint32_t> colour;
    bool raised = false;
    bool operator==(const PanelLook&) const = default;
};

} // namespace stats
