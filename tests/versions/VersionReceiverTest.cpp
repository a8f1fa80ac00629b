// The unloading side of the block protocol, fed with hand-made frames and a
// test clock; the work file it writes.
#include "TestSupport.h"
#include "VersionFiles.h"

#include "versions/VersionReceiver.h"
#include "versions/VersionWorkFile.h"

#include <gtest/gtest.h>

namespace {
struct GetRig {
    VersionReceiver r;
    int64_t now = 0;
    std::vector<uint8_t> answers;
    std::vector<uint16_t> stored;
    bool completed = false, gaveUp = false;

    GetRig() {
        r.OnAnswer = [this](uint8_t c) { answers.push_back(c); };
        r.OnStore = [this](const Vers::Record& rec) {
            stored.push_back(Vers::Address(rec));
            return true;
        };
        r.OnCompleted = [this] { completed = true; };
        r.OnGaveUp = [this] { gaveUp = true; };
        r.Start(now);
    }
    // Sends the frame of address a (bank code 0); returns the answer.
    int Frame(uint16_t a, int flip = -1, const std::vector<uint8_t>& tail = {}) {
        auto f = Vers::EncodeFrame(0, TestRecord(a));
        if (flip >= 0) f[size_t(flip)] ^= 2;
        std::vector<uint8_t> codes(f.begin(), f.end());
        codes.insert(codes.end(), tail.begin(), tail.end());
        const size_t before = answers.size();
        r.Receive(codes.data(), codes.size(), now);
        return answers.size() == before + 1 ? answers.back() : -1;
    }
    void Silence(int intervals) {
        for (int i = 0; i < intervals; ++i) {
            now += VersionReceiver::kSilenceMs;
            r.Tick(now);
        }
    }
};
} // namespace

TEST(VersionReceiver, KeepsOnlyBlocksThatContinueTheImage) {
    GetRig g;
    EXPECT_EQ(g.answers, std::vector<uint8_t>{8}); // Start asks for the first block
    EXPECT_EQ(g.Frame(0x1F00), 0);                 // accepted, never kept
    EXPECT_EQ(g.Frame(0x2040), 8);                 // no area starts there
    EXPECT_EQ(g.Frame(0x2000), 0);
    EXPECT_EQ(g.Frame(0x2000), 0); // its acknowledgement was lost: not kept twice
    EXPECT_EQ(g.Frame(0x2100), 8); // a gap
    // A broken frame is asked for again once its tail has gone by.
    EXPECT_EQ(g.Frame(0x2040, 40, {1, 2, 3}), -1);
    g.now += 20;
    EXPECT_EQ(g.Frame(0x2040), -1); // still going by: not read as a frame
    g.now += VersionReceiver::kQuietMs;
    g.r.Tick(g.now);
    EXPECT_EQ(g.answers.back(), 8);
    EXPECT_EQ(g.Frame(0x2040), 0);
    EXPECT_EQ(g.stored, (std::vector<uint16_t>{0x2000, 0x2040}));
    EXPECT_EQ(g.r.LastStored(), 0x2040);
}

TEST(VersionReceiver, AreasFollowTheirEndsAndStartsOnly) {
    GetRig g;
    for (uint16_t a : Blocks(0x2000, 0x37C0))
        ASSERT_EQ(g.Frame(a), 0) << a;
    EXPECT_EQ(g.Frame(0x3C00), 0); // after 0x37C0 the exchange may skip to 0x3C00
    for (uint16_t a : Blocks(0x3C40, 0x3FC0))
        ASSERT_EQ(g.Frame(a), 0);
    EXPECT_EQ(g.Frame(0x4000 + 0x40), 8); // an area end is followed by an area start only
    EXPECT_EQ(g.Frame(0x4000), 0);
    std::vector<int> areas;
    g.r.OnBlock = [&](const VersionReceiver::Block& b) { areas.push_back(b.area); };
    g.Frame(0x4040);
    EXPECT_EQ(areas, std::vector<int>{2});
}

TEST(VersionReceiver, CompleteAfterTheLastBankBlockOtherwiseGivesUpAfter50Silences) {
    GetRig done;
    for (uint16_t a : Blocks(0x8000, 0xBFC0))
        ASSERT_EQ(done.Frame(a), 0);
    const size_t answers = done.answers.size();
    done.Silence(1);
    EXPECT_TRUE(done.completed);
    EXPECT_EQ(done.answers.size(), answers); // nothing asked after the end
    EXPECT_EQ(done.stored.size(), 256u);

    GetRig cut; // stops after the main area
    for (uint16_t a : Blocks(0x4000, 0x7FC0))
        ASSERT_EQ(cut.Frame(a), 0);
    cut.Silence(50);
    EXPECT_FALSE(cut.gaveUp);
    EXPECT_EQ(cut.r.Retries(), 50);
    EXPECT_EQ(std::count(cut.answers.end() - 50, cut.answers.end(), 8), 50);
    cut.Silence(1);
    EXPECT_TRUE(cut.gaveUp);
    EXPECT_FALSE(cut.completed);
    EXPECT_FALSE(cut.r.Running());
    const size_t total = cut.answers.size();
    cut.Silence(5);
    EXPECT_EQ(cut.Frame(0x8000), -1); // stopped: nothing more is answered
    EXPECT_EQ(cut.answers.size(), total);

    // A broken frame after 0xBFC0 is not the end of the image.
    GetRig broken;
    for (uint16_t a : Blocks(0x8000, 0xBFC0))
        broken.Frame(a);
    broken.Frame(0xBFC0, 50);
    broken.Silence(1);
    EXPECT_FALSE(broken.completed);
    EXPECT_EQ(broken.answers.back(), 8);
}

TEST(VersionWorkFile, ReplacedOnlyByACompleteTransferAndSavedWhole) {
    TestEnv env;
    const QString folder = env.Path(QStringLiteral("Vers"));
    VersionWorkFile w;
    ASSERT_TRUE(w.Begin(folder)); // the folder is made
    EXPECT_EQ(w.Path(), folder + QStringLiteral("/versbyte.bin"));
    ASSERT_TRUE(w.Append(TestRecord(0x2000)));
    ASSERT_TRUE(w.Commit());
    const QByteArray first = FileBytes(w.Path());
    EXPECT_EQ(first.size(), Vers::kRecordBytes);

    ASSERT_TRUE(w.Begin(folder)); // a transfer that stops half-way
    ASSERT_TRUE(w.Append(TestRecord(0x4000)));
    w.Cancel();
    EXPECT_EQ(FileBytes(w.Path()), first);

    const QString saved = env.Path(QStringLiteral("a.ver"));
    ASSERT_TRUE(VersionWorkFile::Save(w.Path(), saved));
    EXPECT_EQ(FileBytes(saved), first);
    // A failed save keeps the previous file.
    EXPECT_FALSE(VersionWorkFile::Save(env.Path(QStringLiteral("gone.bin")), saved));
    EXPECT_FALSE(VersionWorkFile::Save(w.Path(), env.Path(QStringLiteral("no/dir/b.ver"))));
    EXPECT_EQ(FileBytes(saved), first);
}
