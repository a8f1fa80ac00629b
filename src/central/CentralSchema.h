#pragma once
// The central store's tables on the PostgreSQL server, and the statements
// the sender runs against them.
//
//   varnel_calls      one row per billed call, key (terminal_id, epoch, seq);
//                     utc_offset keeps the offset the terminal's clock had
//                     (timestamptz keeps only the instant); received is when
//                     the row arrived
//   varnel_ack        per terminal and queue epoch, the highest sequence
//                     number the server holds with everything below it
//   varnel_quarantine records the server refused for their content, so the
//                     key sequence stays dense (calls + quarantine)
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace CentralSchema {

// The statements that create the tables and indexes; each may run again.
QList<QByteArray> CreateStatements();

// The session's staging table (all text, so COPY takes any well-formed line
// and the casts fail per record in the INSERT that follows).
QByteArray CreateStage();
QByteArray CopyIntoStage();   // COPY varnel_stage (...) FROM STDIN
QByteArray InsertFromStage(); // INSERT INTO varnel_calls SELECT ... ON CONFLICT DO NOTHING
// Raises the acknowledged number of (terminal, epoch) to seq (never lowers it).
QByteArray UpsertAck(const QByteArray& terminalLiteral, qint64 epoch, qint64 seq);
QByteArray SelectAck(const QByteArray& terminalLiteral, qint64 epoch);
QByteArray InsertQuarantine(const QByteArray& terminalLiteral, qint64 epoch, qint64 seq,
                            const QByteArray& reasonLiteral, const QByteArray& line);

// varnel-tool central init: connects (blocking, with a connect timeout),
// creates what is missing; *report gets one line per table or index (created
// or already there). False with *error when the server cannot be reached or
// refuses.
bool Init(const QString& conninfo, QStringList* report, QString* error);

} // namespace CentralSchema
