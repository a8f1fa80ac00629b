// The trunk statistics without a line: values and directives, the loads and
// colours of directions and kits, the hints, the tables.
#include "TestSupport.h"

#include "stats/StatIKAts.h"
#include "stats/StatVKAts.h"

#include <QDir>
#include <gtest/gtest.h>

using namespace stats;

TEST(StatValues, ShortHexDirectivesAndLoads) {
    EXPECT_EQ(ShortHex(0), QStringLiteral("0"));
    EXPECT_EQ(ShortHex(0x0D80), QStringLiteral("D80"));
    EXPECT_EQ(ShortHex(0x2230), QStringLiteral("2230"));
    EXPECT_EQ(ShortHex(0x1FFFF), QStringLiteral("FFFF"));
    EXPECT_EQ(ReadDirective(0x5B2C, 4), QStringLiteral("ТО_8,5B2C,3,10,,1-"));
    EXPECT_EQ(ReadDirective(0x5100, 768), QStringLiteral("ТО_8,5100,2FF,10,,1-"));

    // Rounded to the nearest, ties to even; 30 and 60 are lime.
    EXPECT_EQ(LoadPercent(1, 0, 8), 12);
    EXPECT_EQ(LoadPercent(3, 0, 8), 38);
    EXPECT_EQ(LoadPercent(1, 3, 8), -25);
    EXPECT_EQ(LoadPercent(5, 0, 0), 0);
    EXPECT_EQ(LoadColour(0), colour::kOlive);
    EXPECT_EQ(LoadColour(29), colour::kGreen);
    EXPECT_EQ(LoadColour(LoadPercent(3, 0, 10)), colour::kLime);
    EXPECT_EQ(LoadColour(LoadPercent(6, 0, 10)), colour::kLime);
    EXPECT_EQ(LoadColour(61), colour::kYellow);
    EXPECT_FALSE(LoadColour(-1).has_value());
    EXPECT_EQ(LoadHintText(colour::kLime), QStringLiteral("Загрузка 30-60%"));
    EXPECT_TRUE(LoadHintText(colour::kPurple).isEmpty());
    EXPECT_TRUE(KitStatusText(colour::kLime).isEmpty());
}

namespace {
// Kits 0..9 in direction 2: 0..7 present, 8 absent, 9 absent and blocked.
struct Trunks : ::testing::Test {
    TestEnv env;
    TStatVKAts vk{env.Dir()};
    TStatIKAts ik{env.Dir()};

    void Fill(TrunkStats& s) {
        for (int k = 0; k < 10; ++k) {
            s.Exist[size_t(k)] = k < 8;
            s.Napr[size_t(k)] = uint8_t(2 | (k % 4) << 6); // bundle kind in bits 6-7
            s.Type[size_t(k)] = 15;
        }
        s.Okp[9] = 5;
        s.DirWord[2] = (3u << 12) | (1u << 20) | (1u << 26) | (1u << 27);
        s.Kits = s.RowsFromArrays();
        s.Members = s.MembersFromArrays();
    }
    void Busy(TrunkStats& s, int n) {
        s.Busy.fill(0);
        for (int k = 0; k < n; ++k)
            s.Busy[size_t(k)] = 1;
    }
};
} // namespace

