#pragma once
// Call records: a call start frame becomes a row of TarifTA2; the call end
// frame of the same kit and exchange matches it, measures the duration, looks
// up the destination and writes one row to DestTar and one to the day file.
//
// Each billed call is one transaction over DestTar, the day file and the
// deletion of its start row, committed before OnCallEnd goes on: a process
// killed at any moment leaves the call either wholly billed (and its start
// row gone) or not billed at all (its start row still there).
#include "link/AppState.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

class TAts;
class TTariffTables;

class TCallRecords : public ICallSink {
public:
    TCallRecords(AppState& app, TTariffTables& tables);

    void OnCallStart(TAts& ats, const std::array<uint8_t, 28>& n) override;
    void OnCallEnd(TAts& ats, const std::array<uint8_t, 16>& n) override;

    // The largest duration the day file's DLIT (Smallint) holds; a longer one
    // is stored as this value and the true one logged (DestTar keeps it).
    static constexpr int kMaxDlit = 32767;

private:
    struct Bill {
        qint64 a = 0;
        qint64 b = 0;
        int kit = 0;
        qint64 duration = 0;
        int cat = 0;
        QString code;
        QString codeForeign;
        double tariff = 0;
    };
    void Destination(TAts& ats, const QString& dialled, Bill& bill);
    QString FieldsText(qint64 number, const Bill& bill) const;
    void EndFailed();

    AppState& m_app;
    TTariffTables& m_tables;
};
