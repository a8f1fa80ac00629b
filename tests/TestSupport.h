#pragma once
// Helpers shared by the test suites.
#include "link/AppState.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

// A temporary working folder and a registry file of its own, set as
// VARNEL_REGISTRY for the life of the object; the program log goes into the
// folder too (LogFilePath()).
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    QString Dir() const { return m_dir.path(); }
    QString RegistryPath() const { return m_dir.path() + QStringLiteral("/registry.ini"); }
    QString Path(const QString& name) const { return m_dir.path() + QLatin1Char('/') + name; }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldRegistry;
    bool m_hadRegistry = false;
};

// A file's whole content; empty when it cannot be read.
inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A pseudo-terminal pair: the terminal opens SlavePath(); the test reads and
// writes the master side.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    bool Ok() const { return m_master >= 0; }
    QString SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }
    // Reads what arrived on the master side, waiting up to ms for at least
    // `atLeast` bytes (runs the Qt event loop meanwhile).
    std::vector<uint8_t> ReadMaster(size_t atLeast, int ms);
    bool WriteMaster(const std::vector<uint8_t>& bytes);
    // Maps port number n to this pty in the registry at VARNEL_REGISTRY.
    void MapToPort(int n) const;

private:
    int m_master = -1;
    int m_slaveKeep = -1; // keeps the slave side alive between opens
    QString m_slavePath;
};

// The main window's side of the core, recorded: status lines, panel texts,
// the port field and renames.
class RecordingConsole : public IConsole {
public:
    void AddStatus(const QString& line) override { Status << line; }
    void SetPanelText(int panel, const QString& text) override {
        if (panel >= 0 && panel < 3) Panels[panel] = text;
    }
    void ShowPortText(const QString& text) override { PortText = text; }
    void ExchangeRenamed(int number, const QString& name) override {
        Renames.append({number, name});
    }

    QStringList Status;
    QString Panels[3];
    QString PortText;
    QList<QPair<int, QString>> Renames;
};

// CPU time (user + system) this process has used so far, in seconds.
double CpuSeconds();
