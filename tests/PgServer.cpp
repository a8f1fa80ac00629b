#include "PgServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

#include <libpq-fe.h>

#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

namespace {
constexpr int kPort = 54329; // names the socket file only: no TCP listener

bool IsRoot() {
    return geteuid() == 0;
}

// Processes of the group that have not ended (zombies have: orphans here may
// never be reaped).
bool GroupAlive(pid_t group) {
    const QStringList procs = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& p : procs) {
        bool num = false;
        p.toInt(&num);
        if (!num) continue;
        const QByteArray stat = FileBytes(QStringLiteral("/proc/") + p + QStringLiteral("/stat"));
        const qsizetype close = stat.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> f = stat.mid(close + 2).split(' ');
        if (f.size() > 2 && f[0] != "Z" && f[0] != "X" && f[2].toLongLong() == group) return true;
    }
    return false;
}

QProcessEnvironment CleanEnv() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& k : env.keys())
        if (k.startsWith(QLatin1String("PG"))) env.remove(k);
    return env;
}
} // namespace

PgServer::PgServer() {
    for (const QString& k : QProcessEnvironment::systemEnvironment().keys())
        if (k.startsWith(QLatin1String("PG"))) qunsetenv(k.toLocal8Bit().constData());
}

PgServer::~PgServer() {
    Kill();
}

QString PgServer::BinDir() {
    QProcess p;
    p.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    QStringList dirs;
    if (p.waitForFinished(5000) && p.exitCode() == 0)
        dirs << QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    dirs << QStringLiteral("/usr/lib/postgresql/15/bin");
    for (const QString& d : dirs)
        if (QFileInfo(d + QStringLiteral("/initdb")).isExecutable() &&
            QFileInfo(d + QStringLiteral("/postgres")).isExecutable())
            return d;
    return QString();
}

QString PgServer::SocketPath() const {
    return SocketDir() + QStringLiteral("/.s.PGSQL.%1").arg(kPort);
}

QString PgServer::ConnInfo() const {
    return QStringLiteral("host=%1 port=%2 dbname=postgres user=postgres")
        .arg(SocketDir())
        .arg(kPort);
}

// As root the child becomes the user postgres itself (not through runuser):
// the server must be this process's own child, or after SIGKILL it stays an
// unreaped zombie whose pid in postmaster.pid blocks the restart. A process
// group of its own lets Kill reach every server process.
void PgServer::Prepare(QProcess& p) const {
    p.setProcessEnvironment(CleanEnv());
    const bool root = IsRoot();
    const passwd* pw = root ? getpwnam("postgres") : nullptr;
    const uid_t uid = pw ? pw->pw_uid : 0;
    const gid_t gid = pw ? pw->pw_gid : 0;
    p.setChildProcessModifier([root, uid, gid] {
        setsid();
        if (root && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(126);
    });
}

bool PgServer::Run(const QString& program, const QStringList& args, int ms) {
    QProcess p;
    Prepare(p);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(ms) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll());
        p.kill();
        p.waitForFinished(2000);
        return false;
    }
    return true;
}

bool PgServer::Start() {
    const QString bin = BinDir();
    if (bin.isEmpty()) {
        m_error = QStringLiteral("PostgreSQL binaries not found");
        return false;
    }
    if (!m_dir) {
        // Short: a socket path over 107 bytes cannot be bound.
        m_dir = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/vpg-XXXXXX"));
        if (!m_dir->isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        if (IsRoot()) {
            const passwd* pw = getpwnam("postgres");
            if (!pw ||
                chown(QFile::encodeName(m_dir->path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                m_error = QStringLiteral("cannot give the folder to the user postgres");
                return false;
            }
        }
    }
    const QString data = m_dir->path() + QStringLiteral("/data");
    if (!m_initialised) {
        if (!Run(bin + QStringLiteral("/initdb"),
                 {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
                  QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-E"),
                  QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                  QStringLiteral("--no-sync")},
                 60000))
            return false;
        m_initialised = true;
    }
    const QStringList args = {
        QStringLiteral("-D"), data,
        QStringLiteral("-k"), m_dir->path(),
        QStringLiteral("-p"), QString::number(kPort),
        QStringLiteral("-c"), QStringLiteral("listen_addresses="),
        QStringLiteral("-c"), fsync ? QStringLiteral("fsync=on") : QStringLiteral("fsync=off")};
    m_proc = std::make_unique<QProcess>();
    Prepare(*m_proc);
    m_proc->setStandardOutputFile(m_dir->path() + QStringLiteral("/server.log"), QIODevice::Append);
    m_proc->setStandardErrorFile(m_dir->path() + QStringLiteral("/server.log"), QIODevice::Append);
    m_proc->start(bin + QStringLiteral("/postgres"), args);
    if (!m_proc->waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start postgres");
        return false;
    }
    m_group = m_proc->processId();
    const QByteArray info = ConnInfo().toUtf8();
    QElapsedTimer t;
    t.start();
    while (PQping(info.constData()) != PQPING_OK) {
        if (t.elapsed() > 20000 || m_proc->state() == QProcess::NotRunning) {
            m_error =
                QStringLiteral("the server did not come up: ") +
                QString::fromLocal8Bit(FileBytes(m_dir->path() + QStringLiteral("/server.log")));
            Kill();
            return false;
        }
        QThread::msleep(30);
    }
    return true;
}

bool PgServer::Kill() {
    if (!m_proc) return true;
    if (m_group > 0) ::kill(-pid_t(m_group), SIGKILL);
    m_proc->waitForFinished(5000);
    QElapsedTimer t;
    t.start();
    // Backends outlive a lost postmaster for a moment; the restart needs them gone.
    while (m_group > 0 && GroupAlive(pid_t(m_group)) && t.elapsed() < 10000) {
        ::kill(-pid_t(m_group), SIGKILL);
        QThread::msleep(20);
    }
    m_proc.reset();
    m_group = 0;
    return true;
}

QString PgServer::Query(const QString& sql, bool* ok) {
    if (ok) *ok = false;
    PGconn* c = PQconnectdb(ConnInfo().toUtf8().constData());
    QString out;
    if (PQstatus(c) != CONNECTION_OK) {
        m_error = QString::fromUtf8(PQerrorMessage(c));
    } else {
        PGresult* r = PQexec(c, sql.toUtf8().constData());
        const auto st = PQresultStatus(r);
        if (st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK) {
            if (ok) *ok = true;
            if (st == PGRES_TUPLES_OK && PQntuples(r) > 0)
                out = QString::fromUtf8(PQgetvalue(r, 0, 0));
        } else {
            m_error = QString::fromUtf8(PQresultErrorMessage(r));
        }
        PQclear(r);
    }
    PQfinish(c);
    return out;
}
