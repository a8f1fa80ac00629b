#include "tables/Aliases.h"

#include "platform/Registry.h"
#include "tables/TxFile.h"

#include <QDir>
#include <QFileInfo>

namespace tables {

QString AliasDirectory(const QString& alias, const QString& curDir, QString* error, bool create) {
    QString def;
    if (alias.compare(kAliasStandard, Qt::CaseInsensitive) == 0)
        def = QStringLiteral("Tables");
    else if (alias.compare(kAliasEveryday, Qt::CaseInsensitive) == 0)
        def = QStringLiteral("EveryDay");
    QString dir;
    Registry reg;
    if (RegistryKey key{reg, QStringLiteral("\\Software\\ZezozuDaruduri\\Aliases"), false}) {
        for (const QString& name : key->ValueNames())
            if (name.compare(alias, Qt::CaseInsensitive) == 0)
                dir = key->ReadString(name, QString()).trimmed();
    }
    if (dir.isEmpty()) {
        if (def.isEmpty()) {
            if (error) *error = QStringLiteral("unknown alias %1").arg(alias);
            return {};
        }
        dir = def;
    }
    dir = QDir::fromNativeSeparators(dir);
    if (QFileInfo(dir).isRelative())
        dir = QDir(curDir.isEmpty() ? QDir::currentPath() : curDir).filePath(dir);
    dir = QDir::cleanPath(dir);
    if (!create && !QFileInfo(dir).isDir()) {
        if (error)
            *error = QStringLiteral("no directory %1 of alias %2")
                         .arg(QDir::toNativeSeparators(dir), alias);
        return {};
    }
    if (!QDir().mkpath(dir)) {
        if (error)
            *error = QStringLiteral("cannot create directory %1 of alias %2").arg(dir, alias);
        return {};
    }
    // Journals of other folders may name the alias's files by it.
    RegisterAliasDir(alias.compare(kAliasStandard, Qt::CaseInsensitive) == 0   ? kAliasStandard
                     : alias.compare(kAliasEveryday, Qt::CaseInsensitive) == 0 ? kAliasEveryday
                                                                               : alias,
                     dir);
    return dir;
}

QString ResolveTablePath(const QString& name, const QString& curDir, QString* error, bool create) {
    if (name.startsWith(QLatin1Char(':'))) {
        const int colon = name.indexOf(QLatin1Char(':'), 1);
        if (colon < 0) {
            if (error)
                *error = QStringLiteral("table name %1 lacks the ':' after the alias").arg(name);
            return {};
        }
        const QString dir = AliasDirectory(name.mid(1, colon - 1), curDir, error, create);
        if (dir.isEmpty()) return {};
        return dir + QLatin1Char('/') + name.mid(colon + 1);
    }
    return QFileInfo(name).absoluteFilePath();
}

} // namespace tables
