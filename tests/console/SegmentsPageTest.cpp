// The "Сегменты" tab bound to the segment table.
#include "console/SegmentsPage.h"
#include "ConsoleTestSupport.h"
#include "tables/Table.h"

#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {
std::unique_ptr<tables::Table> SegmentTable(const TestEnv& env) {
    auto t = tables::Table::ForFile(env.Path(QStringLiteral("Segment.DB")));
    t->Create({{QStringLiteral("Segment"), tables::FieldType::String, 20},
               {QStringLiteral("Comment"), tables::FieldType::String, 255}},
              1);
    t->Open();
    return t;
}

QStringList g_warnings;
void KeepWarning(QtMsgType, const QMessageLogContext&, const QString& msg) {
    g_warnings << msg;
}
} // namespace

TEST(SegmentsPage, GridMemoAndNavigatorEditTheTable) {
    TestEnv env;
    auto t = SegmentTable(env);
    ASSERT_TRUE(t->IsOpen());
    ASSERT_TRUE(t->Append({QStringLiteral("ПУУ-2"), QStringLiteral("нет ответа")}));
    SegmentsPage page;
    page.ConfirmDelete = false;
    page.ShowErrors = false;
    page.SetTable(t.get());
    page.show();

    EXPECT_EQ(page.Grid()->model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral("Сегмент"));
    EXPECT_EQ(page.Grid()->model()->rowCount(), 1);
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("нет ответа"));
    EXPECT_FALSE(page.NavButton(SegmentsPage::Post)->isEnabled());

    // Add a row: the key typed into the grid, the fault into the memo.
    QTest::mouseClick(page.NavButton(SegmentsPage::Insert), Qt::LeftButton);
    EXPECT_TRUE(page.NavButton(SegmentsPage::Post)->isEnabled());
    const QModelIndex cell = page.Grid()->model()->index(page.Editor().Row(), 0);
    ASSERT_TRUE(page.Grid()->model()->setData(cell, QStringLiteral("АЛУ-1")));
    page.Memo()->setFocus();
    TypeText(page.Memo(), QStringLiteral("сбой"));
    QTest::mouseClick(page.NavButton(SegmentsPage::Post), Qt::LeftButton);
    EXPECT_EQ(page.Grid()->model()->rowCount(), 2);
    EXPECT_EQ(page.Grid()->model()->index(0, 0).data().toString(), QStringLiteral("АЛУ-1"));
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("сбой"));

    // Move, change the fault text, cancel; then delete the row.
    QTest::mouseClick(page.NavButton(SegmentsPage::Last), Qt::LeftButton);
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("нет ответа"));
    TypeText(page.Memo(), QStringLiteral("!"));
    QTest::mouseClick(page.NavButton(SegmentsPage::Cancel), Qt::LeftButton);
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("нет ответа"));
    QTest::mouseClick(page.NavButton(SegmentsPage::Delete), Qt::LeftButton);
    EXPECT_EQ(page.Grid()->model()->rowCount(), 1);

    auto r = tables::Table::ForFile(env.Path(QStringLiteral("Segment.DB")));
    ASSERT_TRUE(r->Open(true));
    ASSERT_EQ(r->RecordCount(), 1);
    r->GoTo(0);
    EXPECT_EQ(r->AsText(QStringLiteral("Segment")), QStringLiteral("АЛУ-1"));
    EXPECT_EQ(r->AsText(QStringLiteral("Comment")), QStringLiteral("сбой"));
    page.SetTable(nullptr);
    EXPECT_FALSE(page.NavButton(SegmentsPage::Insert)->isEnabled());
}

TEST(SegmentsPage, NewRowStartsInItsKeyCellAndAnEmptyOrRepeatedKeyIsRefused) {
    TestEnv env;
    auto t = SegmentTable(env);
    ASSERT_TRUE(t->IsOpen());
    ModalAnswerer answers;
    SegmentsPage page;
    page.SetTable(t.get());
    page.show();
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(KeepWarning);
    auto keyCellHasFocus = [&] {
        QWidget* f = page.focusWidget(); // the window's, active or not
        return f && f->parentWidget() == page.Grid()->viewport();
    };
    auto typeKeyAndPost = [&](const QString& key) {
        page.Memo()->setFocus();
        QTest::mouseClick(page.NavButton(SegmentsPage::Insert), Qt::LeftButton);
        ASSERT_TRUE(keyCellHasFocus()) << "the key cell is open";
        TypeText(page.focusWidget(), key);
        QTest::mouseClick(page.NavButton(SegmentsPage::Post), Qt::LeftButton);
    };

    typeKeyAndPost(QStringLiteral("ПУУ-2"));
    EXPECT_TRUE(answers.Texts.isEmpty());
    EXPECT_EQ(page.Editor().GetState(), tables::TableEditor::State::Browse);
    EXPECT_EQ(page.Grid()->model()->index(0, 0).data().toString(), QStringLiteral("ПУУ-2"));
    EXPECT_TRUE(page.Memo()->toPlainText().isEmpty()) << "nothing typed went into the comment";

    // No key: refused in words, the row stays in edit with its key cell open.
    typeKeyAndPost(QString());
    EXPECT_EQ(answers.Texts,
              QStringList{QString::fromUtf8("Не заполнено поле «Сегмент»: запись не сохранена")});
    EXPECT_EQ(page.Editor().GetState(), tables::TableEditor::State::Insert);
    EXPECT_TRUE(keyCellHasFocus()) << "back in the key cell";
    QTest::mouseClick(page.NavButton(SegmentsPage::Cancel), Qt::LeftButton);

    typeKeyAndPost(QStringLiteral("ПУУ-2"));
    EXPECT_EQ(
        answers.Texts.value(1),
        QString::fromUtf8("Нарушение ключа: значение «ПУУ-2» поля «Сегмент» уже есть в таблице"));
    QTest::mouseClick(page.NavButton(SegmentsPage::Cancel), Qt::LeftButton);
    qInstallMessageHandler(previous);
    EXPECT_EQ(page.Grid()->model()->rowCount(), 1);
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_TRUE(g_warnings.filter(QStringLiteral("closeEditor")).isEmpty())
        << g_warnings.join('\n').toStdString();
    page.SetTable(nullptr);
}
