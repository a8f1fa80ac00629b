#include "tariff/Billing.h"

namespace {
constexpr qint64 kMsPerDay = 86400000;
const QString kNotFound = QStringLiteral("Not found");

// The first key found after the access prefix, trying the longest first.
bool Search(const DestinationLookup& lookup, const QString& dialled, const QString& prefix,
            QString& code, double& tariff) {
    if (!lookup || !dialled.startsWith(prefix)) return false;
    const QString rest = dialled.mid(prefix.size());
    for (qsizetype len = rest.size(); len >= 1; --len) {
        if (const auto d = lookup(rest.left(len))) {
            code = d->code;
            tariff = d->tariff;
            return true;
        }
    }
    return false;
}
} // namespace

CallBill BillCall(const BillingRules& rules, qint64 elapsedMs, int category, qint64 dialled,
                  const DestinationLookup& sng, const DestinationLookup& foren) {
    CallBill bill;
    bill.b = dialled;
    // Elapsed time as a time of day: whole days drop out.
    const qint64 ms = qAbs(elapsedMs) % kMsPerDay;
    const qint64 h = ms / 3600000;
    const qint64 m = ms / 60000 % 60;
    const qint64 s = ms / 1000 % 60;
    const qint64 seconds = h * 3600 + m * 60 + s;
    if (seconds < rules.maxNoPaneTime) {
        bill.outcome = CallBill::Free;
        return bill;
    }
    switch (rules.timeMode) {
    case 0:
        bill.duration = h * 60 + m + (s > rules.maxNoPaneTime ? 1 : 0);
        break;
    case 2:
        bill.duration = seconds * 1000 + ms % 1000;
        break;
    default:
        bill.duration = seconds;
        break;
    }

    QString digits = QString::number(dialled);
    if (rules.slCheck && category > 2 && digits.startsWith(rules.sl)) {
        digits = digits.mid(rules.sl.size());
        bool ok = false;
        bill.b = digits.toLongLong(&ok);
        if (!ok) {
            bill.outcome = CallBill::NoDigitsLeft;
            return bill;
        }
    }
    if (category > 7 && !Search(sng, digits, rules.mg, bill.code, bill.tariff) &&
        !Search(foren, digits, rules.mn, bill.codeForeign, bill.tariff)) {
        bill.code = kNotFound;
        bill.codeForeign = kNotFound;
    }
    return bill;
}
