#pragma once
// Small shared helpers: the roll stamp, hexadecimal without leading zeros and
// the exchange address notation.
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

// Roll stamp "H,mm|dd,MM,yy|" of the given moment (9:05 on 5 Dec 2026 gives
// "9,05|05,12,26|").
QString GetDateTime(const QDateTime& t);
QString GetDateTime(); // of Clock::Now()

// Upper-case hexadecimal of value & 0xFFFF without leading zeros; 0 gives "0".
QString ShortHex(uint32_t value);

// Exchange address notation: bits 15-13, 12-10, 9-8 as decimal digits, then
// bits 7-4 and 3-0 as hexadecimal digits (0xBFC0 gives "573C0").
QString ValueToVarnel(uint16_t value);
// The strict inverse: std::nullopt unless text is five valid characters.
std::optional<uint16_t> VarnelToValue(const QString& text);
// The lenient reading of a typed field: only "0".."9" and "A".."F" count;
// taken from the right, the last five weigh 1, 16, 256, 1024 and 8192
// ("573C0" gives 0xBFC0; an empty field gives 0). Not limited to 16 bits.
int ReadVarnel(const QString& text);
