// Row-by-row editing of a keyed table, as the segment tab does it.
#include "tables/TableEditor.h"
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "tables/Table.h"

#include <gtest/gtest.h>

using namespace tables;
using S = TableEditor::State;

namespace {

QStringList Keys(const TableEditor& e) {
    QStringList k;
    for (int r = 0; r < e.RowCount(); ++r)
        k << e.Value(r, 0).toString();
    return k;
}

} // namespace

TEST(TableEditor, InsertEditPostCancelDeleteAndRefresh) {
    TestEnv env;
    auto t = NewTable(env.Path(QStringLiteral("Segment.DB")),
                      {{QStringLiteral("Segment"), FieldType::String, 20},
                       {QStringLiteral("Comment"), FieldType::String, 255}},
                      {}, 1);
    ASSERT_TRUE(t);
    TableEditor e;
    int changes = 0;
    e.Changed = [&] { ++changes; };
    e.SetTable(t.get());

    ASSERT_TRUE(e.Insert());
    EXPECT_EQ(e.GetState(), S::Insert);
    EXPECT_EQ(e.RowCount(), 1);
    ASSERT_TRUE(e.SetValue(0, QStringLiteral("Б2")));
    ASSERT_TRUE(e.SetValue(1, QStringLiteral("обрыв")));
    ASSERT_TRUE(e.Post());
    ASSERT_TRUE(e.Insert());
    e.SetValue(0, QStringLiteral("А1"));
    // Moving off the new row posts it, and it lands at its key's place.
    ASSERT_TRUE(e.Next());
    EXPECT_EQ(Keys(e), (QStringList{"А1", "Б2"}));
    EXPECT_EQ(e.Row(), 1);
    EXPECT_EQ(e.Current(1).toString(), QStringLiteral("обрыв"));

    // An edit that is cancelled leaves the row as it was.
    ASSERT_TRUE(e.SetValue(1, QStringLiteral("замыкание")));
    EXPECT_EQ(e.GetState(), S::Edit);
    e.Cancel();
    EXPECT_EQ(e.Current(1).toString(), QStringLiteral("обрыв"));
    // A renamed key moves the row.
    e.SetValue(0, QStringLiteral("В3"));
    ASSERT_TRUE(e.Post());
    ASSERT_TRUE(e.First());
    e.SetValue(0, QStringLiteral("Я9"));
    ASSERT_TRUE(e.Post());
    EXPECT_EQ(Keys(e), (QStringList{"В3", "Я9"}));
    EXPECT_EQ(e.Row(), 1);
    // A duplicate or blank key fails and stays in edit with the error.
    ASSERT_TRUE(e.Insert());
    e.SetValue(0, QStringLiteral("В3"));
    EXPECT_FALSE(e.Post());
    EXPECT_EQ(
        e.LastError(),
        QString::fromUtf8("Нарушение ключа: значение «В3» поля «Segment» уже есть в таблице"));
    EXPECT_EQ(e.GetState(), S::Insert);
    e.SetValue(0, QStringLiteral("  "));
    EXPECT_FALSE(e.Post());
    EXPECT_TRUE(e.LastError().contains(QString::fromUtf8("«Segment»")));
    e.Cancel();
    EXPECT_EQ(Keys(e), (QStringList{"В3", "Я9"}));

    ASSERT_TRUE(e.First());
    ASSERT_TRUE(e.Delete());
    EXPECT_EQ(Keys(e), QStringList{"Я9"});
    EXPECT_GT(changes, 5);

    // What was stored is what another program sees; what it adds is read on
    // Refresh.
    auto other = Table::ForFile(env.Path(QStringLiteral("Segment.DB")));
    ASSERT_TRUE(other->Open());
    ASSERT_EQ(other->RecordCount(), 1);
    other->GoTo(0);
    EXPECT_EQ(other->AsText(QStringLiteral("Segment")), QStringLiteral("Я9"));
    EXPECT_TRUE(other->Value(QStringLiteral("Comment")).isNull()); // it was "А1", which had none
    ASSERT_TRUE(other->Append({QStringLiteral("K1"), QStringLiteral("x")}));
    ASSERT_TRUE(e.Refresh());
    EXPECT_EQ(Keys(e), (QStringList{"K1", "Я9"}));

    // Without a table nothing can be edited.
    e.SetTable(nullptr);
    EXPECT_EQ(e.GetState(), S::Inactive);
    EXPECT_FALSE(e.Insert());
    EXPECT_FALSE(e.Next());
}
