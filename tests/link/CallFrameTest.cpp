// The call-frame codec against frames written out nibble by nibble.
#include "link/CallFrame.h"
#include "link/LineCode.h"

#include <gtest/gtest.h>

namespace {
template <size_t N>
std::array<uint8_t, N> Codes(const std::array<uint8_t, N>& nibbles, uint8_t mark) {
    std::array<uint8_t, N> c{};
    c[0] = c[1] = c[2] = 11;
    c[3] = mark;
    for (size_t i = 4; i < N; ++i)
        c[i] = LineCode::CodeOfNibble(nibbles[i]);
    return c;
}
} // namespace

TEST(CallFrame, StartFrameFieldsSitWhereTheExchangePutsThem) {
    // Kit 0x5A3, A 21234 (5 digits), B 8495123 (7 digits), category 8.
    const CallStartNibbles n = {10, 10, 10, 1, 0, 13, 10, 3, 5, 0, 0, 2, 1, 2,
                                3,  4,  7,  3, 2, 1,  5,  9, 4, 8, 8, 0, 0, 0};
    // Kit, A and its digit count, B and its digit count, category.
    const auto fields = [](const CallStart& c) {
        return std::make_tuple(c.kit, c.a, c.aDigits, c.b, c.bDigits, c.category);
    };
    EXPECT_EQ(fields(DecodeCallStart(n)), std::make_tuple(0x5A3, 21234LL, 5, 8495123LL, 7, 8));
    EXPECT_EQ(CallStartCodes(0x5A3, QStringLiteral("21234"), QStringLiteral("8495123"), 8),
              Codes(n, 17));
    EXPECT_EQ(FrameNibbles<28>(Codes(n, 17).data()), n);

    // An A number of 8 digits keeps its last seven; a B number of 11 its
    // first seven; the counts go as sent.
    const auto longer = FrameNibbles<28>(
        CallStartCodes(7, QStringLiteral("82345678"), QStringLiteral("81037512345"), 9)->data());
    EXPECT_EQ(fields(DecodeCallStart(longer)), std::make_tuple(7, 2345678LL, 8, 8103751LL, 11, 9));
    // N5 below 8 marks an unusable frame.
    CallStartNibbles bad = n;
    bad[5] = 7;
    EXPECT_LT(DecodeCallStart(bad).kit, 0);
}

TEST(CallFrame, EndFrameCarriesTheDialledDigitsReversed) {
    // Kit 12, B 8495123: nibble 15 holds the first digit.
    const CallEndNibbles n = {10, 10, 10, 0, 0, 8, 0, 12, 0, 3, 2, 1, 5, 9, 4, 8};
    const CallEnd e = DecodeCallEnd(n);
    EXPECT_EQ(e.kit, 12);
    EXPECT_EQ(e.B(7), 8495123);
    EXPECT_EQ(e.B(3), 849);
    EXPECT_EQ(e.B(0), 0);
    EXPECT_EQ(CallEndCodes(12, QStringLiteral("8495123")), Codes(n, 1));

    EXPECT_FALSE(CallEndCodes(2048, QStringLiteral("1")));
    EXPECT_FALSE(CallEndCodes(-1, QStringLiteral("1")));
    EXPECT_FALSE(CallStartCodes(1, QStringLiteral("1A"), QStringLiteral("2"), 1));
    EXPECT_FALSE(CallStartCodes(1, QStringLiteral("1"), QString(), 1));
}
