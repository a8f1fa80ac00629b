#include "central/CentralSender.h"

#include "central/CentralSchema.h"
#include "platform/ProgramLog.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

// The connection and its state machine, on the sender's thread.
class CentralSenderWorker : public QObject {
public:
    CentralSenderWorker(CentralSender* owner, const CentralSenderOptions& options);
    ~CentralSenderWorker() override { Close(); }

    void Start(const QString& conninfo, const QString& terminalId, qint64 epoch);
    void Stop();
    void Deliver(qint64 epoch, qint64 firstSeq, const QList<QByteArray>& lines);

private:
    enum class Step { None, Setup, FetchAck, Copy, Insert, Rollback, Quarantine };
    // A part of the batch in flight: lines [begin, end); a quarantined one
    // carries the server's reason.
    struct Range {
        int begin = 0;
        int end = 0;
        bool quarantine = false;
        QString reason;
    };

    template <typename F> void Tell(F f) {
        QMetaObject::invokeMethod(m_owner, std::move(f), Qt::QueuedConnection);
    }

    void Connect();
    void OnPoll();
    void Connected();
    void Watch(bool read, bool write);
    void Drop(const QString& reason);
    void Close();

    void Send(Step step, const QByteArray& sql);
    void Flush();
    void OnReadable();
    void TakeResults();
    void StepDone(Step step);

    void BeginBatch();
    void NextRange();
    void Refuse(const QString& reason);
    QByteArray Literal(const QString& text) const;
    qint64 LastSeq(const Range& r) const { return m_firstSeq + r.end - 1; }

    CentralSender* m_owner;
    CentralSenderOptions m_opt;
    QString m_conninfo;
    QString m_terminal;
    qint64 m_epoch = 0;
    bool m_running = false;

    PGconn* m_conn = nullptr;
    bool m_connecting = false;
    bool m_up = false;
    bool m_downSaid = false;
    int m_attempt = 0;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_read, m_write;
    QTimer m_connectTimer, m_stepTimer, m_retryTimer;

    Step m_step = Step::None;
    QByteArray m_sqlState, m_error, m_value;
    qint64 m_copied = -1;

    qint64 m_acked = 0; // the server's acknowledged number of m_epoch
    bool m_busy = false;
    qint64 m_firstSeq = 0;
    QList<QByteArray> m_lines;
    QList<Range> m_ranges;
};

CentralSenderWorker::CentralSenderWorker(CentralSender* owner, const CentralSenderOptions& options)
    : m_owner(owner), m_opt(options) {
    for (QTimer* t : {&m_connectTimer, &m_stepTimer, &m_retryTimer}) {
        t->setParent(this);
        t->setSingleShot(true);
    }
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        Drop(QStringLiteral("no connection within %1 s").arg(m_opt.connectTimeoutMs / 1000.0));
    });
    connect(&m_stepTimer, &QTimer::timeout, this, [this] {
        Drop(QStringLiteral("no answer within %1 s").arg(m_opt.statementTimeoutMs / 1000.0));
    });
    connect(&m_retryTimer, &QTimer::timeout, this, &CentralSenderWorker::Connect);
}

void CentralSenderWorker::Start(const QString& conninfo, const QString& terminalId, qint64 epoch) {
    Close();
    m_conninfo = conninfo;
    m_terminal = terminalId;
    m_epoch = epoch;
    m_running = true;
    m_attempt = 0;
    m_downSaid = false;
    Connect();
}

void CentralSenderWorker::Stop() {
    m_running = false;
    Close();
}

void CentralSenderWorker::Close() {
    m_connectTimer.stop();
    m_stepTimer.stop();
    m_retryTimer.stop();
    m_read.reset();
    m_write.reset();
    m_fd = -1;
    if (m_conn) PQfinish(m_conn);
    m_conn = nullptr;
    m_connecting = m_up = m_busy = false;
    m_step = Step::None;
    m_lines.clear();
    m_ranges.clear();
}

