#pragma once
// Windows-1251 conversion at the file boundaries (rolls, scripts, table strings).
#include <QByteArray>
#include <QString>

namespace Codec {
// Characters without a Windows-1251 byte become '?'.
QByteArray ToCp1251(const QString& text);
QString FromCp1251(const QByteArray& bytes);
QString FromCp1251(const char* data, qsizetype size);
// One Windows-1251 byte for a character, or -1 when it has none.
int Cp1251Byte(QChar c);
} // namespace Codec
