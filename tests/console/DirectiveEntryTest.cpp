// The directive entry bound to real widgets, without an exchange: typing,
// the layout correction, Execute's text handling and the command stack.
#include "ConsoleTestSupport.h"
#include "TestSupport.h"

#include "console/DirectiveEntry.h"
#include "console/MaskEdit.h"
#include "link/AppState.h"

#include <QComboBox>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
QString Trimmed(const QString& s) {
    QString t = s;
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    return t;
}

struct EntryFixture : ::testing::Test {
    QWidget window;
    MaskEdit* edit = new MaskEdit(&window);
    QComboBox* stack = new QComboBox(&window);
    AppState app;
    DirectiveEntry* entry = nullptr;
    QStringList executed;

    void SetUp() override {
        entry = new DirectiveEntry(app, edit, stack, &window);
        QObject::connect(entry, &DirectiveEntry::executing,
                         [this](const QString& d) { executed << d; });
        window.show();
        entry->Reset();
    }
    QStringList StackItems() const {
        QStringList items;
        for (int i = 0; i < stack->count(); ++i)
            items << stack->itemText(i);
        return items;
    }
};
} // namespace

TEST_F(EntryFixture, LatinKeysBecomeTheDirectiveCode) {
    QTest::keyClicks(edit, QStringLiteral("nj5,"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("ТО_5,"));
    EXPECT_EQ(edit->text().left(6), QString::fromUtf8("ТО_5,_"));

    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(executed.size(), 1);
    EXPECT_EQ(executed[0], QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("ТО_5,-"))
        << "the terminator is written back";
    EXPECT_EQ(StackItems(), QStringList{QString::fromUtf8("ТО_5,-")});
    EXPECT_EQ(window.focusWidget(), edit);

    // Cyrillic typed directly needs no correction; small letters become capitals.
    entry->Reset();
    TypeText(edit, QString::fromUtf8("ук1-"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("УК_1-"));
    // The separator typed out of habit is not doubled.
    entry->Reset();
    QTest::keyClicks(edit, QStringLiteral("vd_"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.back(), QString::fromUtf8("МВ_-"));
    // Latin letters outside the tables stay as typed.
    entry->Reset();
    QTest::keyClicks(edit, QStringLiteral("ax"));
    EXPECT_EQ(Trimmed(edit->Text()), QStringLiteral("AX_"));
}

TEST_F(EntryFixture, StackHoldsEachDirectiveOnceMostRecentFirst) {
    const QString uk = QString::fromUtf8("УК_1-");
    const QString to = QString::fromUtf8("ТО_5,-");
    for (int i = 0; i < 3; ++i)
        entry->SendFixed(uk);
    EXPECT_EQ(executed, QStringList({uk, uk, uk}));
    EXPECT_EQ(StackItems(), QStringList{uk});
    entry->SendFixed(to);
    entry->SendFixed(uk);
    EXPECT_EQ(StackItems(), QStringList({uk, to}));

    // A "-" inside the directive: no second one, nothing written back.
    entry->SendFixed(QString::fromUtf8("ТО_3E,-1,2"));
    EXPECT_EQ(executed.last(), QString::fromUtf8("ТО_3E,-1,2"));

    // F5 appends a duplicate at the bottom; the next Execute keeps one on top.
    entry->Reset();
    edit->SetText(to);
    QTest::keyClick(edit, Qt::Key_F5);
    QTest::keyClick(edit, Qt::Key_F5);
    EXPECT_EQ(StackItems().count(to), 3);
    EXPECT_EQ(StackItems().last(), to);
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(StackItems().first(), to);
    EXPECT_EQ(StackItems().count(to), 1);
}

TEST_F(EntryFixture, UntouchedLineSendsSeparatorAndTerminator) {
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(executed.size(), 1);
    EXPECT_EQ(executed[0], QStringLiteral("_-"));
    // Escape resets the mask and the line.
    edit->SetEditMask(QString::fromUtf8(">ТО_\\F,\\0,,,cc,cc-;1;_"));
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->EditMask(), DirectiveEntry::kFreeMask);
    EXPECT_EQ(edit->text(), QString(25, QLatin1Char('_')));
    EXPECT_EQ(edit->CaretPos(), 0);
}

TEST_F(EntryFixture, TemplateIsFilledThenSentWithBlanksClosedUp) {
    entry->PrepareTemplate(QString::fromUtf8(">ТО_\\F,\\0,,,cc,cc-;1;_"), 9);
    EXPECT_EQ(edit->CaretPos(), 9);
    EXPECT_TRUE(executed.isEmpty()) << "a template sends nothing";
    QTest::keyClicks(edit, QStringLiteral("1"));
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClicks(edit, QStringLiteral("12"));
    EXPECT_EQ(edit->Text(), QString::fromUtf8("ТО_F,0,,,1 ,12-"));
    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(executed.size(), 1);
    EXPECT_EQ(executed[0], QString::fromUtf8("ТО_F,0,,,1,12-"));
}

TEST_F(EntryFixture, ChoosingAStackEntryPutsItIntoTheLineOnly) {
    const QString uk = QString::fromUtf8("УК_2,3-");
    entry->SendFixed(uk);
    entry->SendFixed(QString::fromUtf8("МВ_-"));
    executed.clear();
    stack->setFocus();
    stack->setCurrentIndex(0);
    QTest::keyClick(stack, Qt::Key_Down); // activates entry 1
    EXPECT_EQ(Trimmed(edit->Text()), uk);
    EXPECT_TRUE(executed.isEmpty());
    EXPECT_EQ(window.focusWidget(), edit);
}

TEST_F(EntryFixture, EditingKeysKeepTheMask) {
    QTest::keyClicks(edit, QStringLiteral("rr"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("КК_"));
    QTest::keyClicks(edit, QStringLiteral("1234"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("КК_12"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8(" К_12"));
    // Select all and delete: only literals remain.
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(Trimmed(edit->Text()), QStringLiteral("  _"));
    // Pasting goes through the mask: digits are refused where letters belong.
    edit->SetCaretPos(0);
    edit->PasteText(QString::fromUtf8("9УК6,-"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("УК_6,-"));
    // A directive longer than the line is cut at its end.
    entry->SendFixed(QString::fromUtf8("ЗЯ_") + QString(40, QLatin1Char('1')));
    EXPECT_EQ(executed.last(),
              QString::fromUtf8("ЗЯ_") + QString(22, QLatin1Char('1')) + QLatin1Char('-'));
}

TEST_F(EntryFixture, TypedBlankAfterAPlacedCaretBlanksThatPosition) {
    // The caret put right after the literal by hand (not skipped over it by
    // typing): "_" is a blank, not the absorbed separator.
    entry->Reset();
    edit->SetText(QString::fromUtf8("ТО_5,-"));
    edit->SetCaretPos(3);
    TypeText(edit, QStringLiteral("_"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("ТО_ ,-"));
    EXPECT_EQ(edit->CaretPos(), 4);
}

namespace {
// Where a click lands on character cell `cell` of the line.
QPoint CellPoint(QLineEdit* e, int cell) {
    const int y = e->height() / 2;
    for (int x = 0; x < e->width(); ++x)
        if (e->cursorPositionAt(QPoint(x, y)) == cell) return {x + 1, y};
    return {};
}
} // namespace

TEST_F(EntryFixture, ClickInABlankLineStartsAtTheFirstCellAndASentLineIsSelected) {
    // Into a blank line: the typing starts at the first cell wherever the
    // mouse landed, so the layout correction applies.
    QTest::mouseClick(edit, Qt::LeftButton, {}, CellPoint(edit, 3));
    EXPECT_EQ(edit->CaretPos(), 0);
    QTest::keyClicks(edit, QStringLiteral("vd"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.last(), QString::fromUtf8("МВ_-"));
    entry->Reset();
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(edit->width() - 3, edit->height() / 2));
    QTest::keyClicks(edit, QStringLiteral("nj5,"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("ТО_5,"));

    // After Enter the line is selected: typing starts a new directive, Enter
    // alone sends the same one again.
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(edit->selectedText(), edit->text());
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.mid(1), QStringList(2, QString::fromUtf8("ТО_5,-")));
    QTest::keyClicks(edit, QStringLiteral("rr2"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("КК_2"));

    // In a line with text a click keeps its place.
    QTest::mouseClick(edit, Qt::LeftButton, {}, CellPoint(edit, 1));
    EXPECT_EQ(edit->CaretPos(), 1);
    TypeText(edit, QString::fromUtf8("Л"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("КЛ_2"));
}