TEST_F(Trunks, DirectionLoadColoursAndDetail) {
    Fill(vk);
    EXPECT_TRUE(vk.IsMember(9, 2));
    EXPECT_EQ(vk.PresentMembers(2), 8);
    // 8 present, 1 blocked: 3 busy → (3-1)/8 = 25 % green; 6 busy → 63 % yellow.
    Busy(vk, 3);
    EXPECT_EQ(vk.DirectionLook(2), (PanelLook{colour::kGreen, true}));
    Busy(vk, 6);
    EXPECT_EQ(vk.DirectionLook(2), (PanelLook{colour::kYellow, true}));
    // More blocked than busy: the colour is kept (purple of the blocked kit).
    vk.Kits[3].Okp = 2;
    vk.Kits[4].Okp = 2;
    Busy(vk, 1);
    EXPECT_EQ(vk.DirectionLook(2), (PanelLook{colour::kPurple, true}));
    const TrunkStats::Detail d = vk.DirectionDetail(2);
    EXPECT_EQ(d.LoadText(), QStringLiteral("-25%"));
    EXPECT_EQ(d.blocked, 3);
    EXPECT_EQ(d.kits[0], (PanelLook{colour::kLime, true}));
    EXPECT_EQ(d.kits[1], (PanelLook{colour::kGreen, true}));
    EXPECT_EQ(d.kits[3], (PanelLook{colour::kPurple, true}));
    EXPECT_EQ(d.kits[8], (PanelLook{std::nullopt, false})); // member, absent
    EXPECT_EQ(d.kits[20], (PanelLook{colour::kButtonFace, false}));
    // Members but none present: lowered, colour kept; no members at all too.
    for (auto& k : vk.Kits)
        k.Exist = 0;
    EXPECT_EQ(vk.DirectionLook(2), (PanelLook{colour::kPurple, false}));
    EXPECT_EQ(vk.DirectionLook(5), (PanelLook{}));
    EXPECT_EQ(vk.DirectionDetail(5).LoadText(), QStringLiteral("0"));
}

TEST_F(Trunks, KitRowsHintsAndHeader) {
    Fill(vk);
    // The direction byte's bits 6-7 are the bundle kind, not the direction.
    EXPECT_EQ(vk.Kits[3].Napr, 2);
    EXPECT_EQ(vk.Kits[3].KVPNapr, 3);
    EXPECT_EQ(vk.KitHint(3), QStringLiteral("BK 3\r\nНаличие Есть\r\nТип Псевдо ВК\r\n"
                                            "Направление 2\r\nКВП Резерв"));
    const auto header = vk.HeaderRecord(2);
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->Attr[TrunkKitRecord::TypePN], 3);
    EXPECT_EQ(header->Attr[TrunkKitRecord::Aon], 1);
    EXPECT_EQ(header->Attr[TrunkKitRecord::PrIN], 1);
    EXPECT_EQ(header->Attr[TrunkKitRecord::Sz], 1);
    EXPECT_FALSE(vk.HeaderRecord(7).has_value());

    Fill(ik);
    EXPECT_EQ(ik.KitHint(0),
              QStringLiteral("ИK 0\r\nНаличие Есть\r\nТип Псевдо ИК\r\nНаправление 2"));
    EXPECT_EQ(ik.Members[200], QString(192, QLatin1Char('0')));
    EXPECT_EQ(ik.DirectionLook(200), (PanelLook{}));
}

TEST_F(Trunks, TablesAreCreatedWrittenAndLoaded) {
    Fill(vk);
    TrunkTables& t = vk.Tables();
    // Only the pair of the exchange read.
    ASSERT_TRUE(t.Open(1)) << t.LastError().toStdString();
    EXPECT_EQ(QDir(env.Path(QStringLiteral("Tables"))).entryList({QStringLiteral("Table*")}),
              QStringList({QStringLiteral("TableNaprVK1.db"), QStringLiteral("TableVK1.db")}));
    EXPECT_FALSE(t.BothHoldRows());
    ASSERT_TRUE(vk.WriteTables()) << t.LastError().toStdString();
    EXPECT_TRUE(t.BothHoldRows());
    const auto written = vk.Kits;
    const auto members = vk.Members;
    vk.Kits.assign(192, {});
    vk.Members.assign(32, QString());
    ASSERT_TRUE(vk.LoadRecords());
    EXPECT_EQ(vk.Kits, written);
    EXPECT_EQ(vk.Members, members);
    EXPECT_FALSE(t.Open(5)); // no pair for another number
}
