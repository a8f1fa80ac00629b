// The button catalogue checked for the faults a typo would make, and the
// directives the composed buttons build.
#include "TestSupport.h"

#include "directives/ComposedDirectives.h"
#include "directives/DirectiveCatalogue.h"
#include "directives/DirectiveText.h"
#include "directives/MaskEngine.h"
#include "link/LineCode.h"
#include "link/Notation.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace ComposedDirectives;

namespace {
QString Where(const DirectiveButton& b) {
    return b.path.join(QLatin1Char('/')) + QStringLiteral(" › ") + b.caption;
}

// The template text of a mask: literals as they are, input positions as "?".
QString Shape(const MaskEngine& m) {
    QString s;
    for (int i = 0; i < m.Length(); ++i)
        s += m.IsLiteral(i) ? m.At(i).literal : QLatin1Char('?');
    return s;
}

// Hints are display texts and mix Cyrillic letters with their Latin twins.
QString Fold(QString s) {
    const QString cyr = QString::fromUtf8("АВСЕНКМОРТХ");
    const QString lat = QStringLiteral("ABCEHKMOPTX");
    for (int i = 0; i < cyr.size(); ++i)
        s.replace(cyr[i], lat[i]);
    return s;
}

// Whether every character of part occurs in whole, in order.
bool InOrder(const QString& part, const QString& whole) {
    qsizetype at = 0;
    for (const QChar c : part) {
        at = whole.indexOf(c, at);
        if (at < 0) return false;
        ++at;
    }
    return true;
}
} // namespace

TEST(DirectiveCatalogue, HoldsEveryButtonOnce) {
    const auto& all = DirectiveCatalogue::Buttons();
    int fixed = 0, templates = 0;
    QSet<QString> seen;
    for (const DirectiveButton& b : all) {
        (b.IsTemplate() ? templates : fixed) += 1;
        // Two buttons of one tab may share a caption ("Чистка"), not a behaviour too.
        const QString key = Where(b) + QLatin1Char('|') + b.hint + QLatin1Char('|') + b.mask;
        EXPECT_FALSE(seen.contains(key)) << key.toStdString();
        seen.insert(key);
    }
    EXPECT_EQ(fixed, 94);
    EXPECT_EQ(templates, 106);

    QStringList errors;
    const auto parsed = DirectiveCatalogue::Parse(
        QString::fromUtf8("lost | ТО_1-\n[A / B]\nok | УК_1- | @Name\nthree | a | b\n"
                          "bad caret | h | >УК_c;1;_ | x\n"),
        &errors);
    EXPECT_EQ(errors.size(), 3);
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].path, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(parsed[0].name, QStringLiteral("Name"));
}

TEST(DirectiveCatalogue, FixedDirectivesGoOutWhole) {
    MaskEngine line(DirectiveText::kFreeMask);
    for (const DirectiveButton& b : DirectiveCatalogue::Buttons()) {
        if (b.IsTemplate()) continue;
        EXPECT_TRUE(b.hint.endsWith(QLatin1Char('-'))) << Where(b).toStdString();
        for (const QChar c : b.hint) {
            uint8_t reg = 0, code = 0;
            EXPECT_TRUE(c != QLatin1Char(' ') && LineCode::Lookup(c, reg, code))
                << Where(b).toStdString() << ": " << QString(c).toStdString();
        }
        // The input line takes the directive as it is.
        line.SetMask(DirectiveText::kFreeMask);
        line.SetText(b.hint);
        EXPECT_EQ(line.Text().trimmed(), b.hint) << Where(b).toStdString();
    }
}

TEST(DirectiveCatalogue, TemplatesMatchTheirHints) {
    for (const DirectiveButton& b : DirectiveCatalogue::Buttons()) {
        if (!b.IsTemplate()) continue;
        const std::string where = Where(b).toStdString();
        const MaskEngine m(b.mask);
        EXPECT_TRUE(b.mask.startsWith(QLatin1Char('>')) && b.mask.endsWith(QStringLiteral(";1;_")))
            << where;
        EXPECT_LE(m.Length(), DirectiveText::kLineLength) << where;
        EXPECT_EQ(m.NextInput(0), b.caret) << where;

        // The hint up to its explanation, field by field: the same number of
        // fields, and each literal of a mask field appears in the hint's.
        const QString form = b.hint.left(b.hint.indexOf(QStringLiteral(" ("))).trimmed();
        const QStringList hintFields = Fold(form).remove(QLatin1Char('-')).split(QLatin1Char(','));
        const QStringList maskFields =
            Fold(Shape(m)).remove(QLatin1Char('-')).split(QLatin1Char(','));
        ASSERT_EQ(maskFields.size(), hintFields.size()) << where;
        EXPECT_EQ(maskFields[0].left(3), hintFields[0].left(3)) << where;
        for (qsizetype i = 0; i < maskFields.size(); ++i)
            EXPECT_TRUE(InOrder(QString(maskFields[i]).remove(QLatin1Char('?')), hintFields[i]))
                << where << ": " << maskFields[i].toStdString() << " / "
                << hintFields[i].toStdString();
    }
}

