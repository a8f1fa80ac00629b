// A table file cut inside the last six bytes of a row (the size of a block
// header): verify reports the rows cut off and rebuild keeps every whole row
// of that block.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "tables/TableUtil.h"

#include <gtest/gtest.h>

namespace cutrow {

using namespace tables;

constexpr int kRowBytes = 36; // 56 rows to a 2 KB block after a 2 KB header
constexpr qint64 kBlock2 = 0x800 + 2048;

FieldList Fields() {
    return {{QStringLiteral("Id"), FieldType::Integer},
            {QStringLiteral("Name"), FieldType::String, 20},
            {QStringLiteral("Day"), FieldType::Date},
            {QStringLiteral("Amount"), FieldType::Float}};
}

} // namespace cutrow

TEST(TableUtilCutRow, RowsBeforeTheCutAreKeptAndTheCutOnesCounted) {
    using namespace cutrow;
    constexpr int kRows = 100; // 56 in block 1, 44 in block 2
    constexpr int kWhole = 56 + 29;
    for (int shortBy : {1, 6}) {
        SCOPED_TRACE(shortBy);
        TestEnv env;
        const QString path = env.Path(QStringLiteral("T.db"));
        {
            QList<QVariantList> rows;
            for (int i = 0; i < kRows; ++i)
                rows << QVariantList{i, QStringLiteral("Абонент %1").arg(i), QDate(2026, 1, 1),
                                     i * 1.5};
            ASSERT_TRUE(NewTable(path, Fields(), rows));
        }
        // The 30th row of block 2 ends shortBy bytes after the end of the file.
        ASSERT_TRUE(QFile::resize(path, kBlock2 + 6 + 30 * kRowBytes - shortBy));

        TTableUtil u;
        int result = -1;
        ASSERT_TRUE(u.VerifyTable(path, result)) << u.LastError().toStdString();
        EXPECT_EQ(result, TTableUtil::Completed);
        EXPECT_TRUE(u.Findings().join('\n').contains(QStringLiteral("block 2: 15 rows cut off")))
            << u.Findings().join('\n').toStdString();

        const UtilRun r = RunRebuild(u, path, nullptr);
        ASSERT_EQ(r.outcome, UtilRun::Done) << r.error.toStdString();
        EXPECT_EQ(u.LastRebuild().kept, kWhole);
        EXPECT_EQ(u.LastRebuild().lost, kRows - kWhole);
        QList<int> expected;
        for (int i = 0; i < kWhole; ++i)
            expected << i;
        EXPECT_EQ(Ids(path), expected);
    }
}
