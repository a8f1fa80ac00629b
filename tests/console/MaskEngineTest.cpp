// The mask engine without widgets: the free directive mask, every template
// mask of the directive buttons, and the small field masks.
#include "console/MaskEngine.h"
#include "console/DirectiveText.h"

#include <gtest/gtest.h>

namespace {
const QString kFree = QStringLiteral(">ll_cccccccccccccccccccccc;1;_");

QString Trimmed(const QString& s) {
    QString t = s;
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    return t;
}

// The text an untouched template shows, written out independently of the
// engine: escapes dropped, each input position a space.
QString EmptyTextOf(const QString& mask) {
    QString out;
    const QString body = mask.left(mask.indexOf(QStringLiteral(";1;_")));
    for (int i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c == QLatin1Char('>')) continue;
        if (c == QLatin1Char('\\')) {
            out += body[++i];
            continue;
        }
        out += (c == QLatin1Char('c') || c == QLatin1Char('0')) ? QChar(QLatin1Char(' ')) : c;
    }
    return out;
}

struct Template {
    const char* mask;
    int caret;
};

// Every template mask of the directive buttons, with its caret position.
const Template kTemplates[] = {
    {">ТО_\\1\\9\\,c-;1;_", 6},
    {">УК_\\0,c\\-;1;_", 5},
    {">УК_\\5,c\\-;1;_", 5},
    {">КС_cccccc\\,cccccc\\-;1;_", 3},
    {">ПМ_0\\-;1;_", 3},
    {">СП_cccccc\\,cccccc\\,\\-;1;_", 3},
    {">СП_cccccc\\,cccccc\\,\\2\\-;1;_", 3},
    {">СП_cccccc\\,cccccc\\,\\3\\-;1;_", 3},
    {">ПИ_cccccc\\,cccccc\\,cccccc\\-;1;_", 3},
    {">ОО_\\6,cc,\\-;1;_", 5},
    {">ОО_\\6,cc,\\1\\-;1;_", 5},
    {">ОО_\\9,cccc\\-;1;_", 5},
    {">ОО_\\9,\\1cccc\\-;1;_", 6},
    {">ЗЯ_\\7\\7ccc,ccccc\\-;1;_", 5},
    {">ТО_\\F,\\0,,,cc,cc-;1;_", 9},
    {">ТО_\\F,\\1,,,cc,cc-;1;_", 9},
    {">ТО_\\F,\\1\\7,,,cc,cc-;1;_", 10},
    {">ТО_\\F,\\0,,1,cc,cc-;1;_", 10},
    {">ТО_\\F,\\1,,1,cc,cc-;1;_", 10},
    {">ТО_\\F,\\1\\7,,1,cc,cc-;1;_", 11},
    {">ОО_\\7,\\7,ccc-;1;_", 7},
    {">ОО_\\7,\\6,ccc-;1;_", 7},
    {">ОО_\\7,\\5,ccc-;1;_", 7},
    {">ТО_\\F,\\2,,,ccc,ccc\\-;1;_", 9},
    {">ТО_\\F,\\1\\0,,,ccc,ccc\\-;1;_", 10},
    {">ТО_\\F,\\2,,\\1,ccc,ccc\\-;1;_", 10},
    {">ТО_\\F,\\1\\0,,\\1,ccc,ccc\\-;1;_", 11},
    {">ТО_\\3\\5,ccccccc\\-;1;_", 6},
    {">ТО_\\3\\2,ccc,ccc,\\2\\-;1;_", 6},
    {">ТО_\\2\\E,ccc,ccc\\,-;1;_", 6},
    {">ТО_\\2\\E,ccc,ccc,\\1\\-;1;_", 6},
    {">ТО_\\1\\A,\\2,ccc,ccc\\-;1;_", 8},
    {">ТО_\\2\\E,ccc,ccc,\\2-;1;_", 6},
    {">ТО_\\1\\2,\\2,ccc\\-;1;_", 8},
    {">ТО_\\3\\3,ccc,ccc,\\3,c-;1;_", 6},
    {">ТО_\\3\\3,ccc,ccc,\\2,cc-;1;_", 6},
    {">ТО_\\3\\4,ccc,ccc,\\2,\\1ccc-;1;_", 6},
    {">ТО_\\3\\C\\,ccc,ccc-;1;_", 6},
    {">ТО_\\3\\4,ccc,ccc,c,cc-;1;_", 6},
    {">ТО_\\3\\3,ccc,ccc,\\0,\\4-;1;_", 6},
    {">ТО_\\3\\3,ccc,ccc,\\0,\\0-;1;_", 6},
    {">ТО_\\3\\3,ccc,ccc,\\1,\\A-;1;_", 6},
    {">ТО_\\3\\3,ccc,ccc,\\1,\\B-;1;_", 6},
    {">ТО_F\\1\\6,,c,ccc,ccc\\-;1;_", 8},
    {">ТО_\\F,\\7,,,ccc,ccc\\-;1;_", 9},
    {">ТО_\\F,\\6,,1,ccc,ccc\\-;1;_", 10},
    {">ТО_\\3\\9,\\1cc\\-;1;_", 7},
    {">ТО_\\3\\9,cc\\-;1;_", 6},
    {">ТО_\\3\\2,ccc,ccc,\\7\\-;1;_", 6},
    {">ТО_\\1\\A,\\7,ccc,ccc\\-;1;_", 8},
    {">ТО_\\2\\D,ccc\\-;1;_", 6},
    {">ТО_\\2\\B,ccc\\-;1;_", 6},
    {">ТО_\\2\\6,ccc\\-;1;_", 6},
    {">ТО_\\2\\9,c,ccc,ccc,c\\-;1;_", 6},
    {">ТО_\\2\\3,ccc,\\F\\F\\-;1;_", 6},
    {">ТО_\\2\\3,ccc,cc\\-;1;_", 6},
    {">ТО_\\3\\7,ccc\\-;1;_", 6},
    {">ТО_\\2\\2,ccc,\\1\\-;1;_", 6},
    {">ТО_\\2\\2,ccc,\\-;1;_", 6},
    {">ТО_\\F,\\1\\6,,,c,c\\-;1;_", 10},
    {">ТО_\\F,\\A,,,ccc,ccc\\-;1;_", 9},
    {">ТО_\\F,\\8,,\\1,ccc,ccc\\-;1;_", 10},
    {">ТО_\\1\\A,\\8,ccc,ccc\\-;1;_", 8},
    {">ТО_\\F,\\1\\2,,\\1,ccc,ccc\\-;1;_", 11},
    {">ТО_\\2\\1,ccc\\-;1;_", 6},
    {">ТО_\\1\\6,ccc,\\1\\-;1;_", 6},
    {">ТО_\\1\\6,ccc,\\-;1;_", 6},
    {">ТО_\\1\\2,\\4,ccc\\-;1;_", 8},
    {">ТО_\\1\\2,\\E,ccc\\-;1;_", 8},
    {">ТО_\\3\\1,ccc,ccc,ccc,ccc\\-;1;_", 6},
    // Memory masks with and without a block digit, switch diagnostics.
    {">РЯ_ccccc\\-;1;_", 3},
    {">РЯ_\\3ccccc\\-;1;_", 4},
    {">РМ_ccccc,ccccc\\-;1;_", 3},
    {">РМ_\\3ccccc,\\ccccc\\-;1;_", 4},
    {">ЗМ_\\6ccccc,\\ccccc\\-;1;_", 4},
    {">ТО_\\1\\1,\\4,,cc,c-;1;_", 9},
    {">ТО_\\1\\1,\\5,c,cc,c-;1;_", 8},
};
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
    // An untouched line gives the directive "_-".
    EXPECT_EQ(DirectiveText::Build(m.Text()).directive, QStringLiteral("_-"));
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

