#pragma once
// Helpers shared by the test suites.
#include "platform/SerialPort.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable strings in failed expectations.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(" | ")).toStdString() << ']';
}

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

// The main window of a test starts unlocked: password use off ("PasswEn"
// false in the test's registry).
void PasswordOff();
// Exchange n's line switched on ("In") in the test's registry, on port
// number port when it is above 0.
void SwitchLineOn(int n, int port = 0);

// A file's whole content; empty when it cannot be read.
// The text without its trailing blanks.
inline QString Trimmed(QString s) {
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

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

// A serial port in memory: what is written is kept, what is to be read is
// handed in with Arrive(), and clear-to-send, the output count, opening and
// losing the device are the test's to set.
class FakePort : public SerialPort {
public:
    void SetPortNumber(int number) override { Number = number; }
    int PortNumber() const override { return Number; }
    void SetHardwareFlow(bool on) override { Flow = on; }
    bool Open() override {
        ++Opens;
        IsOpenNow = Openable;
        return Openable;
    }
    void Close() override { IsOpenNow = false; }
    bool IsOpen() const override { return IsOpenNow; }
    QString ErrorText() const override { return QString(); }
    bool ClearToSend() override { return Cts; }
    qint64 OutputCount() const override { return Pending; }
    bool WriteBlock(const uint8_t* data, int count) override {
        if (!IsOpenNow) return false;
        Written.insert(Written.end(), data, data + count);
        if (Sticky) Pending += count; // the line does not drain
        return true;
    }
    qint64 BytesAvailable() const override { return qint64(Input.size()); }
    qint64 Read(uint8_t* data, qint64 max) override;
    void FlushInput() override {
        ++FlushedInput;
        Input.clear();
    }
    void FlushOutput() override {
        ++FlushedOutput;
        Pending = 0;
    }
    void ArmLineErrors() override { ++Armed; }

    // Bytes arrive from the far end.
    void Arrive(const std::vector<uint8_t>& bytes);
    // The device goes away.
    void Lose() {
        IsOpenNow = false;
        emit lost();
    }
    void Error(int code) { emit lineError(code); }

    int Number = 1;
    bool Flow = false;
    bool Openable = true;
    bool IsOpenNow = false;
    bool Cts = true;
    bool Sticky = false;
    qint64 Pending = 0;
    int Opens = 0, FlushedInput = 0, FlushedOutput = 0, Armed = 0;
    std::vector<uint8_t> Written;
    std::vector<uint8_t> Input;
};

// Runs the event loop until cond() holds or ms have passed; whether it holds.
bool WaitUntil(const std::function<bool()>& cond, int ms = 3000);
// Runs the event loop (sleeping between events) while cond() is true; with
// escEnds a held Esc ends it. True when the condition ended it.
bool WaitWhile(const std::function<bool()>& cond, bool escEnds = false);
// Runs the event loop for about ms milliseconds (Esc ends it when escEnds).
bool WaitFor(int ms, bool escEnds = false);
// For long runs: waits until cond() holds, but gives up once progress() has
// stayed the same for stallMs (a run that has stopped moving fails in
// seconds, not at the end of the longest bound), or after totalMs.
bool WaitUntilMoving(const std::function<bool()>& cond, const std::function<qint64()>& progress,
                     int stallMs, int totalMs);

// varnel-sim on a pseudo-terminal of its own (no calls of its own), driven
// by its control commands, ended with the object.
class SimProcess {
public:
    ~SimProcess();
    // Starts it with args and returns the device it serves (empty on
    // failure); a port above 0 is mapped to that device.
    QString Start(const QStringList& args = {}, int port = 0);
    // A control command and its reply line ("ok ...", "error: ...").
    QString Command(const QString& cmd, int ms = 10000);
    // A command whose reply is not waited for.
    void Post(const QString& cmd);
    void Kill();
    QString Device;

private:
    QString ReadLine(int ms);
    QProcess m_proc;
    int m_posted = 0;
};

// CPU time (user + system) this process has used so far, in seconds.
double CpuSeconds();
