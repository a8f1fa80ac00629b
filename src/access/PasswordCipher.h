#pragma once
// The cipher of the stored operator password: DES in 64-bit cipher feedback
// (nettle), and the stored text form, every ciphertext byte as three decimal
// digits ("065" for 65).
#include <QByteArray>
#include <QString>

namespace oper {

// DES-CFB-64 with an 8-byte key and an 8-byte initialisation vector; a final
// chunk shorter than 8 bytes uses the leading bytes of the enciphered
// register. False only when nettle refuses the key (a weak DES key).
bool CfbEncipher(const QByteArray& key, const QByteArray& iv, const QByteArray& in,
                 QByteArray& out);
bool CfbDecipher(const QByteArray& key, const QByteArray& iv, const QByteArray& in,
                 QByteArray& out);

// Every byte as exactly three decimal digits, 000 to 255.
QString ToDigits(const QByteArray& bytes);
// The text in groups of three characters (a trailing incomplete group is
// ignored); each group d1 d2 d3, with d = character code - '0' taken modulo
// 256, gives ((d1 * 10 + d2) mod 256 * 10 + d3) mod 256. Any text reads;
// characters outside Windows-1251 count as '?'.
QByteArray FromDigits(const QString& text);

// The program's fixed key and vector applied to a password (Windows-1251
// bytes): the stored form and back. False on a cipher failure.
bool EncipherPassword(const QString& password, QString& stored);
bool DecipherPassword(const QString& stored, QString& password);

} // namespace oper
