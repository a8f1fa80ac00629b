#pragma once
// Table-engine aliases: a name standing for a directory of tables.
#include <QString>

namespace tables {

inline const QString kAliasStandard = QStringLiteral("PelmarkStandard");
inline const QString kAliasEveryday = QStringLiteral("PelmarkEveryday");

// Directory of an alias: the registry value of that name under
// "\Software\ZezozuDaruduri\Aliases" (relative values are taken from curDir),
// else curDir + "/Tables" for "PelmarkStandard" and curDir + "/EveryDay" for
// "PelmarkEveryday". With create, the directory is made when missing. Empty
// (with error set) for an unknown alias or a directory that is missing or
// cannot be made.
QString AliasDirectory(const QString& alias, const QString& curDir, QString* error = nullptr,
                       bool create = true);

// A table named ":ALIAS:FILE" lies in the alias's directory; any other text is
// a file path (relative ones from the current directory). With create, the
// alias's directory is made when missing.
QString ResolveTablePath(const QString& name, const QString& curDir, QString* error = nullptr,
                         bool create = true);

} // namespace tables
