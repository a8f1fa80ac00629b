// Control sums of version files by record position, and varnel-tool checksum.
#include "TestSupport.h"
#include "VersionFiles.h"

#include "link/Notation.h"
#include "versions/VersionChecksum.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace {
using VersionChecksum::Add;

// A file of n records; record i holds the word i + 1 in every data word, and
// record 901 the end word e at offsets 108-109 (data word 54).
QString SumsFile(const TestEnv& env, int n, uint16_t e = 0) {
    std::vector<Vers::Record> records;
    for (int i = 0; i < n; ++i)
        records.push_back(TestRecord(uint16_t(0x2000 + 0x40 * i), [&](int k) {
            return i == 901 && k == 54 ? e : uint16_t(i + 1);
        }));
    const QString path = env.Path(QStringLiteral("s%1.ver").arg(n));
    EXPECT_TRUE(WriteRecords(path, records));
    return path;
}

// Sum of data words first..last of records from..to of a SumsFile.
uint16_t Expected(int from, int to, int first = 1, int last = 64, uint16_t e = 0, uint16_t s = 0) {
    for (int i = from; i <= to; ++i)
        for (int k = first; k <= last; ++k)
            s = Add(s, i == 901 && k == 54 ? e : uint16_t(i + 1));
    return s;
}
// The main area's first sum: records 128-154, the upper half of 155, 156-235.
uint16_t MainSum() {
    return Expected(156, 235, 1, 64, 0, Expected(155, 155, 33, 64, 0, Expected(128, 154)));
}
} // namespace

TEST(VersionChecksum, FullFileByTheFixedLayoutAndTheEndWord) {
    TestEnv env;
    for (uint16_t e : {uint16_t(0x9000), uint16_t(0x9010), uint16_t(0), uint16_t(0x7FF0)}) {
        std::vector<int> order;
        const auto res = VersionChecksum::Compute(
            SumsFile(env, 1920, e), [&](int label, uint16_t) { order.push_back(label); });
        ASSERT_FALSE(res.readFailed) << e;
        EXPECT_EQ(order,
                  std::vector<int>(VersionChecksum::kOrder.begin(), VersionChecksum::kOrder.end()));
        EXPECT_EQ(res.sums[6], MainSum());
        EXPECT_EQ(res.sums[7], Expected(236, 383));
        EXPECT_EQ(res.sums[0], Expected(384, 639));
        EXPECT_EQ(res.sums[1], Expected(640, 895));
        EXPECT_EQ(res.sums[2], Expected(896, 1151, 1, 64, e));
        // 0x9000: 64 whole records; 0x9010: and the last 16 words of the
        // next; 0 and 0x7FF0: the whole lower half.
        const uint16_t lower = e == 0x9000   ? Expected(1152, 1215)
                               : e == 0x9010 ? Expected(1216, 1216, 49, 64, 0, Expected(1152, 1215))
                                             : Expected(1152, 1279);
        EXPECT_EQ(res.sums[3], lower) << e;
        EXPECT_EQ(res.sums[8], Expected(1280, 1407));
        EXPECT_EQ(res.sums[4], Expected(1408, 1663));
        EXPECT_EQ(res.sums[5], Expected(1664, 1919));
    }
}

TEST(VersionChecksum, ShortFilesAndTheCarryGoingRound) {
    EXPECT_EQ(ValueToVarnel(Add(0xFFFF, 0x0001)), QStringLiteral("00001"));
    EXPECT_EQ(Add(0x8000, 0x8000), 0x0001);
    TestEnv env;
    // Only "ОЗУ": the main area's first records must be there.
    auto res = VersionChecksum::Compute(SumsFile(env, 128));
    EXPECT_TRUE(res.readFailed);
    EXPECT_FALSE(res.sums[6].has_value());
    // "ОЗУ" and the main area: the banks sum to nothing.
    res = VersionChecksum::Compute(SumsFile(env, 384));
    EXPECT_FALSE(res.readFailed);
    EXPECT_EQ(res.sums[7], Expected(236, 383));
    for (int label : {1, 2, 3, 4, 5, 6, 9})
        EXPECT_EQ(res.sums[size_t(label - 1)], 0) << label;
    // A partial last record is a failed read.
    QFile f(SumsFile(env, 300));
    ASSERT_TRUE(f.resize(f.size() - 10));
    EXPECT_TRUE(VersionChecksum::Compute(f.fileName()).readFailed);
    EXPECT_TRUE(VersionChecksum::Compute(env.Path(QStringLiteral("none.ver"))).readFailed);
    // An empty file: nothing to compute, nothing failed.
    res = VersionChecksum::Compute(SumsFile(env, 0));
    EXPECT_FALSE(res.readFailed);
    EXPECT_FALSE(res.sums[6].has_value());
}

TEST(VersionChecksum, ToolPrintsTheNineSums) {
    TestEnv env;
    auto run = [](const QString& file) {
        QProcess tool;
        tool.start(QStringLiteral(VARNEL_BIN_DIR "/varnel-tool"),
                   {QStringLiteral("checksum"), file});
        EXPECT_TRUE(tool.waitForFinished(10000));
        return std::tuple{tool.exitCode(),
                          QString::fromUtf8(tool.readAllStandardOutput())
                              .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                          QString::fromUtf8(tool.readAllStandardError()).trimmed()};
    };
    const auto [status, lines, none] = run(SumsFile(env, 384));
    EXPECT_EQ(status, 0);
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0], QStringLiteral("1 Осн (1)  %1").arg(ValueToVarnel(MainSum())));
    EXPECT_EQ(lines[2], QStringLiteral("1 Доп      00000"));

    const QString ram = SumsFile(env, 128);
    const auto [failed, nothing, err] = run(ram);
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(err, QStringLiteral("Cant read ") + ram);
}
