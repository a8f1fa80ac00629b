#pragma once
// Tables as CSV text (UTF-8, comma-separated, RFC 4180 quoting), for the
// dump and load commands of the maintenance tool.
#include "tables/Table.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace tables {

// The whole table: a header row of field names, then one line per row
// (values as ValueText writes them, blanks empty).
QByteArray DumpCsv(Table& table, QString* error);

// Splits CSV text into rows of fields; false (error names the line) for an
// unterminated quote. Lines end with LF, CR LF or a lone CR.
bool ParseCsv(const QString& text, QList<QStringList>& rows, QString* error);

// "NAME:TYPE" with TYPE one of I (Integer), S (Smallint), F (Float), D (Date),
// T (Time), DT (DateTime), A<n> (String of n characters).
bool ParseFieldSpec(const QString& column, FieldDef& out, QString* error);

// Appends the rows of csv to the table at path. The header names the columns
// (in any order; fields not named stay blank). A missing table is created
// from a header whose columns all carry a type. All rows or none are stored.
// Text is stored as the table stores it: cut to the field's width, and a
// character Windows-1251 lacks as "?"; notes gets a line for each such value
// ("line 3, column 2 (NAME): ...").
bool LoadCsv(const QString& path, const QString& csv, int* appended, QString* error,
             QStringList* notes = nullptr);

// CSV bytes as text: false, with one line of error per line that is not
// valid UTF-8 (its line and column), when any is not. A leading byte-order
// mark is dropped.
bool CsvText(const QByteArray& bytes, QString& text, QString* error);

// A field as a CSV header column writes it: "KOD:A10", "TRF:F".
QString FieldSpecText(const FieldDef& f);

} // namespace tables
