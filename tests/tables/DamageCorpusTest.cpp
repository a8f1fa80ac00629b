// Every kind of damage the bad-input sweep found, applied to three kinds of
// table (the billed calls' DestTar, a 3,000-row table, a keyed Segment):
// verify must report it, and the rebuild must keep every row the file still
// holds, account for the rest and leave a table that verifies clean.
#include "TablesTestSupport.h"
#include "TestSupport.h"
#include "tables/TableCsv.h"
#include "tables/TableUtil.h"
#include "tables/TxFile.h"

#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace tables;

namespace {

struct Kind {
    const char* name;
    FieldList fields;
    int keys;
    int rows;
};

QList<Kind> Kinds() {
    return {
        {"DestTar.db",
         {{QStringLiteral("AbNumber"), FieldType::Integer},
          {QStringLiteral("Date_of_call"), FieldType::Date},
          {QStringLiteral("Time_of_call"), FieldType::Time},
          {QStringLiteral("Longivity"), FieldType::Integer},
          {QStringLiteral("Cat"), FieldType::Smallint},
          {QStringLiteral("Number_of_call"), FieldType::Integer},
          {QStringLiteral("Code"), FieldType::String, 10},
          {QStringLiteral("CodeForeign"), FieldType::String, 10},
          {QStringLiteral("TRF"), FieldType::Float}},
         0,
         231},
        {"Big.db",
         {{QStringLiteral("Id"), FieldType::Integer},
          {QStringLiteral("Name"), FieldType::String, 40},
          {QStringLiteral("Day"), FieldType::Date},
          {QStringLiteral("Amount"), FieldType::Float},
          {QStringLiteral("Note"), FieldType::String, 30}},
         0,
         3000},
        {"Segment.DB",
         {{QStringLiteral("Segment"), FieldType::String, 20},
          {QStringLiteral("Comment"), FieldType::String, 255}},
         1,
         600},
    };
}

QVariantList Row(const Kind& k, int i) {
    QVariantList r;
    for (const FieldDef& f : k.fields) {
        switch (f.type) {
        case FieldType::Integer:
        case FieldType::Smallint:
            r << i % 30000;
            break;
        case FieldType::Date:
            r << QDate(2026, 1, 1).addDays(i % 365);
            break;
        case FieldType::Time:
            r << QTime(10, 0).addSecs(i);
            break;
        case FieldType::Float:
            r << i * 0.5;
            break;
        default:
            r << QStringLiteral("%1 строка %2").arg(1000000 + i).arg(f.name).left(f.size);
        }
    }
    return r;
}

// The layout words of a table's header.
struct Layout {
    int rec, head, blockKb, perBlock;
    qint64 At(int block) const { return head + qint64(block - 1) * blockKb * 1024; }
};
Layout LayoutOf(const QString& path) {
    const QByteArray h = FileBytes(path).left(6);
    auto u16 = [&](int at) { return uint8_t(h[at]) | uint8_t(h[at + 1]) << 8; };
    Layout l{u16(0), u16(2), uint8_t(h[5]), 0};
    l.perBlock = (l.blockKb * 1024 - 6) / l.rec;
    return l;
}

QByteArray Le16(int v) {
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

// Rows of a table as sorted CSV lines (without the header line).
QStringList RowLines(const QString& path) {
    auto t = Table::ForFile(path);
    if (!t->Open(true)) return {QStringLiteral("cannot open: ") + t->LastError()};
    QString e;
    QStringList lines = QString::fromUtf8(DumpCsv(*t, &e)).split('\n', Qt::SkipEmptyParts);
    if (!lines.isEmpty()) lines.removeFirst();
    lines.sort();
    return lines;
}

// The exit code of varnel-tool verify: 0 clean, 3 damage found.
int ToolVerify(const QString& path) {
    TTableUtil u;
    int result = -1;
    EXPECT_TRUE(u.VerifyTable(path, result)) << u.LastError().toStdString();
    return result == 0 ? 0 : 3;
}

struct Damage {
    const char* what;
    // Damages the file; returns the rows still readable (-1: all of them).
    std::function<int(const QString& path, const Layout& l, const Kind& k)> apply;
    bool wrongFields = false; // a rebuild needs the structure from elsewhere
    bool keyedOnly = false;
};

QList<Damage> Damages() {
    auto put = [](const QString& p, const QByteArray& b, qint64 at) {
        EXPECT_TRUE(PutBytes(p, b, at));
        return -1;
    };
    QList<Damage> d;
    for (int hs : {65535, 1024, 3072})
        d.append({"header size", [=](const QString& p, const Layout&, const Kind&) {
                      return put(p, Le16(hs), 2);
                  }});
    for (int kb : {1, 3, 4, 8})
        d.append({"block size", [=](const QString& p, const Layout& l, const Kind&) {
                      return put(p, QByteArray(1, char(kb == l.blockKb ? 32 : kb)), 5);
                  }});
    d.append({"row count of block 2 lowered to one",
              [=](const QString& p, const Layout& l, const Kind&) {
                  return put(p, Le16(0), l.At(2) + 4);
              }});
    d.append({"header row count", [=](const QString& p, const Layout&, const Kind& k) {
                  return put(p, Le16(k.rows + 5), 6);
              }});
    d.append({"key count 3", [=](const QString& p, const Layout&, const Kind&) {
                  return put(p, QByteArray(1, char(3)), 0x23);
              }});
    d.append({"key count 0",
              [=](const QString& p, const Layout&, const Kind&) {
                  return put(p, QByteArray(1, char(0)), 0x23);
              },
              false, true});
    d.append({"block chain loop", [=](const QString& p, const Layout& l, const Kind&) {
                  return put(p, Le16(1), l.At(3));
              }});
    d.append({"link out of the file", [=](const QString& p, const Layout& l, const Kind&) {
                  return put(p, Le16(7777), l.At(2));
              }});
    d.append({"every field A255, record size fixed up",
              [=](const QString& p, const Layout&, const Kind& k) {
                  QByteArray b;
                  for (int i = 0; i < k.fields.size(); ++i)
                      b += QByteArray::fromHex("01ff");
                  put(p, Le16(255 * int(k.fields.size())), 0);
                  return put(p, b, 0x78);
              },
              true});
    d.append({"cut at a block boundary", [=](const QString& p, const Layout& l, const Kind&) {
                  EXPECT_TRUE(QFile::resize(p, l.At(3)));
                  return 2 * l.perBlock;
              }});
    d.append({"cut inside the last six bytes of a row",
              [=](const QString& p, const Layout& l, const Kind&) {
                  EXPECT_TRUE(QFile::resize(p, l.At(3) + 6 + 5 * l.rec - 3));
                  return 2 * l.perBlock + 4;
              }});
    return d;
}

} // namespace

TEST(DamageCorpus, EveryDamageIsFoundAndTheRebuildKeepsEveryReadableRow) {
    TestEnv env;
    for (const Kind& k : Kinds()) {
        const QString model = env.Path(QStringLiteral("model/") + QLatin1String(k.name));
        QDir().mkpath(env.Path(QStringLiteral("model")));
        {
            auto t = NewTable(model, k.fields);
            ASSERT_TRUE(t);
            Transaction tx(QFileInfo(model).path()); // one sync for all the rows
            for (int i = 0; i < k.rows; ++i)
                ASSERT_TRUE(t->Append(Row(k, i))) << t->LastError().toStdString();
            ASSERT_TRUE(tx.Commit(nullptr));
        }
        if (k.keys) {
            // A keyed table is rewritten on each append: it is keyed at once.
            TTableUtil u;
            ASSERT_TRUE(u.RebuildTable(model, TableDesc::FromFields(k.fields, k.keys)));
        }
        const QStringList all = RowLines(model);
        ASSERT_EQ(all.size(), k.rows);
        const Layout l = LayoutOf(model);
        const TableDesc structure = TableDesc::FromFields(k.fields, k.keys);
        for (const Damage& d : Damages()) {
            if (d.keyedOnly && !k.keys) continue;
            SCOPED_TRACE(std::string(k.name) + ": " + d.what);
            const QString dir = env.Path(QStringLiteral("t"));
            QDir(dir).removeRecursively();
            QDir().mkpath(dir);
            const QString path = dir + QLatin1Char('/') + QLatin1String(k.name);
            ASSERT_TRUE(QFile::copy(model, path));
            const QString index = QFileInfo(model).path() + QStringLiteral("/Segment.PX");
            if (k.keys) {
                ASSERT_TRUE(QFile::copy(index, dir + QStringLiteral("/Segment.PX")));
            }
            const int readable = d.apply(path, l, k);
            const QByteArray damaged = FileBytes(path);
            EXPECT_EQ(ToolVerify(path), 3);

            TTableUtil util;
            if (d.wrongFields) {
                // Without the structure nothing is rebuilt and the file stays.
                EXPECT_EQ(RunRebuild(util, path, nullptr).outcome, UtilRun::FillFailed);
                EXPECT_EQ(FileBytes(path), damaged);
            }
            // The structure of the known table, as the start-up recovery
            // gives it; a model table's for a wrong field list.
            const UtilRun r =
                RunRebuild(util, path, &structure,
                           d.wrongFields ? StructureUse::Always : StructureUse::WhenHeaderUnfit);
            ASSERT_EQ(r.outcome, UtilRun::Done) << r.error.toStdString();
            const auto st = util.LastRebuild();
            const QStringList kept = RowLines(path);
            if (readable < 0) {
                EXPECT_EQ(kept, all);
            } else {
                EXPECT_EQ(kept.size(), readable);
                for (const QString& row : kept)
                    EXPECT_TRUE(all.contains(row)) << row.toStdString();
            }
            EXPECT_EQ(st.kept, kept.size());
            EXPECT_GE(st.kept + st.keyViolations + st.problems + st.lost, k.rows);
            EXPECT_EQ(ToolVerify(path), 0) << util.Findings().join('\n').toStdString();
        }
    }
}