void CentralSenderWorker::Connect() {
    if (!m_running) return;
    const QByteArray info = m_conninfo.toUtf8();
    const QByteArray idle = QByteArray::number(m_opt.keepaliveIdleS);
    const QByteArray interval = QByteArray::number(m_opt.keepaliveIntervalS);
    const QByteArray count = QByteArray::number(m_opt.keepaliveCount);
    const QByteArray userTimeout = QByteArray::number(
        1000 * (m_opt.keepaliveIdleS + m_opt.keepaliveIntervalS * m_opt.keepaliveCount));
    const QByteArray options =
        "-c statement_timeout=" + QByteArray::number(m_opt.statementTimeoutMs);
    // Ours first: what the connection string names (dbname, expanded) wins.
    const char* keys[] = {"keepalives",
                          "keepalives_idle",
                          "keepalives_interval",
                          "keepalives_count",
                          "tcp_user_timeout",
                          "application_name",
                          "client_encoding",
                          "options",
                          "dbname",
                          nullptr};
    const char* values[] = {"1",
                            idle.constData(),
                            interval.constData(),
                            count.constData(),
                            userTimeout.constData(),
                            "varnel",
                            "UTF8",
                            options.constData(),
                            info.constData(),
                            nullptr};
    m_conn = PQconnectStartParams(keys, values, 1);
    if (!m_conn || PQstatus(m_conn) == CONNECTION_BAD) {
        Drop(m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed()
                    : QStringLiteral("out of memory"));
        return;
    }
    m_connecting = true;
    m_connectTimer.start(m_opt.connectTimeoutMs);
    Watch(false, true); // PQconnectPoll starts as if it had said "writing"
}

void CentralSenderWorker::Watch(bool read, bool write) {
    const int fd = m_conn ? PQsocket(m_conn) : -1;
    if (fd != m_fd) { // libpq may change the socket between polls
        m_read.reset();
        m_write.reset();
        m_fd = fd;
        if (fd < 0) return;
        m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        connect(m_read.get(), &QSocketNotifier::activated, this,
                [this] { m_connecting ? OnPoll() : OnReadable(); });
        connect(m_write.get(), &QSocketNotifier::activated, this,
                [this] { m_connecting ? OnPoll() : Flush(); });
    }
    if (m_read) m_read->setEnabled(read);
    if (m_write) m_write->setEnabled(write);
}

void CentralSenderWorker::OnPoll() {
    switch (PQconnectPoll(m_conn)) {
    case PGRES_POLLING_OK:
        Connected();
        return;
    case PGRES_POLLING_READING:
        Watch(true, false);
        return;
    case PGRES_POLLING_WRITING:
        Watch(false, true);
        return;
    default:
        Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
    }
}

void CentralSenderWorker::Connected() {
    m_connecting = false;
    m_connectTimer.stop();
    if (PQsetnonblocking(m_conn, 1) != 0) {
        Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        return;
    }
    Send(Step::Setup, CentralSchema::CreateStage() + "; " +
                          CentralSchema::SelectAck(Literal(m_terminal), m_epoch));
}

void CentralSenderWorker::Drop(const QString& reason) {
    const bool wasUp = m_up;
    Close();
    if (!m_running) return;
    if (wasUp || !m_downSaid) {
        m_downSaid = true;
        WriteLog(QStringLiteral("Центр: нет связи (%1)").arg(reason));
        Tell([o = m_owner, reason] { emit o->LinkDown(reason); });
    }
    // Exponential backoff with jitter: half the step fixed, half random.
    const qint64 step =
        std::min<qint64>(qint64(m_opt.backoffMinMs) << std::min(m_attempt, 20), m_opt.backoffMaxMs);
    ++m_attempt;
    m_retryTimer.start(int(step / 2 + QRandomGenerator::global()->bounded(step / 2 + 1)));
}

QByteArray CentralSenderWorker::Literal(const QString& text) const {
    const QByteArray u = text.toUtf8();
    char* lit = m_conn ? PQescapeLiteral(m_conn, u.constData(), size_t(u.size())) : nullptr;
    if (!lit) return "''";
    QByteArray out(lit);
    PQfreemem(lit);
    return out;
}

void CentralSenderWorker::Send(Step step, const QByteArray& sql) {
    m_step = step;
    m_sqlState.clear();
    m_error.clear();
    m_value.clear();
    m_copied = -1;
    if (!PQsendQuery(m_conn, sql.constData())) {
        Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        return;
    }
    m_stepTimer.start(m_opt.statementTimeoutMs + 1000);
    Flush();
}

