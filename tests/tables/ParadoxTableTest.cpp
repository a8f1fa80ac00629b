// Paradox tables through the store: field lists, values, blanks, code page,
// row order after deletes, keyed tables, damaged files, outside changes.
#include "TablesTestSupport.h"
#include "TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace tables;

namespace {

const FieldList kAll{
    {QStringLiteral("Id"), FieldType::Integer},     {QStringLiteral("Small"), FieldType::Smallint},
    {QStringLiteral("Price"), FieldType::Float},    {QStringLiteral("Day"), FieldType::Date},
    {QStringLiteral("At"), FieldType::Time},        {QStringLiteral("Stamp"), FieldType::DateTime},
    {QStringLiteral("Name"), FieldType::String, 10}};
const FieldList kKodTrf{{QStringLiteral("KOD"), FieldType::String, 10},
                        {QStringLiteral("TRF"), FieldType::Float}};

// The data blocks' chain as another reader follows it: from the header's
// first block by the next links, each back link pointing where it came from,
// ending at the header's last block with a next link of 0. Empty when sound.
QString ChainError(const QString& path) {
    const QByteArray f = FileBytes(path);
    auto u16 = [&](qint64 at) {
        return at + 1 < f.size() ? int(uchar(f[at])) | int(uchar(f[at + 1])) << 8 : -1;
    };
    const int headerSize = u16(0x02);
    const int blockSize = int(uchar(f.at(0x05))) * 1024;
    const int first = u16(0x0E), last = u16(0x10);
    if (first == 0) return last == 0 ? QString() : QStringLiteral("last block without a first");
    int prev = 0, at = first;
    for (int guard = 0; at != 0 && guard < 10000; ++guard) {
        const qint64 off = headerSize + qint64(at - 1) * blockSize;
        if (off + 6 > f.size()) return QStringLiteral("block %1 outside the file").arg(at);
        if (u16(off + 2) != prev)
            return QStringLiteral("block %1: back link %2").arg(at).arg(u16(off + 2));
        prev = at;
        at = u16(off);
    }
    return prev == last ? QString()
                        : QStringLiteral("chain ends at %1, header says %2").arg(prev).arg(last);
}

} // namespace

TEST(ParadoxTable, EveryFieldTypeRoundTripsAndRejectedValuesStoreNothing) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("All.db"));
    auto t = Table::ForFile(path);
    ASSERT_FALSE(t->Exists());
    ASSERT_TRUE(t->Create(kAll)) << t->LastError().toStdString();
    EXPECT_FALSE(t->Append({1}));
    EXPECT_TRUE(t->LastError().contains(QStringLiteral("not open")));
    ASSERT_TRUE(t->Open());
    EXPECT_FALSE(t->Append({1, 40000}));
    EXPECT_TRUE(t->LastError().startsWith(QStringLiteral("All.db: field Small")))
        << t->LastError().toStdString();
    EXPECT_FALSE(t->Append({QStringLiteral("x1")}));
    EXPECT_FALSE(t->Append({1, 1, 1.0, QStringLiteral("2026-13-01")}));
    const QDateTime stamp(QDate(2026, 12, 5), QTime(9, 5, 7, 123));
    ASSERT_TRUE(t->Append({-2147483647, -32767, -0.25, QDate(1, 1, 1), QTime(23, 59, 59, 999),
                           stamp, QStringLiteral("Сегмент-ЯЁ")}))
        << t->LastError().toStdString();
    ASSERT_TRUE(t->Append(
        {0, 0, 0.0, QVariant(), QVariant(), QVariant(), QVariant()})); // zeros are not blanks
    ASSERT_TRUE(t->Append({QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                           QStringLiteral("abcdefghijKLM")}));

    auto r = Table::ForFile(path);
    ASSERT_TRUE(r->Open()) << r->LastError().toStdString();
    EXPECT_EQ(r->Fields(), kAll);
    ASSERT_EQ(r->RecordCount(), 3);
    ASSERT_TRUE(r->GoTo(0));
    EXPECT_EQ(r->Value(0).toLongLong(), -2147483647);
    EXPECT_EQ(r->Value(1).toLongLong(), -32767);
    EXPECT_DOUBLE_EQ(r->Value(2).toDouble(), -0.25);
    EXPECT_EQ(r->Value(3).toDate(), QDate(1, 1, 1));
    EXPECT_EQ(r->Value(4).toTime(), QTime(23, 59, 59, 999));
    EXPECT_EQ(r->Value(5).toDateTime(), stamp);
    EXPECT_EQ(r->Value(6).toString(), QStringLiteral("Сегмент-ЯЁ"));
    ASSERT_TRUE(r->GoTo(1));
    EXPECT_EQ(r->Value(0), QVariant(qint64(0)));
    EXPECT_EQ(r->Value(2), QVariant(0.0));
    EXPECT_TRUE(r->Value(3).isNull());
    EXPECT_TRUE(r->Value(5).isNull());
    EXPECT_TRUE(r->Value(6).isNull());
    ASSERT_TRUE(r->GoTo(2));
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(r->Value(i).isNull()) << i;
    EXPECT_EQ(r->Value(6).toString(), QStringLiteral("abcdefghij")); // cut to the field

    // The DOS code page field says 1251, and text is stored as its bytes.
    const QByteArray b = FileBytes(path);
    ASSERT_GT(b.size(), 0x6B);
    EXPECT_EQ(uint8_t(b[0x6A]) | uint8_t(b[0x6B]) << 8, 1251);
    EXPECT_TRUE(b.contains(QByteArray("\xD1\xE5\xE3\xEC\xE5\xED\xF2-\xDF\xA8")));
}

