// The mask engine without widgets: the free directive mask, a template mask
// and the small field masks.
#include "directives/MaskEngine.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {
const QString kFree = QStringLiteral(">ll_cccccccccccccccccccccc;1;_");
} // namespace

TEST(MaskEngine, FreeMaskShowsBlanksAndReadsSpaces) {
    MaskEngine m(kFree);
    ASSERT_EQ(m.Length(), 25);
    EXPECT_EQ(m.EditText(), QString(25, QLatin1Char('_')));
    EXPECT_EQ(m.Text(), QStringLiteral("  _") + QString(22, QLatin1Char(' ')));
    EXPECT_TRUE(m.IsLiteral(2));
    EXPECT_EQ(m.NextInput(2), 3);
    EXPECT_EQ(m.PrevInput(3), 1);

    // The reset text (all blank characters) leaves every position unfilled.
    m.SetText(QString(25, QLatin1Char('_')));
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("  _"));
}

TEST(MaskEngine, TypingForcesCapitalsSkipsLiteralsAndRefusesMisfits) {
    MaskEngine m(kFree);
    auto caret = m.Type(0, QLatin1Char('t'));
    ASSERT_TRUE(caret);
    EXPECT_EQ(*caret, 1);
    caret = m.Type(*caret, QChar(0x043E)); // о
    ASSERT_TRUE(caret);
    EXPECT_EQ(*caret, 3) << "the caret passes over the literal _";
    EXPECT_FALSE(m.Type(0, QLatin1Char('5'))) << "a digit is no letter";
    caret = m.Type(3, QLatin1Char('e'));
    ASSERT_TRUE(caret);
    const QString to = QStringLiteral("T") + QChar(0x041E) + QStringLiteral("_");
    EXPECT_EQ(Trimmed(m.Text()), to + QStringLiteral("E"));

    // Overwrite, blanking by space, backspace over the literal.
    m.Type(3, QLatin1Char('5'));
    EXPECT_EQ(Trimmed(m.Text()), to + QStringLiteral("5"));
    EXPECT_EQ(m.Backspace(3), 1);
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("T _5"));
    m.Type(3, QLatin1Char(' '));
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("T _"));
    // Typing the literal itself at its position moves past it; the separator
    // typed again just after it (the caret had passed it already) is absorbed.
    EXPECT_EQ(m.Type(2, QLatin1Char('_')).value_or(-1), 3);
    EXPECT_EQ(m.Type(3, QLatin1Char('_')).value_or(-1), 3);
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("T _"));
    // Elsewhere the blank character blanks its position, as after SetText.
    m.Type(3, QLatin1Char('7'));
    m.Type(4, QLatin1Char('7'));
    EXPECT_EQ(m.Type(4, QLatin1Char('_')).value_or(-1), 5);
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("T _7"));
    // Nothing past the last position.
    for (int p = 3; p < 25; ++p)
        m.Type(p, QLatin1Char('9'));
    EXPECT_FALSE(m.Type(25, QLatin1Char('9')));
    EXPECT_EQ(m.Text().size(), 25);
}

TEST(MaskEngine, SetTextFollowsLiteralsAndCutsAtTheEnd) {
    MaskEngine m(kFree);
    m.SetText(QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(Trimmed(m.Text()), QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(m.EditText(), QString::fromUtf8("ТО_5,-") + QString(19, QLatin1Char('_')));

    // A directive without its first letters keeps "_" on the literal.
    m.SetText(QStringLiteral("_-"));
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("  _-"));
    m.SetText(QString::fromUtf8("Т_5,-"));
    EXPECT_EQ(Trimmed(m.Text()), QString::fromUtf8("Т _5,-"));
    // Small letters become capitals; misfits are dropped.
    m.SetText(QString::fromUtf8("ук_1-"));
    EXPECT_EQ(Trimmed(m.Text()), QString::fromUtf8("УК_1-"));
    m.SetText(QString::fromUtf8("1У2К_1-"));
    EXPECT_EQ(Trimmed(m.Text()), QString::fromUtf8("УК_1-"));
    // Longer than the line: cut at 25 positions.
    m.SetText(QString::fromUtf8("ЗЯ_") + QString(40, QLatin1Char('7')));
    EXPECT_EQ(m.Text(), QString::fromUtf8("ЗЯ_") + QString(22, QLatin1Char('7')));
    m.SetText(QString());
    EXPECT_EQ(Trimmed(m.Text()), QStringLiteral("  _"));
}

// Every template of the catalogue is checked against its hint in the
// catalogue's tests; here one template as a worked example.
TEST(MaskEngine, TemplateShowsItsLiteralsTakesItsTextAndRequiresItsDigits) {
    MaskEngine m(QString::fromUtf8(">ТО_\\3\\3,ccc,ccc,\\1,\\A-;1;_"));
    EXPECT_EQ(m.Text(), QString::fromUtf8("ТО_33,   ,   ,1,A-"));
    EXPECT_EQ(m.NextInput(0), 6);
    auto caret = m.Type(6, QLatin1Char('1'));
    ASSERT_TRUE(caret);
    EXPECT_EQ(*caret, 7);
    for (int p = *caret; p < m.Length(); p = *m.Type(p, QLatin1Char('7')))
        ;
    EXPECT_EQ(m.Text(), QString::fromUtf8("ТО_33,177,777,1,A-"));
    EXPECT_TRUE(m.IsComplete());
    MaskEngine f(QString::fromUtf8(">ТО_\\F,\\0,,,cc,cc-;1;_"));
    f.SetText(QString::fromUtf8("ТО_F,0,,,12,34-"));
    EXPECT_EQ(f.Text(), QString::fromUtf8("ТО_F,0,,,12,34-"));

    // A required digit.
    MaskEngine pm(QString::fromUtf8(">ПМ_0\\-;1;_"));
    EXPECT_FALSE(pm.IsComplete());
    EXPECT_FALSE(pm.Type(3, QLatin1Char('x')));
    ASSERT_TRUE(pm.Type(3, QLatin1Char('4')));
    EXPECT_EQ(pm.Text(), QString::fromUtf8("ПМ_4-"));
    EXPECT_TRUE(pm.IsComplete());
}

TEST(MaskEngine, FieldMasksOfTheDialogsAndTimeEditors) {
    MaskEngine time(QStringLiteral("!90:00;1;_"));
    ASSERT_EQ(time.Length(), 5);
    time.SetText(QStringLiteral("01:00"));
    EXPECT_EQ(time.Text(), QStringLiteral("01:00"));
    EXPECT_EQ(time.Type(0, QLatin1Char('2')).value_or(-1), 1);
    EXPECT_EQ(time.Type(1, QLatin1Char('3')).value_or(-1), 3);
    EXPECT_FALSE(time.Type(3, QLatin1Char('a')));
    EXPECT_EQ(time.Text(), QStringLiteral("23:00"));

    MaskEngine addr(QStringLiteral(">aaaaa;1;_"));
    addr.SetText(QStringLiteral("5f3c0"));
    EXPECT_EQ(addr.Text(), QStringLiteral("5F3C0"));
    EXPECT_FALSE(addr.Type(0, QLatin1Char(',')));
}