void CentralSenderWorker::Flush() {
    const int r = PQflush(m_conn);
    if (r < 0) {
        Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        return;
    }
    Watch(true, r == 1);
}

void CentralSenderWorker::OnReadable() {
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK) {
        Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
        return;
    }
    if (m_step == Step::None) return; // a notice or the like between steps
    TakeResults();
}

void CentralSenderWorker::TakeResults() {
    while (m_conn && m_step != Step::None && !PQisBusy(m_conn)) {
        PGresult* r = PQgetResult(m_conn);
        if (!r) {
            const Step done = m_step;
            m_step = Step::None;
            m_stepTimer.stop();
            StepDone(done);
            return;
        }
        switch (PQresultStatus(r)) {
        case PGRES_COPY_IN: {
            QByteArray data;
            const Range& range = m_ranges.first();
            for (int i = range.begin; i < range.end; ++i) {
                data += m_lines[i];
                if (!data.endsWith('\n')) data += '\n';
            }
            if (PQputCopyData(m_conn, data.constData(), int(data.size())) != 1 ||
                PQputCopyEnd(m_conn, nullptr) != 1) {
                PQclear(r);
                Drop(QString::fromUtf8(PQerrorMessage(m_conn)).trimmed());
                return;
            }
            break;
        }
        case PGRES_TUPLES_OK:
            if (PQntuples(r) > 0) m_value = PQgetvalue(r, 0, 0);
            break;
        case PGRES_COMMAND_OK:
            if (qstrncmp(PQcmdStatus(r), "COPY", 4) == 0) m_copied = atoll(PQcmdTuples(r));
            break;
        default:
            if (m_error.isEmpty()) {
                m_sqlState = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                m_error = QByteArray(PQresultErrorMessage(r)).trimmed();
                if (m_error.isEmpty()) m_error = "error without a message";
            }
        }
        PQclear(r);
    }
    if (m_conn) Flush();
}

void CentralSenderWorker::StepDone(Step step) {
    const QString error = QString::fromUtf8(m_error);
    // Content is refused only by a server that is up and answering.
    const bool content = !m_error.isEmpty() && PQstatus(m_conn) == CONNECTION_OK &&
                         (m_sqlState.startsWith("22") || m_sqlState.startsWith("23"));
    if (!m_error.isEmpty() && step != Step::Copy && step != Step::Insert) {
        Drop(m_sqlState == "42P01"
                 ? error + QStringLiteral(" (varnel-tool central init creates the tables)")
                 : error);
        return;
    }
    switch (step) {
    case Step::None:
        return;
    case Step::Setup:
        m_acked = m_value.toLongLong();
        m_up = true;
        m_downSaid = false;
        m_attempt = 0;
        WriteLog(QStringLiteral("Центр: связь есть, подтверждено %1").arg(m_acked));
        Tell([o = m_owner, e = m_epoch, a = m_acked] {
            emit o->LinkUp();
            emit o->Acknowledged(e, a);
            emit o->Ready();
        });
        return;
    case Step::FetchAck:
        m_acked = m_value.toLongLong();
        Tell([o = m_owner, e = m_epoch, a = m_acked] { emit o->Acknowledged(e, a); });
        BeginBatch();
        return;
    case Step::Copy:
    case Step::Insert: {
        if (!m_error.isEmpty() && !content) {
            Drop(error);
            return;
        }
        const Range range = m_ranges.first();
        if (step == Step::Copy && content) {
            Refuse(error);
            return;
        }
        if (step == Step::Copy) {
            if (m_copied != range.end - range.begin) { // e.g. a line "\." ends the data early
                Refuse(QStringLiteral("COPY took %1 of %2 lines")
                           .arg(m_copied)
                           .arg(range.end - range.begin));
                return;
            }
            Send(Step::Insert,
                 CentralSchema::InsertFromStage() + "; " +
                     CentralSchema::UpsertAck(Literal(m_terminal), m_epoch, LastSeq(range)) +
                     "; COMMIT");
            return;
        }
        if (content) {
            Refuse(error);
            return;
        }
        m_acked = std::max(m_acked, LastSeq(range));
        Tell([o = m_owner, e = m_epoch, a = m_acked] { emit o->Acknowledged(e, a); });
        m_ranges.removeFirst();
        NextRange();
        return;
    }
    case Step::Rollback:
        NextRange();
        return;
    case Step::Quarantine: {
        const Range range = m_ranges.takeFirst();
        const qint64 seq = LastSeq(range);
        const QByteArray line = m_lines[range.begin];
        m_acked = std::max(m_acked, seq);
        WriteLog(QStringLiteral("Центр: запись %1 отвергнута (%2)").arg(seq).arg(range.reason));
        Tell([o = m_owner, e = m_epoch, seq, line, reason = range.reason, a = m_acked] {
            emit o->Refused(e, seq, line, reason);
            emit o->Acknowledged(e, a);
        });
        NextRange();
        return;
    }
    }
}

