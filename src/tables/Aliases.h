#pragma once
// Table-engine aliases: a name standing for a directory of tables.
#include <QString>

namespace tables {

inline const QString kAliasStandard = QStringLiteral("PelmarkStandard");
inline const QString kAliasEveryday = QStringLiteral("PelmarkEveryday");

// Directory of an alias: the registry value of that name under
// "\Software\ZezozuDaruduri\Aliases" (relative values are taken from curDir),
// else curDir + "/Tables" for "PelmarkStandard" and curDir + "/EveryDay" for
// "PelmarkEveryday". The directory is created when missing. Empty (with
// error set) for an unknown alias or a directory that cannot be made.
QString AliasDirectory(const QString& alias, const QString& curDir, QString* error = nullptr);

// A table named ":ALIAS:FILE" lies in the alias's directory; any other text is
// a file path (relative ones from the current directory).
QString ResolveTablePath(const QString& name, const QString& curDir, QString* error = nullptr);

} // namespace tables