// Random inserts and deletes against a model: pxlib refills freed slots and
// shifts rows within a block, so the order is checked after every reopen.
TEST(ParadoxTable, RowOrderFollowsInsertsAndDeletesAcrossBlocks) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("TarifTA2.DB"));
    auto t = NewTable(path, {{QStringLiteral("AbNumber"), FieldType::Integer},
                             {QStringLiteral("AkNumber"), FieldType::Smallint}});
    ASSERT_TRUE(t);
    QRandomGenerator rng(7);
    std::vector<int> model;
    int next = 1;
    auto checkFresh = [&] {
        auto r = Table::ForFile(path);
        ASSERT_TRUE(r->Open()) << r->LastError().toStdString();
        ASSERT_EQ(r->RecordCount(), int(model.size()));
        for (int i = 0; i < int(model.size()); ++i) {
            ASSERT_TRUE(r->GoTo(i));
            ASSERT_EQ(r->Value(0).toInt(), model[size_t(i)]) << "row " << i;
        }
        ASSERT_EQ(ChainError(path), QString());
    };
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 400; ++i) {
            if (!model.empty() && rng.bounded(3) == 0) {
                const int v = model[rng.bounded(int(model.size()))];
                ASSERT_TRUE(t->Locate({QStringLiteral("AbNumber")}, {v}));
                const int at = t->RecNo();
                ASSERT_EQ(model[size_t(at)], v);
                ASSERT_TRUE(t->Delete()) << t->LastError().toStdString();
                // The last row takes the deleted row's place.
                model[size_t(at)] = model.back();
                model.pop_back();
            } else {
                const int v = next++;
                ASSERT_TRUE(t->Append({v, v % 2000})) << t->LastError().toStdString();
                model.insert(model.begin() + t->RecNo(), v);
            }
        }
        checkFresh();
    }
    // Emptied completely (blocks freed from the end), then filled again.
    while (!model.empty()) {
        ASSERT_TRUE(t->GoTo(int(rng.bounded(int(model.size())))));
        const int at = t->RecNo();
        ASSERT_TRUE(t->Delete()) << t->LastError().toStdString();
        model[size_t(at)] = model.back();
        model.pop_back();
        ASSERT_EQ(ChainError(path), QString()) << model.size() << " rows left";
    }
    checkFresh();
    EXPECT_EQ(QFileInfo(path).size(), 2048); // header only
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(t->Append({next, 1})) << t->LastError().toStdString();
        model.insert(model.begin() + t->RecNo(), next++);
    }
    checkFresh();
    EXPECT_FALSE(t->Locate({QStringLiteral("AbNumber")}, {next + 5}));
    EXPECT_TRUE(t->LastError().isEmpty());
}

TEST(ParadoxTable, KeyedTableStaysInKeyOrderWithItsIndex) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Segment.DB"));
    auto t = NewTable(path,
                      {{QStringLiteral("Segment"), FieldType::String, 20},
                       {QStringLiteral("Comment"), FieldType::String, 255}},
                      {}, 1);
    ASSERT_TRUE(t);
    for (const char* k : {"М12", "A7", "Б3", "A1"})
        ASSERT_TRUE(t->Append({QString::fromUtf8(k), QStringLiteral("c")})) << k;
    EXPECT_FALSE(t->Append({QStringLiteral("A7"), QStringLiteral("twice")}));
    EXPECT_TRUE(t->LastError().contains(QStringLiteral("key violation")));
    ASSERT_TRUE(t->Locate({QStringLiteral("Segment")}, {QStringLiteral("Б3")}));
    ASSERT_TRUE(t->Update({QStringLiteral("A0"), QStringLiteral("moved")}));
    EXPECT_EQ(t->RecNo(), 0);

    auto r = Table::ForFile(path);
    ASSERT_TRUE(r->Open());
    EXPECT_EQ(r->KeyFieldCount(), 1);
    QStringList keys;
    for (int i = 0; i < r->RecordCount(); ++i) {
        ASSERT_TRUE(r->GoTo(i));
        keys << r->AsText(QStringLiteral("Segment"));
    }
    EXPECT_EQ(keys, (QStringList{"A0", "A1", "A7", "М12"}));
    const QByteArray px = FileBytes(env.Path(QStringLiteral("Segment.PX")));
    ASSERT_GT(px.size(), 8);
    EXPECT_EQ(px[4], 1); // primary index file
}