// The range at the front was refused for its content: roll back, then try its
// halves, down to the single record that goes into quarantine.
void CentralSenderWorker::Refuse(const QString& reason) {
    const Range r = m_ranges.takeFirst();
    if (r.end - r.begin == 1) {
        m_ranges.prepend(Range{r.begin, r.end, true, reason});
    } else {
        const int mid = r.begin + (r.end - r.begin) / 2;
        m_ranges.prepend(Range{mid, r.end, false, {}});
        m_ranges.prepend(Range{r.begin, mid, false, {}});
    }
    Send(Step::Rollback, "ROLLBACK");
}

void CentralSenderWorker::Deliver(qint64 epoch, qint64 firstSeq, const QList<QByteArray>& lines) {
    if (!m_up || m_busy || lines.isEmpty()) return; // Ready comes again
    m_busy = true;
    m_firstSeq = firstSeq;
    m_lines = lines;
    if (epoch != m_epoch) {
        m_epoch = epoch;
        Send(Step::FetchAck, CentralSchema::SelectAck(Literal(m_terminal), m_epoch));
        return;
    }
    BeginBatch();
}

void CentralSenderWorker::BeginBatch() {
    if (m_firstSeq > m_acked + 1) { // would leave a gap below it
        WriteLog(QStringLiteral("Центр: пакет с %1 при подтверждённом %2 не отправлен")
                     .arg(m_firstSeq)
                     .arg(m_acked));
        m_busy = false;
        m_lines.clear();
        Tell([o = m_owner, e = m_epoch, a = m_acked] {
            emit o->Acknowledged(e, a);
            emit o->Ready();
        });
        return;
    }
    m_ranges = {Range{0, int(m_lines.size()), false, {}}};
    NextRange();
}

void CentralSenderWorker::NextRange() {
    if (m_ranges.isEmpty()) {
        m_busy = false;
        m_lines.clear();
        Tell([o = m_owner] { emit o->Ready(); });
        return;
    }
    const Range& r = m_ranges.first();
    const QByteArray terminal = Literal(m_terminal);
    if (r.quarantine) {
        const QByteArray reason = Literal(r.reason);
        Send(Step::Quarantine, "BEGIN; " +
                                   CentralSchema::InsertQuarantine(terminal, m_epoch, LastSeq(r),
                                                                   reason, m_lines[r.begin]) +
                                   "; " + CentralSchema::UpsertAck(terminal, m_epoch, LastSeq(r)) +
                                   "; COMMIT");
        return;
    }
    Send(Step::Copy, "BEGIN; " + CentralSchema::CopyIntoStage());
}

CentralSender::CentralSender(const CentralSenderOptions& options, QObject* parent)
    : QObject(parent), m_worker(new CentralSenderWorker(this, options)) {
    m_thread.setObjectName(QStringLiteral("central-sender"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

CentralSender::~CentralSender() {
    // The worker never blocks for long (non-blocking libpq), so waiting for
    // it to close the connection is short.
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker] { delete w; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void CentralSender::Start(const QString& conninfo, const QString& terminalId, qint64 epoch) {
    QMetaObject::invokeMethod(m_worker,
                              [=, w = m_worker] { w->Start(conninfo, terminalId, epoch); });
}

void CentralSender::Stop() {
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->Stop(); });
}

void CentralSender::Deliver(qint64 epoch, qint64 firstSeq, const QList<QByteArray>& lines) {
    QMetaObject::invokeMethod(m_worker, [=, w = m_worker] { w->Deliver(epoch, firstSeq, lines); });
}
