#pragma once
// One billed call as the central call store receives it: what DestTar holds
// plus what the billing centre needs to tell terminals, exchanges and time
// zones apart. Its key (terminal id, queue epoch, sequence number) is dense
// per terminal and epoch, so the centre can prove that nothing is missing.
//
// The text form is one line of PostgreSQL's COPY text format (tab-separated,
// backslash escapes, \N for none, ended by a newline), in the column order
// of kColumns: the outbox stores it, and the sender copies it as it is.
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

struct CentralRecord {
    QString terminalId;
    qint64 epoch = 0;
    qint64 seq = 0;
    int exchange = 0; // exchange number 1..4 of the terminal
    int kit = 0;
    QDateTime started; // local time with its UTC offset
    QDateTime ended;
    qint64 duration = 0;  // in durationUnit
    QString durationUnit; // "min", "s" or "ms" (the duration mode of the call)
    QString aNumber;
    QString bDialled; // the B number as dialled (digits of the call start)
    QString bBilled;  // after the extra digit(s) are taken off
    int category = 0;
    QString destCode;        // long-distance table's code, or "Not found"
    QString destCodeForeign; // international table's code, or "Not found"
    double tariff = 0;

    // The server's columns, in the order of the text form.
    static constexpr const char* kColumns =
        "terminal_id, epoch, seq, exchange, kit, started, ended, duration, duration_unit, "
        "a_number, b_dialled, b_billed, category, dest_code, dest_code_foreign, tariff";

    QByteArray ToCopyLine() const;
    // Parses one line (with or without its newline); nullopt when it is not
    // a whole record (a field missing or extra, a number or time that does
    // not parse).
    static std::optional<CentralRecord> FromCopyLine(const QByteArray& line);

    // The unit text of a duration mode (BillingRules::timeMode).
    static QString UnitOf(int timeMode);
    bool operator==(const CentralRecord&) const = default;
};
