#pragma once
// One running terminal per executable. The first instance holds a lock file
// and listens on a local socket, both named after a hash of the executable's
// absolute path; a later instance finds the lock taken, sends "activate" to
// the first and ends.
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name empty: derived from the executable path (or VARNEL_INSTANCE when
    // set, so that separate test runs of one binary do not meet).
    explicit SingleInstance(const QString& name = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    static QString NameForExecutable(const QString& executablePath);

    QString Name() const { return m_name; }
    // Takes the lock and starts listening. False when another instance holds
    // the lock (or the lock cannot be made).
    bool TryBecomePrimary();
    // Asks the running instance to come to the front. True when it answered.
    bool SendActivate(int timeoutMs = 2000) const;

signals:
    // Another instance asked us to come to the front.
    void activateRequested();

private:
    void OnNewConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    bool m_primary = false;
};
