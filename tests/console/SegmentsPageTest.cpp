// The "Сегменты" tab bound to the segment table.
#include "console/SegmentsPage.h"
#include "TestSupport.h"
#include "tables/Table.h"

#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

TEST(SegmentsPage, GridMemoAndNavigatorEditTheTable) {
    TestEnv env;
    auto t = tables::Table::ForFile(env.Path(QStringLiteral("Segment.DB")));
    ASSERT_TRUE(t->Create({{QStringLiteral("Segment"), tables::FieldType::String, 20},
                           {QStringLiteral("Comment"), tables::FieldType::String, 255}},
                          1));
    ASSERT_TRUE(t->Open());
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
    EXPECT_EQ(page.Memo()->toolTip(), QStringLiteral("Неисправность"));
    const QStringList hints{
        "В начало таблицы",   "Предыдущая запись", "Следующая запись",     "В конец таблицы",
        "Добавить запись",    "Удалить запись",    "Редактировать запись", "Запомнить изменения",
        "Отменить изменения", "Обновить"};
    for (int b = 0; b < SegmentsPage::ButtonCount; ++b)
        EXPECT_EQ(page.NavButton(SegmentsPage::Button(b))->toolTip(), hints[b]);
    EXPECT_FALSE(page.NavButton(SegmentsPage::Post)->isEnabled());

    // Add a row: the key typed into the grid, the fault into the memo.
    QTest::mouseClick(page.NavButton(SegmentsPage::Insert), Qt::LeftButton);
    EXPECT_TRUE(page.NavButton(SegmentsPage::Post)->isEnabled());
    const QModelIndex cell = page.Grid()->model()->index(page.Editor().Row(), 0);
    ASSERT_TRUE(page.Grid()->model()->setData(cell, QStringLiteral("АЛУ-1")));
    page.Memo()->setFocus();
    for (QChar ch : QStringLiteral("сбой"))
        QTest::sendKeyEvent(QTest::Click, page.Memo(), Qt::Key_unknown, QString(ch),
                            Qt::NoModifier);
    QTest::mouseClick(page.NavButton(SegmentsPage::Post), Qt::LeftButton);
    EXPECT_EQ(page.Grid()->model()->rowCount(), 2);
    EXPECT_EQ(page.Grid()->model()->index(0, 0).data().toString(), QStringLiteral("АЛУ-1"));
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("сбой"));

    // Move, change the fault text, cancel; then delete the row.
    QTest::mouseClick(page.NavButton(SegmentsPage::Last), Qt::LeftButton);
    EXPECT_EQ(page.Memo()->toPlainText(), QStringLiteral("нет ответа"));
    QTest::sendKeyEvent(QTest::Click, page.Memo(), Qt::Key_unknown, QStringLiteral("!"),
                        Qt::NoModifier);
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
