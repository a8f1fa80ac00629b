#pragma once
// varnel-tool commands on tables. Each takes the arguments after its command
// word and returns the exit code: 0 done, 1 failed (the reason on standard
// error), 2 wrong use.
#include <QStringList>

// dump TABLE: the table as CSV on standard output (UTF-8, header of field
// names). TABLE is a file (".db" Paradox, ".dbf" dBASE; without an extension
// ".db" then ".dbf" is tried) or ":ALIAS:FILE".
int ToolDump(const QStringList& args);

// load TABLE FILE.csv: appends the CSV rows ("-" reads standard input),
// creating the table from a header of NAME:TYPE columns when it is missing.
int ToolLoad(const QStringList& args);