TEST(MaskEngine, EveryTemplateMaskPlacesTheCaretAndKeepsItsLiterals) {
    for (const Template& t : kTemplates) {
        const QString mask = QString::fromUtf8(t.mask);
        SCOPED_TRACE(mask.toStdString());
        MaskEngine m(mask);
        const QString empty = EmptyTextOf(mask);
        EXPECT_EQ(m.Text(), empty);
        EXPECT_LE(m.Length(), 25);
        EXPECT_EQ(m.NextInput(0), t.caret) << "the caret is the first position to fill";
        EXPECT_TRUE(m.EditText().startsWith(empty.left(3)));

        // Fill every input position, typing from the caret on.
        int caret = t.caret;
        int typed = 0;
        while (caret < m.Length()) {
            const auto next = m.Type(caret, QLatin1Char('7'));
            ASSERT_TRUE(next);
            caret = *next;
            ++typed;
        }
        QString expected = empty;
        for (int p = 0; p < expected.size(); ++p)
            if (!m.IsLiteral(p)) expected[p] = QLatin1Char('7');
        EXPECT_EQ(m.Text(), expected);
        EXPECT_EQ(typed, int(empty.count(QLatin1Char(' '))));
        EXPECT_TRUE(m.IsComplete());

        // Parameters typed shorter than their positions close up.
        m.Clear();
        m.Type(t.caret, QLatin1Char('1'));
        const QString d = DirectiveText::Build(m.Text()).directive;
        EXPECT_FALSE(d.contains(QLatin1Char(' ')));
        EXPECT_EQ(d.count(QLatin1Char('1')), empty.count(QLatin1Char('1')) + 1);
    }
}

TEST(MaskEngine, TemplateTextAssignmentAndRequiredDigit) {
    MaskEngine m(QString::fromUtf8(">ТО_\\F,\\0,,,cc,cc-;1;_"));
    m.SetText(QString::fromUtf8("ТО_F,0,,,12,34-"));
    EXPECT_EQ(m.Text(), QString::fromUtf8("ТО_F,0,,,12,34-"));
    EXPECT_EQ(DirectiveText::Build(m.Text()).directive, QString::fromUtf8("ТО_F,0,,,12,34-"));

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

    // Literals left out of the text; small letters; a sign position.
    MaskEngine date(QStringLiteral("<00/00;0;*"));
    EXPECT_EQ(date.EditText(), QStringLiteral("**/**"));
    date.SetText(QStringLiteral("12/05"));
    EXPECT_EQ(date.Text(), QStringLiteral("1205"));
    MaskEngine sign(QStringLiteral("<#ll;1;_"));
    sign.SetText(QStringLiteral("-AB"));
    EXPECT_EQ(sign.Text(), QStringLiteral("-ab"));
}
