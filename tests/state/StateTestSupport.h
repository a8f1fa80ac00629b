#pragma once
// Helpers of the state tests (with those of the console tests): the simulator
// as a process, port mapping, lists of UTF-8 lines.
#include "TestSupport.h"
#include "console/ConsoleTestSupport.h"

#include "platform/Registry.h"

#include <QProcess>
#include <QStringList>

#include <initializer_list>
#include <ostream>

// varnel-sim on a pseudo-terminal of its own, ended with the object.
class SimProcess {
public:
    ~SimProcess() {
        if (m_p.state() == QProcess::NotRunning) return;
        m_p.write("quit\n");
        if (!m_p.waitForFinished(3000)) m_p.kill();
        m_p.waitForFinished(3000);
    }
    // Starts it and returns the device it serves (empty on failure).
    QString Start() {
        m_p.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-sim"),
                  {QStringLiteral("--calls"), QStringLiteral("0"), QStringLiteral("--seed"),
                   QStringLiteral("7")});
        if (!m_p.waitForStarted(5000) || !WaitUntil([&] { return m_p.canReadLine(); }, 5000))
            return QString();
        return QString::fromLocal8Bit(m_p.readLine()).trimmed();
    }
    // A control command and its reply line.
    QString Ask(const QByteArray& command) {
        m_p.readAll();
        m_p.write(command + '\n');
        WaitUntil([&] { return m_p.canReadLine(); }, 3000);
        return QString::fromLocal8Bit(m_p.readLine()).trimmed();
    }

private:
    QProcess m_p;
};

// Exchange n on device, its codes sent 1 ms apart.
inline void MapPort(int n, const QString& device) {
    Registry reg;
    reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\Ports"), true);
    reg.WriteString(QString::number(n), device);
    reg.CloseKey();
    reg.OpenKey(QStringLiteral("\\Software\\ZezozuDaruduri\\ATS ") + QString::number(n), true);
    reg.WriteInteger(QStringLiteral("PortDelayMS"), 1);
}

inline QStringList Utf8List(std::initializer_list<const char*> lines) {
    QStringList out;
    for (const char* l : lines)
        out << QString::fromUtf8(l);
    return out;
}

// Readable lists in failure messages.
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(" | ")).toStdString() << ']';
}