TEST(ParadoxTable, DamagedFilesFailWithTheirNameNeverCrash) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Sng.db"));
    QList<QVariantList> rows;
    for (int i = 0; i < 300; ++i)
        rows.append({QString::number(i), i * 0.5});
    ASSERT_TRUE(NewTable(path, kKodTrf, rows));
    const QByteArray good = FileBytes(path);
    ASSERT_TRUE(PutBytes(path, "not a table"));
    auto t = Table::ForFile(path);
    EXPECT_FALSE(t->Open(true));
    EXPECT_TRUE(t->LastError().startsWith(QStringLiteral("Sng.db: ")))
        << t->LastError().toStdString();
    ASSERT_TRUE(PutBytes(path, good.left(good.size() - 100)));
    EXPECT_FALSE(t->Open(true));

    QRandomGenerator rng(11);
    for (int i = 0; i < 300; ++i) {
        QByteArray bad = good;
        const int flips = 1 + int(rng.bounded(4));
        for (int k = 0; k < flips; ++k) {
            // Mostly the header and block heads, where damage matters.
            const int at = rng.bounded(3) ? int(rng.bounded(0x100)) : int(rng.bounded(bad.size()));
            bad[at] = char(rng.bounded(256));
        }
        ASSERT_TRUE(PutBytes(path, bad));
        if (t->Open(true)) {
            const int n = t->RecordCount();
            for (int k = 0; k < n; ++k)
                t->GoTo(k);
            t->SetIndex(QStringLiteral("KOD"));
            t->FindKey(QStringLiteral("17"));
        }
        t->Close();
    }
}

TEST(ParadoxTable, AnotherProgramsChangeIsReadAgain) {
    TestEnv env;
    const QString path = env.Path(QStringLiteral("Foren.db"));
    auto writer = NewTable(path, kKodTrf, {{QStringLiteral("44"), 12.5}});
    ASSERT_TRUE(writer);
    auto reader = Table::ForFile(path);
    ASSERT_TRUE(reader->Open(true));
    ASSERT_TRUE(reader->SetIndex(QStringLiteral("KOD")));
    ASSERT_TRUE(reader->FindKey(QStringLiteral("44")));
    EXPECT_DOUBLE_EQ(reader->AsFloat(QStringLiteral("TRF")), 12.5);
    EXPECT_FALSE(reader->FindKey(QStringLiteral("49")));

    ASSERT_TRUE(writer->Append({QStringLiteral("49"), 30.0}));
    ASSERT_TRUE(reader->FindKey(QStringLiteral("49")));
    EXPECT_DOUBLE_EQ(reader->AsFloat(QStringLiteral("TRF")), 30.0);
    // An edit in place (the size stays) is seen by the reader and by a
    // second writable object of the table in this process.
    auto second = Table::ForFile(path);
    ASSERT_TRUE(second->Open());
    ASSERT_TRUE(second->SetIndex(QStringLiteral("KOD")));
    ASSERT_TRUE(second->FindKey(QStringLiteral("49")));
    ASSERT_TRUE(writer->SetIndex(QStringLiteral("KOD")));
    ASSERT_TRUE(writer->FindKey(QStringLiteral("49")));
    ASSERT_TRUE(writer->Update({QStringLiteral("49"), 31.0}));
    for (Table* t : {reader.get(), second.get()}) {
        ASSERT_TRUE(t->FindKey(QStringLiteral("49")));
        EXPECT_DOUBLE_EQ(t->AsFloat(QStringLiteral("TRF")), 31.0);
    }
    second->Close();
    // Replaced by a new file (as a program saving a copy does).
    ASSERT_TRUE(
        NewTable(env.Path(QStringLiteral("Other.db")), kKodTrf, {{QStringLiteral("7"), 1.0}}));
    writer->Close();
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(env.Path(QStringLiteral("Other.db")), path));
    EXPECT_FALSE(reader->FindKey(QStringLiteral("49")));
    EXPECT_TRUE(reader->FindKey(QStringLiteral("7")));
}
