#include "central/CentralSchema.h"

#include "central/CentralRecord.h"

#include <libpq-fe.h>

#include <memory>

namespace CentralSchema {

namespace {

struct Object {
    const char* name;
    const char* kind;
    const char* sql;
};

// The casts from the staging table's text: a field that does not convert
// fails the INSERT with an SQLSTATE of class 22, which the sender narrows down
// to the record.
constexpr const char* kSelectFromStage =
    "SELECT terminal_id, epoch::bigint, seq::bigint, exchange::smallint, kit::integer, "
    "started::timestamptz, ended::timestamptz, "
    "coalesce(started::timestamp - (started::timestamptz AT TIME ZONE 'UTC'), interval '0'), "
    "duration::bigint, duration_unit, a_number, b_dialled, b_billed, category::smallint, "
    "dest_code, dest_code_foreign, tariff::double precision FROM varnel_stage";

const Object kObjects[] = {
    {"varnel_calls", "table",
     "CREATE TABLE IF NOT EXISTS varnel_calls ("
     "terminal_id text NOT NULL, epoch bigint NOT NULL, seq bigint NOT NULL, "
     "exchange smallint NOT NULL, kit integer NOT NULL, "
     "started timestamptz, ended timestamptz, utc_offset interval NOT NULL, "
     "duration bigint NOT NULL, duration_unit text NOT NULL, "
     "a_number text NOT NULL, b_dialled text NOT NULL, b_billed text NOT NULL, "
     "category smallint NOT NULL, dest_code text NOT NULL, dest_code_foreign text NOT NULL, "
     "tariff double precision NOT NULL, received timestamptz NOT NULL DEFAULT now(), "
     "PRIMARY KEY (terminal_id, epoch, seq))"},
    {"varnel_calls_exchange_day", "index",
     "CREATE INDEX IF NOT EXISTS varnel_calls_exchange_day "
     "ON varnel_calls (terminal_id, exchange, started)"},
    {"varnel_ack", "table",
     "CREATE TABLE IF NOT EXISTS varnel_ack ("
     "terminal_id text NOT NULL, epoch bigint NOT NULL, acked bigint NOT NULL, "
     "updated timestamptz NOT NULL DEFAULT now(), PRIMARY KEY (terminal_id, epoch))"},
    {"varnel_quarantine", "table",
     "CREATE TABLE IF NOT EXISTS varnel_quarantine ("
     "terminal_id text NOT NULL, epoch bigint NOT NULL, seq bigint NOT NULL, "
     "reason text NOT NULL, record bytea NOT NULL, at timestamptz NOT NULL DEFAULT now(), "
     "PRIMARY KEY (terminal_id, epoch, seq))"},
};

QString ErrorText(PGconn* c) {
    return QString::fromUtf8(PQerrorMessage(c)).trimmed();
}

} // namespace

QList<QByteArray> CreateStatements() {
    QList<QByteArray> out;
    for (const Object& o : kObjects)
        out << QByteArray(o.sql);
    return out;
}

QByteArray CreateStage() {
    QByteArray cols;
    for (const QByteArray& c : QByteArray(CentralRecord::kColumns).split(','))
        cols += (cols.isEmpty() ? "" : ", ") + c.trimmed() + " text";
    return "CREATE TEMP TABLE IF NOT EXISTS varnel_stage (" + cols + ") ON COMMIT DELETE ROWS";
}

QByteArray CopyIntoStage() {
    return QByteArray("COPY varnel_stage (") + CentralRecord::kColumns + ") FROM STDIN";
}

QByteArray InsertFromStage() {
    return QByteArray("INSERT INTO varnel_calls (terminal_id, epoch, seq, exchange, kit, started, "
                      "ended, utc_offset, duration, duration_unit, a_number, b_dialled, b_billed, "
                      "category, dest_code, dest_code_foreign, tariff) ") +
           kSelectFromStage + " ON CONFLICT DO NOTHING";
}

QByteArray UpsertAck(const QByteArray& terminalLiteral, qint64 epoch, qint64 seq) {
    return "INSERT INTO varnel_ack (terminal_id, epoch, acked) VALUES (" + terminalLiteral + ", " +
           QByteArray::number(epoch) + ", " + QByteArray::number(seq) +
           ") ON CONFLICT (terminal_id, epoch) DO UPDATE SET acked = "
           "GREATEST(varnel_ack.acked, EXCLUDED.acked), updated = now()";
}

QByteArray SelectAck(const QByteArray& terminalLiteral, qint64 epoch) {
    return "SELECT coalesce(max(acked), 0) FROM varnel_ack WHERE terminal_id = " + terminalLiteral +
           " AND epoch = " + QByteArray::number(epoch);
}

QByteArray InsertQuarantine(const QByteArray& terminalLiteral, qint64 epoch, qint64 seq,
                            const QByteArray& reasonLiteral, const QByteArray& line) {
    return "INSERT INTO varnel_quarantine (terminal_id, epoch, seq, reason, record) VALUES (" +
           terminalLiteral + ", " + QByteArray::number(epoch) + ", " + QByteArray::number(seq) +
           ", " + reasonLiteral + ", decode('" + line.toHex() + "', 'hex')) ON CONFLICT DO NOTHING";
}

bool Init(const QString& conninfo, QStringList* report, QString* error) {
    const QByteArray info = conninfo.toUtf8();
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"10", "varnel-tool", info.constData(), nullptr};
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdbParams(keys, values, 1),
                                                      &PQfinish);
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK) {
        *error = QStringLiteral("cannot reach the server: ") +
                 (conn ? ErrorText(conn.get()) : QStringLiteral("out of memory"));
        return false;
    }
    for (const Object& o : kObjects) {
        const QByteArray exists = QByteArray("SELECT to_regclass('") + o.name + "') IS NOT NULL";
        std::unique_ptr<PGresult, decltype(&PQclear)> probe(PQexec(conn.get(), exists), &PQclear);
        if (PQresultStatus(probe.get()) != PGRES_TUPLES_OK) {
            *error = ErrorText(conn.get());
            return false;
        }
        const bool was = QByteArray(PQgetvalue(probe.get(), 0, 0)) == "t";
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), o.sql), &PQclear);
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
            *error = QStringLiteral("%1 %2: %3")
                         .arg(QLatin1String(o.kind), QLatin1String(o.name), ErrorText(conn.get()));
            return false;
        }
        *report << QStringLiteral("%1 %2: %3")
                       .arg(QLatin1String(o.kind), QLatin1String(o.name),
                            was ? QStringLiteral("already there") : QStringLiteral("created"));
    }
    return true;
}

} // namespace CentralSchema
