#pragma once
// One program per settings store: the terminal window and the headless
// collector each hold this lock for their whole run, so that two of them never
// open the same lines and bill into the same tables. The lock file lives in
// the temporary folder, named after a hash of the store's absolute path; a
// lock left by a process that no longer runs is taken over.
#include <QString>

#include <memory>

class QLockFile;

class SettingsLock {
public:
    // storePath: the settings file (Registry::FilePath()).
    explicit SettingsLock(const QString& storePath);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    static QString LockPathFor(const QString& storePath);
    QString LockPath() const { return m_path; }
    // False when another process holds the lock (or it cannot be made).
    bool TryLock();
    // Who holds the lock, for a refusal message: "varnel-collect, pid 123";
    // empty when nobody does.
    QString Holder() const;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
