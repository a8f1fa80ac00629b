#include "console/DirectiveText.h"

#include <gtest/gtest.h>

using DirectiveText::Build;
using DirectiveText::CorrectLayout;

TEST(DirectiveText, BuildStripsBlanksAndEnsuresOneTerminator) {
    EXPECT_EQ(Build(QString::fromUtf8("ТО_5,                   ")).directive,
              QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(Build(QString::fromUtf8("УК_1-")).directive, QString::fromUtf8("УК_1-"));
    // A "-" anywhere (a range, a negative value) means no second one.
    const auto range = Build(QString::fromUtf8("ТО_3E,-1, 2"));
    EXPECT_TRUE(range.hadDash);
    EXPECT_EQ(range.directive, QString::fromUtf8("ТО_3E,-1,2"));
    EXPECT_EQ(Build(QString::fromUtf8("ТО_F,0,,,1 ,2 -")).directive,
              QString::fromUtf8("ТО_F,0,,,1,2-"));
    EXPECT_EQ(Build(QStringLiteral("  _   ")).directive, QStringLiteral("_-"));
    EXPECT_EQ(Build(QString()).directive, QStringLiteral("-"));
}

TEST(DirectiveText, LayoutTablesMapTheKeysOfTheRussianLetters) {
    // A handful of each table; the correction's behaviour is tested below.
    EXPECT_EQ(DirectiveText::FirstLetterFix(QLatin1Char('N')), QChar(0x0422));  // Т
    EXPECT_EQ(DirectiveText::FirstLetterFix(QLatin1Char('j')), QChar(0x041E));  // О
    EXPECT_EQ(DirectiveText::SecondLetterFix(QLatin1Char('J')), QChar(0x041E)); // О
    EXPECT_EQ(DirectiveText::SecondLetterFix(QLatin1Char('Z')), QChar(0x042F)); // Я
    EXPECT_TRUE(DirectiveText::FirstLetterFix(QLatin1Char('A')).isNull());
    EXPECT_TRUE(DirectiveText::SecondLetterFix(QLatin1Char('N')).isNull());
    EXPECT_TRUE(DirectiveText::SecondLetterFix(QChar(0x0422)).isNull());
}

TEST(DirectiveText, CorrectLayoutRewritesTheFirstTwoLetters) {
    auto fix = CorrectLayout(QStringLiteral("N _    "));
    ASSERT_TRUE(fix);
    EXPECT_EQ(fix->text, QString::fromUtf8("Т"));
    EXPECT_EQ(fix->caret, 1);

    fix = CorrectLayout(QString::fromUtf8("ТJ_    "));
    ASSERT_TRUE(fix);
    EXPECT_EQ(fix->text, QString::fromUtf8("ТО"));
    EXPECT_EQ(fix->caret, 3);

    // Both in one text: the second rule works on the result of the first,
    // which is a single letter.
    fix = CorrectLayout(QStringLiteral("NJ_5"));
    ASSERT_TRUE(fix);
    EXPECT_EQ(fix->text, QString::fromUtf8("Т"));

    EXPECT_FALSE(CorrectLayout(QString::fromUtf8("ТО_5,")));
    EXPECT_FALSE(CorrectLayout(QStringLiteral("AX_5")));
    EXPECT_FALSE(CorrectLayout(QStringLiteral("  _")));
    EXPECT_FALSE(CorrectLayout(QString()));
}

TEST(CommandStack, PushKeepsOneCopyOnTopAppendMayDuplicate) {
    CommandStack s;
    const QString uk = QString::fromUtf8("УК_1-");
    const QString to = QString::fromUtf8("ТО_5,-");
    s.Push(uk);
    s.Push(to);
    s.Push(uk);
    s.Push(uk);
    EXPECT_EQ(s.Items(), QStringList({uk, to}));
    s.Append(to);
    s.Append(to);
    EXPECT_EQ(s.Items(), QStringList({uk, to, to, to}));
    s.Push(to);
    EXPECT_EQ(s.Items(), QStringList({to, uk}));
}
