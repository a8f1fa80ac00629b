#pragma once
// varnel-tool verify and rebuild of Paradox tables. TABLE is a file (".db"
// added when it has no extension) or ":ALIAS:FILE".
#include <QStringList>

// verify TABLE: the result message and what was found. Exit code 0 when the
// table has no errors, 3 when it has, 1 when it cannot be verified, 2 wrong use.
int ToolVerify(const QStringList& args);

// rebuild TABLE [--like MODEL.db]: rebuilds the table in place (the old file
// kept as "Backup.Db", rejected rows in "KEYVIOL.DB" and "PROBLEM.DB").
// --like takes the structure from a healthy table of the same kind when the
// table's own header is unreadable. Exit code 0 rebuilt, 1 not, 2 wrong use.
int ToolRebuild(const QStringList& args);
