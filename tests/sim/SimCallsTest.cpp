// The call generator and the calls of the simulated exchange.
#include "Calls.h"
#include "Exchange.h"
#include "Image.h"
#include "link/LineCode.h"

#include <gtest/gtest.h>

using namespace sim;

namespace {
// Kit of the call frame starting at codes[at].
int KitAt(const std::vector<uint8_t>& codes, size_t at) {
    auto n = [&](size_t k) { return LineCode::Nibble(codes[at + k]); };
    return (n(5) - 8) * 256 + n(6) * 16 + n(7);
}

SimOptions Options(double rate) {
    SimOptions o;
    o.seed = 3;
    o.callsPerMinute = rate;
    o.animateMs = 0;
    return o;
}
} // namespace

TEST(SimCalls, GeneratorIsRepeatableAndUsesTheAccessPrefixes) {
    CallGenerator a(42), b(42);
    int local = 0, trunk = 0, intl = 0;
    auto any = [](int) { return true; };
    for (int i = 0; i < 400; ++i) {
        const auto ca = a.Next(any), cb = b.Next(any);
        ASSERT_TRUE(ca && cb);
        EXPECT_EQ(ca->b, cb->b);
        EXPECT_EQ(ca->kit, cb->kit);
        EXPECT_EQ(a.Interval(6), b.Interval(6));
        EXPECT_LE(ca->b.size(), 7);
        if (ca->b.startsWith(QStringLiteral("810"))) {
            ++intl;
            EXPECT_GT(ca->category, 7);
        } else if (ca->b.startsWith(QLatin1Char('8'))) {
            ++trunk;
            EXPECT_GT(ca->category, 7);
        } else {
            ++local;
        }
    }
    EXPECT_GT(local, trunk);
    EXPECT_GT(trunk, 0);
    EXPECT_GT(intl, 0);
    EXPECT_FALSE(a.Next([](int) { return false; }));
}

TEST(SimCalls, GeneratedCallsStartAndEndOnFreeKits) {
    SimExchange ex(Options(60));
    ex.Tick(0);
    EXPECT_TRUE(ex.TakeAll(0).empty()); // the line has not come alive yet
    const uint8_t space = 4;
    ex.Receive(&space, 1, 0);

    int starts = 0, ends = 0;
    std::vector<int> open;
    for (int64_t t = 0; t <= 600000; t += 250) {
        ex.Tick(t);
        const auto out = ex.TakeAll(t);
        for (size_t i = 0; i + 3 < out.size();) {
            if (out[i] == 11 && out[i + 3] == 17) { // a call starts: 28 codes
                ASSERT_LE(i + 28, out.size());
                const int kit = KitAt(out, i);
                EXPECT_TRUE(SubscriberPresent(ex.Memory(), kit));
                EXPECT_TRUE(SubscriberBusy(ex.Memory(), kit));
                EXPECT_EQ(std::count(open.begin(), open.end(), kit), 0);
                open.push_back(kit);
                ++starts;
                i += 28;
            } else if (out[i] == 11 && out[i + 3] == 1) { // a call ends: 16 codes
                ASSERT_LE(i + 16, out.size());
                const auto it = std::find(open.begin(), open.end(), KitAt(out, i));
                ASSERT_NE(it, open.end());
                open.erase(it);
                ++ends;
                i += 16;
            } else {
                ADD_FAILURE() << "stray code " << int(out[i]);
                ++i;
            }
        }
    }
    // About sixty a minute for ten minutes.
    EXPECT_GT(starts, 400);
    EXPECT_LT(starts, 800);
    EXPECT_EQ(ends + int(ex.ActiveCalls()), starts);
}

TEST(SimCalls, CommandsEmitCallsAndFaults) {
    SimExchange ex(Options(0));
    EXPECT_TRUE(ex.Command(QStringLiteral("call 20005 8104951 9 2"), 0).ok);
    auto out = ex.TakeAll(0);
    ASSERT_EQ(out.size(), 28u);
    EXPECT_EQ(LineCode::Nibble(out[7]), 5); // the kit of subscriber 20005
    ex.Tick(1999);
    EXPECT_TRUE(ex.TakeAll(1999).empty());
    ex.Tick(2000);
    EXPECT_EQ(ex.TakeAll(2000).size(), 16u);

    EXPECT_TRUE(ex.Command(QStringLiteral("end 12 555"), 0).ok);
    EXPECT_TRUE(ex.Command(QStringLiteral("drop 3"), 0).ok);
    out = ex.TakeAll(0);
    EXPECT_EQ(out.size(), 13u);
    EXPECT_EQ(out[0], 1); // header cut short by the dropped codes

    ex.Command(QStringLiteral("end 12 555"), 0);
    ex.Command(QStringLiteral("corrupt 16"), 0);
    const auto good = *CallEndCodes(12, QStringLiteral("555"));
    out = ex.TakeAll(0);
    ASSERT_EQ(out.size(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_NE(out[i], good[i]);
        EXPECT_LT(out[i], 32);
    }

    // Silence: nothing goes out and nothing is heard until it ends.
    ex.Command(QStringLiteral("silent 2"), 1000);
    ex.Command(QStringLiteral("print КОНТРОЛЬ"), 1000);
    const auto mv = std::vector<uint8_t>{0, 0, 28, 19, 4, 27, 3};
    ex.Receive(mv.data(), mv.size(), 1500);
    EXPECT_TRUE(ex.TakeAll(1500).empty());
    EXPECT_EQ(ex.NextDeadline(1500), 3000);
    EXPECT_FALSE(ex.TakeAll(3000).empty()); // only the printout queued before
    EXPECT_EQ(ex.Pending(), 0u);

    for (const char* bad : {"call 1", "raw 32", "print ЧАС" /* Ч has no code */, "frobnicate"})
        EXPECT_FALSE(ex.Command(QString::fromUtf8(bad), 0).ok) << bad;
    EXPECT_TRUE(ex.Command(QStringLiteral("# comment"), 0).ok);
    EXPECT_TRUE(ex.Command(QStringLiteral("quit"), 0).ok);
    EXPECT_TRUE(ex.QuitRequested());
}
