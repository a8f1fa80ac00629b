#include "platform/Registry.h"

#include "platform/ProgramLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

namespace {
// "\Software\ZezozuDaruduri\ATS 1" -> "Software/ZezozuDaruduri/ATS 1"
QString ToGroup(const QString& keyPath) {
    QString g = keyPath;
    g.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (g.startsWith(QLatin1Char('/')))
        g.remove(0, 1);
    while (g.endsWith(QLatin1Char('/')))
        g.chop(1);
#ifdef Q_OS_WIN
    // The native store is rooted at HKEY_LOCAL_MACHINE\Software\ZezozuDaruduri.
    const QString root = QStringLiteral("Software/ZezozuDaruduri");
    if (g.startsWith(root, Qt::CaseInsensitive)) g = g.mid(root.size() + 1);
#endif
    return g;
}
// Marker that keeps an empty key present in the INI file.
const QString kKeyMarker = QStringLiteral(".key");

// Notes the lines of a settings file that are no INI line, once per file
// and process.
void LogMalformedLines(const QString& path) {
    static QSet<QString> logged;
    if (logged.contains(path)) return;
    logged.insert(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return;
    QStringList bad;
    int n = 0;
    int count = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++n;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#') ||
            (line.startsWith('[') && line.endsWith(']')) || line.contains('='))
            continue;
        if (++count <= 10) bad << QString::number(n);
    }
    if (count > 10) bad << QStringLiteral("...");
    WriteLog(QStringLiteral("Ошибка формата файла реестра %1, пропущены строки: %2")
                 .arg(QDir::toNativeSeparators(path), bad.join(QStringLiteral(", "))));
}
} // namespace

QString Registry::DefaultPath() {
    const QString env = qEnvironmentVariable("VARNEL_REGISTRY");
    if (!env.isEmpty()) return env;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/.config");
    return dir + QStringLiteral("/ZezozuDaruduri/registry.ini");
}

Registry::Registry(const QString& iniPath) {
#ifdef Q_OS_WIN
    if (iniPath.isEmpty() && qEnvironmentVariableIsEmpty("VARNEL_REGISTRY")) {
        m_settings = std::make_unique<QSettings>(
            QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\ZezozuDaruduri"),
            QSettings::NativeFormat);
        return;
    }
#endif
    m_iniPath = iniPath.isEmpty() ? DefaultPath() : iniPath;
    QDir().mkpath(QFileInfo(m_iniPath).absolutePath());
    m_settings = std::make_unique<QSettings>(m_iniPath, QSettings::IniFormat);
    m_settings->childGroups(); // reads the file
    if (m_settings->status() == QSettings::FormatError) {
        // Lines that are no INI line are skipped and logged; the file is
        // written again without them, so that the store's status tells
        // real write failures again.
        LogMalformedLines(m_iniPath);
        const QString probe = QStringLiteral(".rewrite");
        m_settings->setValue(probe, 1);
        m_settings->remove(probe);
        m_settings->sync();
        m_settings = std::make_unique<QSettings>(m_iniPath, QSettings::IniFormat);
    }
}

Registry::~Registry() = default;

QString Registry::FilePath() const {
    return m_settings->fileName();
}

bool Registry::IsAccessible() const {
    if (!m_iniPath.isEmpty()) {
        const QFileInfo fi(m_iniPath);
        if (fi.exists() && (!fi.isFile() || !fi.isReadable())) return false;
    }
    return m_settings->status() != QSettings::AccessError;
}

bool Registry::Stored() const {
    // A format error is the read's (a skipped line), not the write's.
    const QSettings::Status st = m_settings->status();
    return (st == QSettings::NoError || st == QSettings::FormatError) && m_settings->isWritable();
}

bool Registry::OpenKey(const QString& keyPath, bool create) {
    const QString group = ToGroup(keyPath);
    m_settings->beginGroup(group);
    // A key exists while it holds a value, a sub-key or its marker.
    const bool exists = !m_settings->allKeys().isEmpty();
    m_settings->endGroup();
    if (!exists) {
        if (!create) return false;
        m_settings->setValue(group + QLatin1Char('/') + kKeyMarker, QString());
        m_settings->sync();
        if (!Stored()) {
            WriteLog(QStringLiteral("Ошибка записи в реестр: ") + keyPath);
            return false;
        }
    }
    m_key = group;
    return true;
}

void Registry::CloseKey() {
    m_settings->sync();
    m_key.clear();
}

QString Registry::Path(const QString& name) const {
    return m_key.isEmpty() ? name : m_key + QLatin1Char('/') + name;
}

bool Registry::ValueExists(const QString& name) const {
    return m_settings->contains(Path(name));
}

QStringList Registry::ValueNames() const {
    m_settings->beginGroup(m_key);
    QStringList names = m_settings->childKeys();
    m_settings->endGroup();
    names.removeAll(kKeyMarker);
    return names;
}

QStringList Registry::KeyNames() const {
    m_settings->beginGroup(m_key);
    QStringList names = m_settings->childGroups();
    m_settings->endGroup();
    return names;
}

std::optional<QString> Registry::ReadString(const QString& name) const {
    const QVariant v = m_settings->value(Path(name));
    if (!v.isValid()) return std::nullopt;
    // An unquoted INI value with commas reads back as a list.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

std::optional<int> Registry::ReadInteger(const QString& name) const {
    const auto s = ReadString(name);
    if (!s) return std::nullopt;
    bool ok = false;
    const int v = s->trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}

std::optional<bool> Registry::ReadBool(const QString& name) const {
    const auto s = ReadString(name);
    if (!s) return std::nullopt;
    const QString t = s->trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1")) return true;
    if (t == QLatin1String("false") || t == QLatin1String("0")) return false;
    return std::nullopt;
}

bool Registry::Write(const QString& name, const QVariant& value) {
    m_settings->setValue(Path(name), value);
    m_settings->sync();
    if (!Stored()) {
        WriteLog(QStringLiteral("Ошибка записи в реестр: ") + Path(name));
        return false;
    }
    return true;
}

bool Registry::WriteInteger(const QString& name, int value) {
    return Write(name, value);
}

bool Registry::WriteBool(const QString& name, bool value) {
#ifdef Q_OS_WIN
    // The native registry keeps flags as DWORD 0/1.
    return Write(name, int(value));
#else
    return Write(name, value);
#endif
}

bool Registry::WriteString(const QString& name, const QString& value) {
    return Write(name, value);
}

bool Registry::DeleteValue(const QString& name) {
    m_settings->remove(Path(name));
    m_settings->sync();
    return Stored();
}
