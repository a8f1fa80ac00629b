// The subscriber, cord and battery-receiver statistics without a line: the
// requests of blocks, racks and receiver counts, and the colour rules.
#include "stats/StatAK.h"
#include "stats/StatCord.h"
#include "stats/StatPB.h"

#include <gtest/gtest.h>

using namespace stats;

TEST(KitStats, SubscriberBlockRequestsAndColours) {
    EXPECT_EQ(StepDirective(TStatAKAts::BlockedStep(0x1F), {}),
              QStringLiteral("ТО_8,DFC,F,10,,1-"));
    EXPECT_EQ(StepDirective(TStatAKAts::FreeStep(0x1F), {}), QStringLiteral("ТО_8,E7C,F,10,,1-"));
    EXPECT_EQ(TStatAKAts::FreeStep(0).FrameLen(), 19);
    EXPECT_EQ(TStatAKAts::BlockRange(1), QStringLiteral("40-7F"));

    TStatAKAts ak;
    StatFields fields;
    uint8_t bits[64] = {};
    bits[63 - 5] = 1; // position 5 blocked
    ak.Decode(*ak.Step(TStatAKAts::kBlockedStep), bits, fields);
    EXPECT_EQ(ak.BlockedColour(5), colour::kPurple);
    EXPECT_EQ(ak.BlockedColour(6), colour::kGreen);
    for (uint8_t free : {0, 1}) {
        std::fill(std::begin(bits), std::end(bits), free);
        ak.Decode(*ak.Step(TStatAKAts::kFreeStep), bits, fields);
        EXPECT_FALSE(ak.LiveColour(5).has_value()); // stays purple
        EXPECT_EQ(ak.LiveColour(6), free ? colour::kGreen : colour::kYellow);
    }
}

TEST(KitStats, CordRacksStatesAndKinds) {
    TStatVskAts vsk;
    StatFields fields;
    fields.StatBase[13] = 0x6000;
    EXPECT_EQ(StepDirective(vsk.StatesStep(0x0F, fields), fields),
              QStringLiteral("ТО_8,61E0,7F,10,,1-"));
    EXPECT_EQ(vsk.StatesStep(0, fields).FrameLen(), 131);
    EXPECT_EQ(StepDirective(vsk.OverviewSteps()[0], fields), QStringLiteral("ТО_8,4086,3,10,,1-"));
    EXPECT_EQ(vsk.OverviewSteps()[0].storeSlot, 13);
    EXPECT_EQ(TStatIskAts().OverviewSteps()[0].storeSlot, 12);

    uint8_t kind[4] = {0, 0, 0, 0};
    vsk.Decode(vsk.OverviewSteps()[1], kind, fields);
    EXPECT_EQ(vsk.OverviewCaption(), QStringLiteral("Статистика ВШК. Спаренный( Сельская АТС)"));
    kind[3] = 1;
    vsk.Decode(vsk.OverviewSteps()[1], kind, fields);
    EXPECT_EQ(vsk.ExchangeKindText(),
              QStringLiteral("Не спаренный( Городская, учрежденческая АТС)"));

    uint8_t racks[64] = {};
    racks[63 - 4 * 3 - 2] = 1; // one bit of rack 3
    vsk.Decode(vsk.OverviewSteps()[2], racks, fields);
    EXPECT_EQ(vsk.RackLook(3), (PanelLook{colour::kGreen, true}));
    EXPECT_EQ(vsk.RackLook(4), (PanelLook{colour::kButtonFace, false}));

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
    EXPECT_EQ(TStatPbAts::BusyStep(63).FrameLen(), 19);
    EXPECT_TRUE(TStatPbAts::BusyStep(63).live);
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
