#pragma once
// A varnel-sim process for the version transfers: started on its own
// pseudo-terminal, mapped to a port number, driven by control commands.
#include "platform/Registry.h"
#include "platform/Wait.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

class SimProcess {
public:
    ~SimProcess() { Kill(); }

    // Starts the simulator and maps port `port` to its device.
    bool Start(const QString& binDir, int port, const QStringList& args = {}) {
        m_proc.start(binDir + QStringLiteral("/varnel-sim"),
                     QStringList{QStringLiteral("--calls"), QStringLiteral("0"),
                                 QStringLiteral("--seed"), QStringLiteral("5"),
                                 QStringLiteral("--still")} +
                         args);
        if (!m_proc.waitForStarted(5000)) return false;
        const QString line = ReadLine(5000);
        if (!line.startsWith(QStringLiteral("/dev/"))) return false;
        Device = line;
        Registry reg;
        if (!reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true)) return false;
        reg.WriteString(QString::number(port), Device);
        reg.CloseKey();
        return true;
    }
    // A control command and its reply line ("ok ...", "error: ...").
    QString Command(const QString& cmd, int ms = 10000) {
        for (; m_posted > 0; --m_posted)
            ReadLine(ms);
        m_proc.write((cmd + QLatin1Char('\n')).toLocal8Bit());
        return ReadLine(ms);
    }
    // A command whose reply is not waited for.
    void Post(const QString& cmd) {
        m_proc.write((cmd + QLatin1Char('\n')).toLocal8Bit());
        ++m_posted;
    }
    void Kill() {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.kill();
        m_proc.waitForFinished(3000);
    }
    QString Device;

private:
    QString ReadLine(int ms) {
        QElapsedTimer t;
        t.start();
        WaitWhile([&] { return !m_proc.canReadLine() && t.elapsed() < ms; }, false);
        return QString::fromLocal8Bit(m_proc.readLine()).trimmed();
    }

    QProcess m_proc;
    int m_posted = 0;
};
