#pragma once
// Call records: a call start frame becomes a row of TarifTA2; the call end
// frame of the same kit and exchange matches it, bills it (Billing.h) and
// writes one row to DestTar and one to the day file.
//
// Each billed call is one transaction over DestTar, the day file and the
// deletion of its start row, committed before OnCallEnd goes on: a process
// killed at any moment leaves the call either wholly billed (and its start
// row gone) or not billed at all (its start row still there).
#include "link/Ats.h"
#include "tariff/Billing.h"

#include <QString>

struct AppState;
class TTariffTables;

class TCallRecords : public ICallSink {
public:
    // The duration mode and the free-call limit are read from app at each call.
    TCallRecords(const AppState& app, TTariffTables& tables);

    void OnCallStart(const AtsSettings& ats, const CallStartNibbles& n) override;
    void OnCallEnd(const AtsSettings& ats, const CallEndNibbles& n) override;

    // The largest duration the day file's DLIT (Smallint) holds; a longer one
    // is stored as this value and the true one logged (DestTar keeps it).
    static constexpr int kMaxDlit = 32767;

private:
    void EndFailed();
    DestinationLookup Lookup(bool foreign);

    const AppState& m_app;
    TTariffTables& m_tables;
};
