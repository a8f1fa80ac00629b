#pragma once
// A throwaway PostgreSQL server for tests: initdb into a temporary folder,
// the server in the foreground as a child process, reachable only through a
// Unix socket in a short temporary folder (no TCP port). As root both run as
// the user postgres (initdb refuses root), the folder given to that user. Stopped and removed with
// the object.
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class PgServer {
public:
    PgServer(); // clears the PG* variables of this process
    ~PgServer();

    // The folder of initdb and postgres; empty when PostgreSQL is missing.
    static QString BinDir();

    // initdb (the first time) and start; waits until it takes connections.
    bool Start();
    // SIGKILL to the server and all its processes; waits until they are gone.
    bool Kill();
    QString Error() const { return m_error; }
    // fsync=off (the default here) keeps a restart after SIGKILL fast and is
    // safe while only processes die; a benchmark turns it on.
    bool fsync = false;

    QString SocketDir() const { return m_dir ? m_dir->path() : QString(); }
    QString SocketPath() const; // the server's Unix socket file
    QString ConnInfo() const;   // a libpq connection string as the superuser

    // A statement through a connection of its own; the first value of the
    // first row (empty for none); *ok false (and Error()) when it failed.
    QString Query(const QString& sql, bool* ok = nullptr);

private:
    bool Run(const QString& program, const QStringList& args, int ms);
    void Prepare(QProcess& p) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_proc;
    qint64 m_group = 0;
    bool m_initialised = false;
    QString m_error;
};

// Forwards TCP connections to the server's Unix socket. cutAtCommit: once the
// client has sent a COMMIT, the server's answer is swallowed and both sides
// are cut. freeze: nothing more goes from the server to the client.
class PgProxy : public QObject {
public:
    explicit PgProxy(const QString& socketPath) : m_path(socketPath) {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* c = m_server.nextPendingConnection())
                Pair(c);
        });
    }
    QString ConnInfo() const {
        return QStringLiteral("hostaddr=127.0.0.1 port=%1 dbname=postgres user=postgres "
                              "sslmode=disable")
            .arg(m_server.serverPort());
    }
    bool cutAtCommit = false;
    bool freeze = false;
    int cuts = 0;

private:
    void Pair(QTcpSocket* c) {
        auto* s = new QLocalSocket(c);
        auto armed = std::make_shared<bool>(false);
        connect(c, &QTcpSocket::readyRead, s, [this, c, s, armed] {
            const QByteArray data = c->readAll();
            if (cutAtCommit && data.contains("COMMIT")) *armed = true;
            s->write(data);
        });
        connect(s, &QLocalSocket::readyRead, c, [this, c, s, armed] {
            const QByteArray data = s->readAll();
            if (*armed) { // the COMMIT is done on the server; its answer is lost
                cutAtCommit = false;
                ++cuts;
                s->abort();
                c->abort();
                return;
            }
            if (!freeze) c->write(data);
        });
        connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
        connect(s, &QLocalSocket::disconnected, c, [c] { c->abort(); });
        connect(s, &QLocalSocket::errorOccurred, c, [c] { c->abort(); });
        s->connectToServer(m_path);
    }
    QString m_path;
    QTcpServer m_server;
};

// Skips the test when the PostgreSQL binaries are not installed.
#define VARNEL_REQUIRE_POSTGRES()                                                                  \
    do {                                                                                           \
        if (PgServer::BinDir().isEmpty())                                                          \
            GTEST_SKIP() << "PostgreSQL server binaries (initdb, postgres) not found: "            \
                            "install postgresql-15 (scripts/deps.sh)";                             \
    } while (0)
