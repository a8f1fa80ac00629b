// The directive entry bound to real widgets: typing, the layout correction,
// Execute's text handling, the command stack, and the wait for the line of
// an exchange on a port in memory.
#include "ConsoleTestSupport.h"

#include "app/Terminal.h"
#include "console/DirectiveEntry.h"
#include "directives/ui/MaskEdit.h"
#include "link/Ats.h"
#include "link/LinkOptions.h"

#include <QComboBox>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
struct EntryFixture : ::testing::Test {
    QWidget window;
    MaskEdit* edit = new MaskEdit(&window);
    QComboBox* stack = new QComboBox(&window);
    Terminal app; // not started: no exchange
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
    EXPECT_EQ(edit->text().left(6), QString::fromUtf8("ТО_5,_"));

    QTest::keyClick(edit, Qt::Key_Return);
    ASSERT_EQ(executed.size(), 1);
    EXPECT_EQ(executed[0], QString::fromUtf8("ТО_5,-"));
    EXPECT_EQ(Trimmed(edit->Text()), QString::fromUtf8("ТО_5,-"))
        << "the terminator is written back";
    EXPECT_EQ(window.focusWidget(), edit);

    // The separator typed out of habit is not doubled.
    entry->Reset();
    QTest::keyClicks(edit, QStringLiteral("vd_"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.back(), QString::fromUtf8("МВ_-"));
}

// The stack's own rules are CommandStack's; here what the entry adds: every
// send pushes, F5 appends, a send after F5 keeps one copy on top, and a
// chosen entry goes into the line without being sent.
TEST_F(EntryFixture, StackHoldsEachDirectiveOnceAndAChosenOneIsNotSent) {
    const QString uk = QString::fromUtf8("УК_1-");
    const QString to = QString::fromUtf8("ТО_5,-");
    entry->SendFixed(uk);
    entry->SendFixed(uk);
    entry->SendFixed(to);
    EXPECT_EQ(executed, QStringList({uk, uk, to}));
    EXPECT_EQ(StackItems(), QStringList({to, uk}));
    entry->Reset();
    edit->SetText(uk);
    QTest::keyClick(edit, Qt::Key_F5);
    EXPECT_EQ(StackItems(), QStringList({to, uk, uk}));
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_EQ(StackItems(), QStringList({uk, to}));

    // Choosing an entry puts it into the line only; the line gets the focus.
    executed.clear();
    stack->setFocus();
    stack->setCurrentIndex(0);
    QTest::keyClick(stack, Qt::Key_Down); // activates entry 1
    EXPECT_EQ(Trimmed(edit->Text()), to);
    EXPECT_TRUE(executed.isEmpty());
    EXPECT_EQ(window.focusWidget(), edit);
}

TEST_F(EntryFixture, TemplateIsFilledThenSentWithBlanksClosedUp) {
    // An untouched line sends separator and terminator.
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed, QStringList{QStringLiteral("_-")});
    entry->PrepareTemplate(QString::fromUtf8(">ТО_\\F,\\0,,,cc,cc-;1;_"), 9);
    EXPECT_EQ(edit->CaretPos(), 9);
    EXPECT_EQ(executed.size(), 1) << "a template sends nothing";
    QTest::keyClicks(edit, QStringLiteral("1"));
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClicks(edit, QStringLiteral("12"));
    EXPECT_EQ(edit->Text(), QString::fromUtf8("ТО_F,0,,,1 ,12-"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(executed.last(), QString::fromUtf8("ТО_F,0,,,1,12-"));
    // Escape resets the mask and the line.
    ASSERT_NE(edit->EditMask(), DirectiveText::kFreeMask);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(edit->EditMask(), DirectiveText::kFreeMask);
    EXPECT_EQ(edit->text(), QString(25, QLatin1Char('_')));
    EXPECT_EQ(edit->CaretPos(), 0);
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
}

TEST_F(EntryFixture, TypedBlankAfterAPlacedCaretBlanksThatPosition) {
    // The caret put right after the literal by hand (not skipped over it by
    // typing): "_" is a blank, not the absorbed separator.
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

// After Execute the operator waits, with the hourglass, until the line has
// sent the directive; in normal mode Esc ends the wait and the bytes go on.
TEST_F(EntryFixture, WaitForTheLineEndsWhenSentOrOnEsc) {
    TestEnv env;
    LinkOptions options;
    options.rollDir = env.Dir() + QLatin1Char('/');
    TAts* ats =
        &app.Exchanges().Add(std::make_unique<TAts>(options, 1, std::make_unique<FakePort>()));
    ats->SwitchPort(true);
    ats->Link().SetPaceInterval(1);
    app.Exchanges().Select(1);
    QSignalSpy free(entry, &DirectiveEntry::lineFree);
    const QString to = QString::fromUtf8("ТО_5,-");
    entry->SendFixed(to);
    EXPECT_TRUE(entry->WaitingForLine());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_TRUE(WaitUntil([&] { return free.count() == 1; }));
    EXPECT_FALSE(ats->IsSending());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A slow line: Esc ends the wait while the bytes still go.
    ats->Link().SetPaceInterval(100);
    entry->SendFixed(to);
    EscTracker::SetEscDown(true);
    EXPECT_TRUE(WaitUntil([&] { return free.count() == 2; }, 500));
    EscTracker::SetEscDown(false);
    EXPECT_TRUE(ats->IsSending());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return !ats->IsSending(); }, 5000));
    app.Exchanges().Clear();
}