TEST(ComposedDirectives, MemoryAndSwitchTemplates) {
    // Filled in, a memory template gives its directive with the block digit
    // in front of each address, and never a stray letter.
    const struct {
        MemoryButton which;
        int block, caret;
        const char* typed;
        const char* directive;
    } cases[] = {
        {MemoryButton::PrintCell, 0, 3, "00100", "РЯ_00100-"},
        {MemoryButton::PrintCell, 3, 4, "40175", "РЯ_340175-"},
        {MemoryButton::PrintArray, 3, 4, "4017540176", "РМ_340175,340176-"},
        {MemoryButton::WriteCell, 3, 4, "4017500007", "ЗЯ_340175,00007-"},
    };
    for (const auto& c : cases) {
        const auto t = Memory(c.which, c.block);
        MaskEngine m(t.mask);
        EXPECT_EQ(t.caret, c.caret);
        EXPECT_EQ(m.NextInput(0), t.caret);
        int caret = t.caret;
        for (const QChar ch : QString::fromUtf8(c.typed))
            caret = m.Type(caret, ch).value_or(caret);
        EXPECT_EQ(m.Text().remove(QLatin1Char(' ')), QString::fromUtf8(c.directive));
    }
    EXPECT_EQ(SwitchDiagnosticsOO(2).mask, QString::fromUtf8(">ТО_\\1\\1,\\2,,cc,c-;1;_"));
    EXPECT_EQ(MaskEngine(SwitchDiagnosticsOO(5).mask).NextInput(0), SwitchDiagnosticsOO(5).caret);
    EXPECT_EQ(MaskEngine(SwitchDiagnosticsTO(0).mask).NextInput(0), SwitchDiagnosticsTO(0).caret);
}

TEST(ComposedDirectives, UnblockTexts) {
    EXPECT_EQ(UnblockKit(QStringLiteral("FFF")), QString::fromUtf8("ЗЯ_111FF,00000"));
    for (const char* bad : {"   ", "G1", "0X1", "1234"})
        EXPECT_FALSE(UnblockKit(QString::fromUtf8(bad))) << bad;
}

TEST(ComposedDirectives, IndexedWriteRunsFromFirstToLastAddress) {
    auto run = [](const BlockParams& p, int block, int max = 100) {
        IndexedWrite w(p, block);
        QStringList out;
        while (out.size() < max)
            if (const auto d = w.Next())
                out << *d;
            else
                break;
        return out;
    };
    EXPECT_EQ(
        run({"00100", "00102", "00001", "00001", "0000F"}, 0),
        QStringList({QString::fromUtf8("ЗЯ_00100,0000F-"), QString::fromUtf8("ЗЯ_00101,00010-"),
                     QString::fromUtf8("ЗЯ_00102,00011-")}));
    // With a block, every address starts with its digit.
    EXPECT_EQ(run({"573C0", "573C0", "1", "0", "7"}, 3),
              QStringList{QString::fromUtf8("ЗЯ_3573C0,00007-")});
    // A last address below the first counts from the first: 10..12.
    EXPECT_EQ(run({"00010", "00002", "00001", "", ""}, 0).size(), 3);
    // Blanks and other characters are not digits of the notation.
    EXPECT_EQ(
        run({"0 1 0", "0x1G2", "  2  ", "", "Z"}, 0),
        QStringList({QString::fromUtf8("ЗЯ_00010,00000-"), QString::fromUtf8("ЗЯ_00012,00000-")}));
    // The run ends at the top of memory instead of wrapping round to 0, and
    // values wrap as 16-bit cells do.
    EXPECT_EQ(run({"773FE", "77FFF", "00004", "00001", "773FF"}, 0),
              QStringList{QString::fromUtf8("ЗЯ_773FE,773FF-")});
    EXPECT_EQ(run({"773FE", "773FF", "00001", "00001", "773FF"}, 0).last(),
              QString::fromUtf8("ЗЯ_773FF,00000-"));
    // Step 0 repeats the same address for as long as it is asked.
    const QStringList same = run({"00020", "00030", "", "00001", ""}, 2, 500);
    EXPECT_EQ(same.size(), 500);
    EXPECT_EQ(same.last(), QString::fromUtf8("ЗЯ_200020,001F3-"));
}
