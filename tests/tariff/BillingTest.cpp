// The billing rule of one call, without tables.
#include "tariff/Billing.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <map>

namespace {
DestinationLookup Table(const std::map<QString, double>& codes, QStringList* tried = nullptr) {
    return [codes, tried](const QString& key) -> std::optional<Destination> {
        if (tried) *tried << key;
        const auto it = codes.find(key);
        if (it == codes.end()) return std::nullopt;
        return Destination{key, it->second};
    };
}

CallBill Bill(const BillingRules& r, qint64 ms, int cat = 1, qint64 b = 1234) {
    return BillCall(r, ms, cat, b, Table({}), Table({}));
}
} // namespace

TEST(Billing, DurationByModeWithTheFreeCallLimit) {
    BillingRules r;
    r.timeMode = 0;
    r.maxNoPaneTime = 5;
    // Minutes: a started minute counts once the seconds pass the limit.
    EXPECT_EQ(Bill(r, 65000).duration, 1);
    EXPECT_EQ(Bill(r, 66000).duration, 2);
    EXPECT_EQ(Bill(r, 10000).duration, 1);
    EXPECT_EQ(Bill(r, 4999).outcome, CallBill::Free);
    EXPECT_EQ(Bill(r, 5000).outcome, CallBill::Billed);
    r.timeMode = 1;
    EXPECT_EQ(Bill(r, 4000).outcome, CallBill::Free);
    r.maxNoPaneTime = 0;
    EXPECT_EQ(Bill(r, 0).outcome, CallBill::Billed); // every call, also one of 0 s
    EXPECT_EQ(Bill(r, 0).duration, 0);
    r.timeMode = 2;
    EXPECT_EQ(Bill(r, 32767).duration, 32767);
    EXPECT_EQ(Bill(r, 12345).duration, 12345);
    r.timeMode = 7; // unknown: seconds
    EXPECT_EQ(Bill(r, 2500).duration, 2);
    // A start a day and 30 s ago wraps to 30 s; a clock set back counts by
    // the absolute difference.
    r.timeMode = 1;
    EXPECT_EQ(Bill(r, 86400000 + 30000).duration, 30);
    EXPECT_EQ(Bill(r, -3000).duration, 3);
}

TEST(Billing, ExtraDigitComesOffByCategoryAndMustLeaveDigits) {
    BillingRules r;
    r.slCheck = true;
    EXPECT_EQ(Bill(r, 1000, 3, 91234).b, 1234);
    EXPECT_EQ(Bill(r, 1000, 2, 91234).b, 91234);
    EXPECT_EQ(Bill(r, 1000, 3, 9).outcome, CallBill::NoDigitsLeft);
    r.slCheck = false;
    EXPECT_EQ(Bill(r, 1000, 3, 91234).b, 91234);
}

TEST(Billing, DestinationLongestKeyFirstThenInternational) {
    BillingRules r;
    QStringList tried;
    CallBill b = BillCall(r, 1000, 8, 8495, Table({{"49", 2.5}, {"4", 1.0}}, &tried), Table({}));
    EXPECT_EQ(tried, (QStringList{"495", "49"}));
    EXPECT_EQ(b.code, QStringLiteral("49"));
    EXPECT_EQ(b.tariff, 2.5);
    EXPECT_TRUE(b.codeForeign.isEmpty());

    // "810" begins with "8": the long-distance table is tried first.
    tried.clear();
    QStringList foreign;
    b = BillCall(r, 1000, 8, 8104, Table({}, &tried), Table({{"4", 7.0}}, &foreign));
    EXPECT_EQ(tried, (QStringList{"104", "10", "1"}));
    EXPECT_EQ(foreign, QStringList{"4"});
    EXPECT_TRUE(b.code.isEmpty());
    EXPECT_EQ(b.codeForeign, QStringLiteral("4"));
    EXPECT_EQ(b.tariff, 7.0);

    b = BillCall(r, 1000, 9, 8104, Table({}), Table({}));
    EXPECT_EQ(b.code, QStringLiteral("Not found"));
    EXPECT_EQ(b.codeForeign, QStringLiteral("Not found"));
    EXPECT_EQ(b.tariff, 0.0);
    // Category 7 and below: no destination at all.
    b = BillCall(r, 1000, 7, 8495, Table({{"495", 3.0}}), Table({}));
    EXPECT_TRUE(b.code.isEmpty() && b.codeForeign.isEmpty());
    EXPECT_EQ(b.tariff, 0.0);
}
