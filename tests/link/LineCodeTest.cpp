#include "TestSupport.h"

#include "link/Ats.h"
#include "link/LineCode.h"
#include "link/Notation.h"
#include "platform/Clock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

namespace {
using Codes = std::vector<int>;

// The code table by register, code 0 first: '#' a control code, '_' space.
const QString kLatin = QStringLiteral("#E#A_SIU#DRJNFCKTZLWHYPQOBG#MXV#");
const QString kRussian = QStringLiteral("#Е#А_СИУ#ДРЙНФЦКТЗЛВХЫПЯОБГ#МЬЖ#");
const QString kFigures = QStringLiteral("#3#-_\"87#*4Ю,Э:(5+)2Щ6019?Ш#./=#");

Codes Encode(const QString& text, int capacity = TAts::kEncodedSize) {
    LineCodeState st;
    std::vector<uint8_t> buf(size_t(capacity) + 8, 0xAA);
    const int n = EncodeCodes(st, text, buf.data(), capacity);
    for (size_t i = size_t(capacity); i < buf.size(); ++i)
        EXPECT_EQ(buf[i], 0xAA) << "written past the buffer at " << i;
    return Codes(buf.begin(), buf.begin() + n);
}

QString Decode(LineCodeState& st, const Codes& codes) {
    std::vector<uint8_t> bytes(codes.begin(), codes.end());
    return DecodeCodes(st, bytes.data(), int(bytes.size()), [] { return QStringLiteral("S|"); });
}
} // namespace

TEST(LineCode, EveryCodeDecodesAndEveryCharacterEncodesInItsRegister) {
    const std::pair<int, const QString*> regs[] = {{31, &kLatin}, {0, &kRussian}, {27, &kFigures}};
    for (const auto& [reg, column] : regs) {
        for (int code = 0; code < 32; ++code) {
            SCOPED_TRACE(testing::Message() << "register " << reg << " code " << code);
            LineCodeState st;
            st.RxRegister = uint8_t(reg == 0 ? 27 : 0); // the switch below must take effect
            const QChar c = column->at(code);
            const bool control = c == QLatin1Char('#');
            EXPECT_EQ(Decode(st, {reg, code}), code == 2 ? QStringLiteral("\r\nS|  ")
                                               : control ? QString()
                                                         : QString(c));
            EXPECT_EQ(st.RxRegister, code == 0 || code == 27 || code == 31 ? code : reg);
            if (control || c == QLatin1Char('_')) continue;
            const Codes want = reg == 31 ? Codes{0, code} : Codes{0, reg, code};
            EXPECT_EQ(Encode(QString(c)), want);
            if (c.isLetter()) { // lower case encodes as capitals, but for four without one
                EXPECT_EQ(Encode(QString(c.toLower())),
                          QStringLiteral("ШЩЭЮ").contains(c) ? Codes{0} : want);
            }
        }
    }
}

TEST(LineCode, EncoderExamples) {
    EXPECT_EQ(Encode(QStringLiteral("ТО_5,-")), (Codes{0, 0, 16, 24, 4, 27, 16, 12, 3}));
    EXPECT_EQ(Encode(QString()), Codes{0});
    EXPECT_EQ(Encode(QStringLiteral("_ ")), (Codes{0, 4, 4}));
    EXPECT_EQ(Encode(QStringLiteral("A1")), (Codes{0, 3, 27, 23}));
    // One switch for a run of one register; a digit inside Russian text
    // switches there and back; spaces and line feeds switch nothing.
    EXPECT_EQ(Encode(QStringLiteral("УК")), (Codes{0, 0, 7, 15}));
    EXPECT_EQ(Encode(QStringLiteral("У1К")), (Codes{0, 0, 7, 27, 23, 0, 15}));
    EXPECT_EQ(Encode(QStringLiteral("У К") + QChar(2) + QStringLiteral("Т")),
              (Codes{0, 0, 7, 4, 15, 2, 16}));
    // Characters without a code vanish without a trace.
    EXPECT_EQ(Encode(QStringLiteral("\r\n\tшщэюЧчЪъЁё!#$%&';<>@[]^`{|}~\u4e2d")), Codes{0});
    EXPECT_EQ(Encode(QStringLiteral("У\r\nК")), (Codes{0, 0, 7, 15}));
}

TEST(LineCode, EncoderStopsAtTheEndOfItsBuffer) {
    Codes c = Encode(QString(5000, QLatin1Char('A')));
    EXPECT_EQ(c.size(), size_t(TAts::kEncodedSize));
    // Every character needs a switch: a switch is never left without its
    // character at the end.
    c = Encode(QStringLiteral("Ж1").repeated(3000));
    EXPECT_LE(c.size(), size_t(TAts::kEncodedSize));
    EXPECT_NE(c.back(), 0);
    EXPECT_NE(c.back(), 27);
    EXPECT_EQ(Encode(QStringLiteral("1Ж"), 4), (Codes{0, 27, 23}));
    EXPECT_EQ(Encode(QStringLiteral("ЖЖ"), 3), (Codes{0, 0, 30}));
    EXPECT_EQ(Encode(QStringLiteral("Ж"), 1), Codes{0});
}

TEST(LineCode, DecoderLineFeedsSpacesAndRegisters) {
    LineCodeState st;
    // Latin at the start; a run of line feeds opens one stamped line.
    EXPECT_EQ(Decode(st, {3, 8, 2, 8, 2}), QStringLiteral("A\r\nS|  "));
    EXPECT_TRUE(st.LineStamped);
    EXPECT_EQ(Decode(st, {2, 8}), QString());
    EXPECT_EQ(Decode(st, {4, 2}), QStringLiteral("_\r\nS|  "));
    EXPECT_EQ(Decode(st, {27, 1, 1, 0, 1, 31, 1}), QStringLiteral("33ЕE"));
    // A read that ends on a switch keeps the register for the next read.
    EXPECT_EQ(Decode(st, {27}), QString());
    EXPECT_EQ(st.RxRegister, 27);
    EXPECT_FALSE(st.LineStamped);
    EXPECT_EQ(Decode(st, {23, 22}), QStringLiteral("10"));
    // Bytes above 31 count by their low five bits.
    EXPECT_EQ(Decode(st, {0x20 | 0, 0xE0 | 16, 0x40 | 4}), QStringLiteral("Т_"));
    EXPECT_EQ(Decode(st, {}), QString());
}

TEST(LineCode, RoundTripThroughBothEnds) {
    const QString text = QStringLiteral("Ab c_РЯ_8,2ШЩЭЮ(+)=/?.:\"*эё");
    const Codes c = Encode(text);
    // The leading 0 itself switches a receiver to Russian.
    LineCodeState rx0;
    EXPECT_EQ(Decode(rx0, c), QStringLiteral("АБ_Ц_РЯ_8,2ШЩЭЮ(+)=/?.:\"*"));
}
