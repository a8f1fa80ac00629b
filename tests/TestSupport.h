#pragma once
// Helpers shared by the test suites.
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

// A temporary working folder and a registry file of its own, set as
// VARNEL_REGISTRY for the life of the object.
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
