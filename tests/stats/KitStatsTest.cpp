// The cord and battery-receiver statistics without a line: the requests of
// racks and receiver counts, and the colour rules.
#include "stats/CordStats.h"
#include "stats/StatPbAts.h"

#include <gtest/gtest.h>

using namespace stats;

TEST(KitStats, CordRacksStatesAndKinds) {
    TStatVskAts vsk;
    StatFields fields;
    fields.StatBase[13] = 0x6000;
    EXPECT_EQ(StepDirective(vsk.StatesStep(0x0F, fields), fields),
              QStringLiteral("ТО_8,61E0,7F,10,,1-"));

    uint8_t kind[4] = {0, 0, 0, 0};
    vsk.Decode(vsk.OverviewSteps()[1], kind, fields);
    EXPECT_EQ(vsk.OverviewCaption(), QStringLiteral("Статистика ВШК. Спаренный( Сельская АТС)"));
    kind[3] = 1;
    vsk.Decode(vsk.OverviewSteps()[1], kind, fields);
    EXPECT_EQ(vsk.ExchangeKindText(),
              QStringLiteral("Не спаренный( Городская, учрежденческая АТС)"));

    // State of word i (nibble 4i, bits 3-1) is position 31 - i.
    uint8_t states[128] = {};
    for (int s = 0; s < 8; ++s)
        states[4 * (31 - s)] = uint8_t(s << 1);
    vsk.Decode(*vsk.Step(CordStats::kStatesStep), states, fields);
    const std::optional<uint32_t> expected[8] = {colour::kGreen,  std::nullopt, colour::kPurple,
                                                 colour::kYellow, std::nullopt, colour::kPurple,
                                                 std::nullopt,    std::nullopt};
    for (int s = 0; s < 8; ++s)
        EXPECT_EQ(vsk.KitColour(s), expected[s]) << s;
}

TEST(KitStats, BatteryReceiverLengthsRoundUp) {
    // receivers → length field
    const std::pair<int, const char*> cases[] = {
        {64, "F"}, {63, "F"}, {5, "1"}, {3, "0"}, {1, "0"}};
    for (const auto& [count, length] : cases) {
        const auto steps = TStatPbAts::TableSteps(count - 1);
        ASSERT_EQ(steps.size(), 2u);
        const QString tail = QLatin1Char(',') + QLatin1String(length) + QStringLiteral(",10,,1-");
        EXPECT_EQ(StepDirective(steps[0], {}), QStringLiteral("ТО_8,5FC4") + tail) << count;
        EXPECT_EQ(StepDirective(steps[1], {}), QStringLiteral("ТО_8,2254") + tail) << count;
        EXPECT_EQ(StepDirective(TStatPbAts::BusyStep(count - 1), {}),
                  QStringLiteral("ТО_8,2224") + tail)
            << count;
    }
}

TEST(KitStats, BatteryReceiverColoursByStep) {
    TStatPbAts pb;
    StatFields fields;
    uint8_t count[4] = {0, 1, 6, 2}; // (6 & 3) * 16 + 2 = 34
    pb.Decode(TStatPbAts::CountStep(), count, fields);
    ASSERT_EQ(fields.PbLastKit, 34);
    // Receiver i is element 34 - i. Receiver 0 excluded, 1 blocked.
    uint8_t bits[64] = {};
    int repaints = 0;
    pb.Repaint = [&](int, int last) {
        EXPECT_EQ(last, 34);
        ++repaints;
    };
    auto frame = [&](int code, bool decode) {
        pb.Frame(*pb.Step(code), bits, fields);
        if (decode) pb.Decode(*pb.Step(code), bits, fields);
    };
    bits[34] = 1;
    frame(TStatPbAts::kExcludedStep, false); // an unused frame repaints too
    EXPECT_EQ(pb.ReceiverColour(0, TStatPbAts::kExcludedStep), colour::kButtonFace);
    EXPECT_EQ(pb.ReceiverColour(1, TStatPbAts::kExcludedStep), colour::kGreen);
    frame(TStatPbAts::kExcludedStep, true);
    bits[34] = 0;
    bits[33] = 1;
    frame(TStatPbAts::kBlockedStep, true);
    EXPECT_FALSE(pb.ReceiverColour(0, TStatPbAts::kBlockedStep).has_value());
    EXPECT_EQ(pb.ReceiverColour(1, TStatPbAts::kBlockedStep), colour::kPurple);
    EXPECT_EQ(pb.ReceiverColour(2, TStatPbAts::kBlockedStep), colour::kGreen);
    // Live: busy and free alike leave excluded and blocked receivers alone.
    for (uint8_t busy : {0, 1}) {
        std::fill(std::begin(bits), std::end(bits), busy);
        frame(TStatPbAts::kBusyStep, true);
        EXPECT_FALSE(pb.ReceiverColour(0, TStatPbAts::kBusyStep).has_value());
        EXPECT_FALSE(pb.ReceiverColour(1, TStatPbAts::kBusyStep).has_value());
        EXPECT_EQ(pb.ReceiverColour(34, TStatPbAts::kBusyStep),
                  busy ? colour::kYellow : colour::kGreen);
    }
    EXPECT_EQ(repaints, 5);
    EXPECT_EQ(pb.PbCurrent[35], 0); // nothing is taken beyond the count
}
