// The loading side of the block protocol, driven by hand-made answers and a
// test clock: frames, areas and bank codes, the skipped RAM blocks, repeats
// and the time-out.
#include "TestSupport.h"
#include "VersionFiles.h"

#include "versions/VersionSender.h"

#include <gtest/gtest.h>

namespace {
struct SendRig {
    TestEnv env;
    VersionSender s;
    int64_t now = 0;
    std::vector<uint16_t> sent; // the address and bank code of each frame
    std::vector<uint8_t> banks;
    std::vector<VersionSender::Block> blocks;
    bool completed = false;
    QString failed;

    explicit SendRig(Vers::Type type = Vers::Type::Planeta, bool simplex = true) {
        s.SetType(type);
        s.SetSimplex(simplex);
        s.OnSendFrame = [this] {
            uint8_t bank = 0;
            Vers::Record r{};
            EXPECT_TRUE(Vers::DecodeFrame(s.CurrentFrame().data(), bank, r));
            sent.push_back(Vers::Address(r));
            banks.push_back(bank);
            s.FrameWritten(now);
        };
        s.OnBlock = [this](const VersionSender::Block& b) { blocks.push_back(b); };
        s.OnCompleted = [this] { completed = true; };
        s.OnFailed = [this](const QString& m) { failed = m; };
    }
    VersionSender::StartResult Start(const std::vector<uint16_t>& addresses) {
        const QString path = env.Path(QStringLiteral("v.ver"));
        EXPECT_TRUE(WriteVersion(path, addresses));
        return s.Start(path, now);
    }
    void Answer(uint8_t c) { s.Receive(c, now); }
};
} // namespace

TEST(VersionFormat, FramesCarryNibblesReversedLowFirstAndCheckTheBankCode) {
    Vers::Record r = TestRecord(0x2000);
    r[2] = 0x5A;
    Vers::SetSum(r, uint16_t(Vers::BlockSum(r) + 62));
    Vers::Frame f = Vers::EncodeFrame(62, r);
    // 62 = 0x3E, low nibble first; record byte 2 at characters 6 and 7.
    EXPECT_EQ((std::vector<int>{f[0], f[1], f[6], f[7]}), (std::vector<int>{14, 24, 10, 20}));
    for (uint8_t& c : f)
        c |= 0x21; // bit 0 and the bits above five are not part of a character
    uint8_t bank = 0;
    Vers::Record back{};
    ASSERT_TRUE(Vers::DecodeFrame(f.data(), bank, back));
    EXPECT_EQ(bank, 62);
    EXPECT_EQ(back, r);
    f[0] = 24; // another bank code no longer matches the sum
    EXPECT_FALSE(Vers::DecodeFrame(f.data(), bank, back));
}

TEST(VersionSender, TheExchangesFirstAnswerDecidesWhetherTheFirstRecordGoes) {
    SendRig again, next;
    ASSERT_EQ(again.Start({0x2000, 0x2040, 0x2080}), VersionSender::StartResult::Started);
    EXPECT_TRUE(again.sent.empty()); // the exchange speaks first
    again.Answer(8);
    next.Start({0x2000, 0x2040, 0x2080});
    next.Answer(0);
    EXPECT_EQ(again.sent, std::vector<uint16_t>{0x2000});
    EXPECT_EQ(next.sent, std::vector<uint16_t>{0x2040});

    again.Answer(0);
    again.Answer(0);
    EXPECT_FALSE(again.completed);
    again.Answer(0); // the last record acknowledged
    EXPECT_TRUE(again.completed);
    EXPECT_EQ(again.sent, (std::vector<uint16_t>{0x2000, 0x2040, 0x2080}));
    EXPECT_FALSE(again.s.Running());
}

