#pragma once
// The billing rule of one call, apart from the tables: how long the call
// counts (by duration mode, with the free-call limit), the extra digit taken
// off the dialled number, and the destination found in the long-distance and
// international code tables (longest key first).
#include <QString>

#include <functional>
#include <optional>

struct BillingRules {
    int timeMode = 1;      // 0 minutes, 1 seconds, 2 milliseconds, other: seconds
    int maxNoPaneTime = 0; // calls shorter than this (s) are free
    bool slCheck = false;  // take the extra digit(s) SL off when category > 2
    QString sl = QStringLiteral("9");
    QString mg = QStringLiteral("8");   // long-distance access
    QString mn = QStringLiteral("810"); // international access
};

struct Destination {
    QString code;
    double tariff = 0;
};
// Looks a destination code up; nullopt when there is none (or the lookup fails).
using DestinationLookup = std::function<std::optional<Destination>(const QString& key)>;

struct CallBill {
    enum Outcome {
        Billed,
        Free,        // shorter than the free-call limit: not billed
        NoDigitsLeft // the dialled number was only the extra digit(s)
    };
    Outcome outcome = Billed;
    qint64 duration = 0; // in the unit of the duration mode
    qint64 b = 0;        // dialled number after the extra digit is taken off
    QString code;        // found in the long-distance table, or "Not found"
    QString codeForeign; // found in the international table, or "Not found"
    double tariff = 0;
};

// elapsedMs: from the call's start to its end (whole days drop out); dialled:
// the B number as matched. Destinations are looked for only when category > 7.
CallBill BillCall(const BillingRules& rules, qint64 elapsedMs, int category, qint64 dialled,
                  const DestinationLookup& sng, const DestinationLookup& foren);
