#pragma once
// The settings store. Keys are written as the system's key paths, for example
// "\Software\ZezozuDaruduri\ATS 1". On Windows the values live in the native
// registry under HKEY_LOCAL_MACHINE; elsewhere in one INI file, named by the
// environment variable VARNEL_REGISTRY or else placed in the user's
// configuration folder.
//
// A value that is missing or does not parse as the asked type is unreadable:
// the typed reads then return std::nullopt, or the given default. Lines of
// the INI file that are no INI line are skipped (and logged once); the next
// write leaves them out.
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

class QSettings;

class Registry {
public:
    // iniPath empty: VARNEL_REGISTRY, else the default location.
    explicit Registry(const QString& iniPath = QString());
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    static QString DefaultPath();
    // The file (or native location) the values live in.
    QString FilePath() const;
    // What to hand to the constructor for another accessor on the same store:
    // the INI path, or empty for the native registry.
    QString StorePath() const { return m_iniPath; }
    // False when the store cannot be read (for example an unreadable file, or
    // a folder where the file should be).
    bool IsAccessible() const;

    // Opens a key for the reads and writes below. With create, a missing key
    // is made. Returns false when the key does not exist and was not created,
    // or the store cannot be written.
    bool OpenKey(const QString& keyPath, bool create);
    void CloseKey();

    bool ValueExists(const QString& name) const;
    QStringList ValueNames() const;
    QStringList KeyNames() const; // sub-keys of the open key

    std::optional<int> ReadInteger(const QString& name) const;
    std::optional<bool> ReadBool(const QString& name) const;
    std::optional<QString> ReadString(const QString& name) const;
    int ReadInteger(const QString& name, int def) const { return ReadInteger(name).value_or(def); }
    bool ReadBool(const QString& name, bool def) const { return ReadBool(name).value_or(def); }
    QString ReadString(const QString& name, const QString& def) const {
        return ReadString(name).value_or(def);
    }

    // Writes go through to the store at once. A write that cannot be stored
    // returns false and is noted in the program log.
    bool WriteInteger(const QString& name, int value);
    bool WriteBool(const QString& name, bool value);
    bool WriteString(const QString& name, const QString& value);
    bool DeleteValue(const QString& name);

private:
    bool Write(const QString& name, const QVariant& value);
    // Whether the last sync reached the store.
    bool Stored() const;
    QString Path(const QString& name) const;

    std::unique_ptr<QSettings> m_settings;
    QString m_iniPath;
    QString m_key; // settings group of the open key, empty when none
};

// One open key for the life of the guard: closed again on every path.
//   if (RegistryKey key{reg, path, false}) value = key->ReadInteger(...);
class RegistryKey {
public:
    RegistryKey(Registry& reg, const QString& keyPath, bool create)
        : m_reg(reg), m_open(reg.OpenKey(keyPath, create)) {}
    ~RegistryKey() {
        if (m_open) m_reg.CloseKey();
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    explicit operator bool() const { return m_open; }
    Registry* operator->() const { return &m_reg; }
    Registry& operator*() const { return m_reg; }

private:
    Registry& m_reg;
    bool m_open;
};
