#include "directives/DirectiveText.h"

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

// The first letter typed in the Latin layout becomes its Russian letter; the
// second is looked up after it, in its own table.
TEST(DirectiveText, CorrectLayoutRewritesTheFirstTwoLetters) {
    const struct {
        const char *text, *fixed;
        int caret;
    } cases[] = {{"N _    ", "Т", 1}, {"j _", "О", 1}, {"ТJ_    ", "ТО", 3}, {"ЗZ_", "ЗЯ", 3}};
    for (const auto& c : cases) {
        const auto fix = CorrectLayout(QString::fromUtf8(c.text));
        ASSERT_TRUE(fix) << c.text;
        EXPECT_EQ(fix->text, QString::fromUtf8(c.fixed));
        EXPECT_EQ(fix->caret, c.caret);
    }
    // Both in one text: the second rule works on the result of the first,
    // which is a single letter.
    EXPECT_EQ(CorrectLayout(QStringLiteral("NJ_5"))->text, QString::fromUtf8("Т"));
    for (const char* text : {"ТО_5,", "AX_5", "  _", "", "ТN_"})
        EXPECT_FALSE(CorrectLayout(QString::fromUtf8(text))) << text;
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
