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
// The inverse; std::nullopt for text that is not five valid characters.
std::optional<uint16_t> VarnelToValue(const QString& text);
