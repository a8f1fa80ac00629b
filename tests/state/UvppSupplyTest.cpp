// The "УВП с ПАКР" unit's 15 V supply (bit 8), in both sections, either way
// the state differs from its reference.
#include "StateTestSupport.h"
#include "state/UnitState.h"

#include <gtest/gtest.h>

TEST(UnitStateUvpp, SupplyFifteenVoltsIsReportedInBothSections) {
    using unitstate::Result;
    using unitstate::Unit;
    // Bit 8 set against a clear reference.
    EXPECT_EQ(Result(Unit::UVPP, {QStringLiteral("3"), QStringLiteral("0100"),
                                  QStringLiteral("0100"), QString(), QString()}),
              Utf8List({"Номер статива - 3", "Ly по Lxe", "БП \"15\" 0 БГ - неисправно",
                        "Ly по Lxf", "БП \"15\" 1 БГ - неисправно"}));
    // Clear against a reference that has it (00100 weighs 0x100).
    EXPECT_EQ(
        Result(Unit::UVPP, {QStringLiteral("3"), QString(), QStringLiteral("0100"),
                            QStringLiteral("00100"), QStringLiteral("00100")}),
        Utf8List({"Номер статива - 3", "Ly по Lxe", "БП \"15\" 0 БГ - неисправно", "Ly по Lxf"}));
    // Set in both: sound.
    EXPECT_EQ(Result(Unit::UVPP, {QStringLiteral("3"), QStringLiteral("0100"), QString(),
                                  QStringLiteral("00100"), QString()})
                  .size(),
              3);
}
