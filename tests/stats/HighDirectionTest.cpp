// Trunk kits of directions 32..63: the direction byte's six low bits are the
// direction, from the decoded frame through the kit rows, the membership,
// the tables and the hints; only directions 0..31 have attribute words.
#include "TestSupport.h"

#include "stats/StatIKAts.h"
#include "stats/StatVKAts.h"

#include <gtest/gtest.h>

namespace {

constexpr int kKit = 7;    // in direction 0x25 (37)
constexpr int kLowKit = 8; // in direction 5, the one 37 would alias to

// The direction step's payload: two codes a kit, from kit 191 down.
std::vector<uint8_t> NaprPayload(const std::vector<std::pair<int, uint8_t>>& kits) {
    std::vector<uint8_t> d(2 * TrunkStats::kKits, 0);
    for (auto [kit, byte] : kits) {
        const size_t i = size_t(TrunkStats::kKits - 1 - kit);
        d[2 * i] = byte >> 4;
        d[2 * i + 1] = byte & 15;
    }
    return d;
}

void DecodeNapr(TrunkStats& s, uint8_t highByte) {
    const StatStep* step = s.Step(3);
    ASSERT_NE(step, nullptr);
    StatFields fields;
    const auto data = NaprPayload({{kKit, highByte}, {kLowKit, 0x05}});
    s.Decode(*step, data.data(), fields);
    s.Exist[size_t(kKit)] = s.Exist[size_t(kLowKit)] = 1;
    for (uint32_t& w : s.DirWord)
        w = 0;
    s.DirWord[5] = (2u << 12) | (1u << 20) | (1u << 27); // attributes of direction 5
}

std::string Describe(const TrunkKitRecord& r) {
    std::string out = "kit " + std::to_string(r.Kit) + " exist " + std::to_string(r.Exist) +
                      " napr " + std::to_string(r.Napr) + " bundle " + std::to_string(r.KVPNapr) +
                      " attr";
    for (int a : r.Attr)
        out += ' ' + std::to_string(a);
    return out;
}

// Writes the tables, forgets the records and reads them back.
void RoundTrip(TrunkStats& s) {
    TrunkTables& t = s.Tables();
    ASSERT_TRUE(t.Open(1)) << t.LastError().toStdString();
    ASSERT_TRUE(s.WriteTables()) << t.LastError().toStdString();
    const auto kits = s.Kits;
    const auto members = s.Members;
    s.Kits.assign(size_t(TrunkStats::kKits), {});
    s.Members.assign(members.size(), QString());
    ASSERT_TRUE(s.LoadRecords()) << t.LastError().toStdString();
    for (int k : {kKit, kLowKit})
        EXPECT_EQ(Describe(s.Kits[size_t(k)]), Describe(kits[size_t(k)]));
    EXPECT_TRUE(s.Members == members);
}

} // namespace

TEST(HighDirections, OutgoingKitBelongsToItsOwnDirectionAndHasNoAttributes) {
    TestEnv env;
    TStatIKAts ik(env.Dir());
    DecodeNapr(ik, 0x25);
    ik.Kits = ik.RowsFromArrays();
    ik.Members = ik.MembersFromArrays();
    RoundTrip(ik);

    const TrunkKitRecord& r = ik.Kits[size_t(kKit)];
    EXPECT_EQ(r.Napr, 0x25);
    EXPECT_EQ(r.Attr, (std::array<int, TrunkKitRecord::kAttributes>{}));
    EXPECT_EQ(ik.Kits[size_t(kLowKit)].Attr, (std::array<int, TrunkKitRecord::kAttributes>{}));
    EXPECT_TRUE(ik.IsMember(kKit, 0x25));
    EXPECT_FALSE(ik.IsMember(kKit, 0x05));
    EXPECT_EQ(ik.PresentMembers(0x25), 1);
    EXPECT_EQ(ik.PresentMembers(0x05), 1);
    EXPECT_EQ(ik.HeaderRecord(0x25)->Kit, kKit);
    EXPECT_EQ(ik.KitHint(kKit),
              QStringLiteral("ИK 7\r\nНаличие Есть\r\nТип ИКБ 3\r\nНаправление 25"));
}

TEST(HighDirections, IncomingKitKeepsItsDirectionAndBundleButTakesNoOtherAttributes) {
    TestEnv env;
    TStatVKAts vk(env.Dir());
    DecodeNapr(vk, 0x40 | 0x25); // bundle kind 1, direction 37
    vk.Kits = vk.RowsFromArrays();
    vk.Members = vk.MembersFromArrays();
    RoundTrip(vk);

    const TrunkKitRecord& r = vk.Kits[size_t(kKit)];
    EXPECT_EQ(r.Napr, 0x25);
    EXPECT_EQ(r.KVPNapr, 1);
    // No attribute word beyond 31: none of direction 5's.
    EXPECT_EQ(r.Attr, (std::array<int, TrunkKitRecord::kAttributes>{}));
    EXPECT_EQ(vk.Kits[size_t(kLowKit)].Attr[TrunkKitRecord::TypePN], 2);
    // The 32 panels: the kit is in none of them.
    for (int d = 0; d < 32; ++d)
        EXPECT_FALSE(vk.IsMember(kKit, d)) << d;
    EXPECT_EQ(vk.PresentMembers(5), 1);
    EXPECT_EQ(vk.HeaderRecord(5)->Kit, kLowKit);
    EXPECT_EQ(vk.KitHint(kKit), QStringLiteral("BK 7\r\nНаличие Есть\r\nТип ВКБ 3\r\n"
                                               "Направление 25\r\nКВП Раздельный пучок МШ"));
}