TEST(VersionSender, RamBlocks3800To3BC0AreReadButNeverSent) {
    SendRig rig;
    std::vector<uint16_t> file = Blocks(0x3780, 0x3C40);
    rig.Start(file);
    rig.Answer(8);
    for (int i = 0; i < 4; ++i)
        rig.Answer(0);
    EXPECT_EQ(rig.sent, (std::vector<uint16_t>{0x3780, 0x37C0, 0x3C00, 0x3C40}));
    EXPECT_EQ(rig.blocks.size(), file.size()); // every record was read and shown
    rig.Answer(0);
    EXPECT_TRUE(rig.completed);

    // A file that ends inside the skipped blocks is complete after the last
    // block sent.
    SendRig tail;
    tail.Start(Blocks(0x37C0, 0x3840));
    tail.Answer(8);
    tail.Answer(0);
    EXPECT_TRUE(tail.completed);
    EXPECT_TRUE(tail.failed.isEmpty());
}

TEST(VersionSender, AreasBankCodesAndTheStartOfTheElapsedTime) {
    const std::vector<uint16_t> file = {0x4000, 0x4040, 0x8000, 0x8040, 0x8000, 0x8000};
    for (auto [type, codes] :
         {std::pair{Vers::Type::Planeta, std::vector<uint8_t>{0, 0, 0, 0, 1, 2}},
          std::pair{Vers::Type::Vef, std::vector<uint8_t>{63, 63, 62, 62, 61, 59}}}) {
        SendRig rig(type);
        rig.now = 1234;
        rig.Start(file);
        // No RAM records: the main area and its time begin with the first.
        EXPECT_EQ(rig.s.MainStart(), 1234);
        rig.Answer(8);
        for (size_t i = 1; i < file.size(); ++i)
            rig.Answer(0);
        EXPECT_EQ(rig.banks, codes);
        std::vector<int> areas;
        for (const VersionSender::Block& b : rig.blocks)
            areas.push_back(b.area);
        EXPECT_EQ(areas, (std::vector<int>{2, 2, 3, 3, 4, 5}));
        EXPECT_EQ(rig.blocks[3].position, 0x40);
        EXPECT_EQ(rig.blocks[5].index, 6);
        EXPECT_EQ(rig.blocks[5].count, 6);
    }
}

TEST(VersionSender, OnlyEightRepeatsOtherCodesWaitForTheTimeOut) {
    SendRig rig;
    rig.Start(Blocks(0x2000, 0x2100));
    rig.Answer(31); // not an answer: arms the time-out, sends nothing
    rig.Answer(16);
    EXPECT_TRUE(rig.sent.empty());
    for (int64_t t : {4999, 5000, 10000}) // and again every 5 s without an answer
        rig.s.Tick(rig.now = t);
    EXPECT_EQ(rig.sent, (std::vector<uint16_t>{0x2000, 0x2000}));
    EXPECT_EQ(rig.s.NextDeadline(), 15000);

    // In simplex each repeat request of the RAM phase slows the line.
    rig.Answer(8);
    rig.Answer(8);
    EXPECT_EQ(rig.s.Delay(), 2000);
    rig.Answer(0);
    EXPECT_EQ(rig.sent.back(), 0x2040);

    SendRig duplex(Vers::Type::Planeta, false);
    duplex.Start({0x2000});
    duplex.Answer(8);
    EXPECT_EQ(duplex.s.Delay(), 0);

    // Stop: answers are no longer heard.
    rig.s.Stop();
    rig.Answer(0);
    rig.s.Tick(100000);
    EXPECT_EQ(rig.sent.size(), 5u);
}

TEST(VersionSender, FilesThatAreNotWholeVersionsSendNothing) {
    SendRig rig;
    EXPECT_EQ(rig.s.Start(rig.env.Path(QStringLiteral("none.ver")), 0),
              VersionSender::StartResult::CannotOpen);
    for (int size : {0, 131, 200, 133}) {
        QFile f(rig.env.Path(QStringLiteral("short.ver")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray(size, '\x01'));
        f.close();
        EXPECT_EQ(rig.s.Start(f.fileName(), 0), VersionSender::StartResult::BadFile) << size;
        rig.Answer(8);
        rig.s.Tick(60000);
    }
    EXPECT_TRUE(rig.sent.empty());
    EXPECT_TRUE(rig.blocks.empty());
}
