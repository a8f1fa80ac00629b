// The version programs and files: frames of the block protocol (decoded again
// by the loader and unloader cases), the loader's checksum check, the
// unloader's order and its silence at the end.
#include "Exchange.h"
#include "Memory.h"
#include "Version.h"
#include "link/LineCode.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sim;

TEST(SimVersion, FrameEncodesBankCodeAndRecordLowNibbleFirst) {
    SimMemory m;
    m.SetWord(0x2000, 0xA1B2);
    const Record r = MakeRecord(m, {0, 0x2000}, 5);
    EXPECT_EQ(r[0], 0x00);
    EXPECT_EQ(r[1], 0x20);
    EXPECT_EQ(r[2], 0xB2); // words little-endian
    EXPECT_EQ(r[3], 0xA1);
    const uint16_t sum = uint16_t(0x2000 + 0xA1B2 + 5);
    EXPECT_EQ(r[130] | (r[131] << 8), sum);

    const auto f = MakeFrame(5, r);
    // Bank code 5: low nibble 5 -> character 20, high nibble 0 -> 0.
    EXPECT_EQ(f[0], 20);
    EXPECT_EQ(f[1], 0);
    // Address low byte 0x00, then high byte 0x20: nibbles 0 and 2 -> 0 and 8.
    EXPECT_EQ(f[4], 0);
    EXPECT_EQ(f[5], 8);
    // The sixteen nibble values travel as the table of the protocol.
    const uint8_t table[16] = {0, 16, 8, 24, 4, 20, 12, 28, 2, 18, 10, 26, 6, 22, 14, 30};
    for (uint8_t n = 0; n < 16; ++n)
        EXPECT_EQ(LineCode::CodeOfNibble(n), table[n]);
}

TEST(SimVersion, UnloaderSendsBlocksInOrderAndFallsSilentAfterTheLast) {
    SimMemory m;
    for (uint32_t a = 0x2000; a < 0xC000; a += 0x40)
        m.SetWord(uint16_t(a), uint16_t(a ^ 0x5555));
    m.SetBankWord(2, 0x8000, 0x2222);
    Unloader u(m, VersionBlocks(2), VersionType::Vef);
    ASSERT_EQ(u.Count(), 128u + 256u + 512u);

    // The block the terminal's answer brings, as address and bank code; {0, 0}
    // for silence.
    auto answer = [&](uint8_t c) -> std::pair<uint16_t, uint8_t> {
        std::vector<uint8_t> out;
        u.Feed(c, out);
        uint8_t code = 0;
        Record r{};
        if (out.empty()) return {0, 0};
        EXPECT_EQ(out.size(), size_t(kFrameChars));
        EXPECT_TRUE(DecodeFrame(out.data(), code, r));
        if (RecordAddress(r) == 0x8000 && code == 61) {
            EXPECT_EQ(RecordWord(r, 0), 0x2222);
        }
        return {RecordAddress(r), code};
    };
    using Block = std::pair<uint16_t, uint8_t>;
    EXPECT_EQ(answer(8), (Block{0x2000, 63})); // the terminal's first 8 asks for the first block
    EXPECT_EQ(answer(8), (Block{0x2000, 63})); // again
    EXPECT_EQ(answer(16), (Block{0, 0}));      // not an answer
    EXPECT_EQ(answer(31), (Block{0, 0}));
    std::vector<Block> seen;
    for (size_t i = 1; i < u.Count(); ++i)
        seen.push_back(answer(0));
    EXPECT_EQ(seen[127], (Block{0x4000, 63}));
    EXPECT_EQ(seen[383], (Block{0x8000, 62}));
    EXPECT_EQ(seen[639], (Block{0x8000, 61}));
    EXPECT_EQ(seen.back().first, 0xBFC0);
    EXPECT_EQ(answer(0), (Block{0, 0})); // the last block acknowledged: silence
    EXPECT_TRUE(u.Done());
}

TEST(SimVersion, LoaderStoresGoodBlocksAndAsksAgainForBadOnes) {
    SimMemory source;
    source.SetWord(0x4040, 0x1357);
    source.SetBankWord(3, 0x8040, 0x2468);
    SimMemory target;
    Loader l(target);
    std::vector<uint8_t> out;
    l.Ask(out);
    EXPECT_EQ(out, std::vector<uint8_t>{8});

    auto send = [&](const std::array<uint8_t, kFrameChars>& f) {
        out.clear();
        for (uint8_t c : f)
            l.Feed(uint8_t(c | 0x20), out); // high bits are masked off
        return out;
    };
    const BlockRef main{0, 0x4040};
    EXPECT_EQ(send(MakeFrame(0, MakeRecord(source, main, 0))), std::vector<uint8_t>{0});
    EXPECT_EQ(target.Word(0x4040), 0x1357);

    // One flipped bit anywhere fails the checksum: answer 8, nothing stored.
    const BlockRef bank3{3, 0x8040};
    auto bad = MakeFrame(2, MakeRecord(source, bank3, 2));
    bad[100] ^= 2;
    EXPECT_EQ(send(bad), std::vector<uint8_t>{8});
    EXPECT_EQ(target.BankWord(3, 0x8040), 0);
    EXPECT_EQ(l.Rejected(), 1);

    // The bank code places an additional-bank block.
    EXPECT_EQ(send(MakeFrame(2, MakeRecord(source, bank3, 2))), std::vector<uint8_t>{0});
    EXPECT_EQ(target.BankWord(3, 0x8040), 0x2468);
    EXPECT_EQ(target.Word(0x8040), 0);
    EXPECT_EQ(l.Accepted(), 2);
}

// Faults on the codes from the terminal: a code lost leaves the frame short
// (after a pause the loader asks again), a garbled one fails the checksum.
TEST(SimVersion, LoaderModeAsksUntilGoodFramesComeAndEndsAfterSilence) {
    SimOptions o;
    o.callsPerMinute = 0;
    o.animateMs = 0;
    SimExchange ex(o);
    ASSERT_TRUE(ex.Command(QStringLiteral("loader"), 0).ok);
    EXPECT_EQ(ex.TakeAll(0), std::vector<uint8_t>{8});
    ex.Tick(1999);
    EXPECT_TRUE(ex.TakeAll(1999).empty());
    ex.Tick(2000);
    EXPECT_EQ(ex.TakeAll(2000), std::vector<uint8_t>{8}); // asks again

    SimMemory src;
    src.SetWord(0x2040, 0xBEEF);
    const auto f = MakeFrame(0, MakeRecord(src, {0, 0x2040}, 0));
    ASSERT_TRUE(ex.Command(QStringLiteral("drop 1 in"), 2500).ok);
    ex.Receive(f.data(), f.size(), 2500);
    EXPECT_TRUE(ex.TakeAll(2500).empty());
    ex.Tick(4500);
    EXPECT_EQ(ex.TakeAll(4500), std::vector<uint8_t>{8});
    ASSERT_TRUE(ex.Command(QStringLiteral("corrupt 3 in"), 4600).ok);
    ex.Receive(f.data(), f.size(), 4600);
    EXPECT_EQ(ex.TakeAll(4600), std::vector<uint8_t>{8});
    EXPECT_EQ(ex.Memory().Word(0x2040), 0);
    EXPECT_FALSE(ex.Command(QStringLiteral("silent 1 in"), 4600).ok);
    ex.Receive(f.data(), f.size(), 5000);
    EXPECT_EQ(ex.TakeAll(5000), std::vector<uint8_t>{0});
    EXPECT_EQ(ex.Memory().Word(0x2040), 0xBEEF);

    ex.Tick(16999);
    EXPECT_EQ(ex.CurrentMode(), SimExchange::Mode::Loader);
    ex.Tick(17000);
    EXPECT_EQ(ex.CurrentMode(), SimExchange::Mode::Normal);
    EXPECT_FALSE(ex.TakeAll(17000).empty()); // the closing printout
}

TEST(SimVersion, FilesRoundTripWithTheirBanks) {
    QTemporaryDir dir;
    SimMemory m;
    m.SetWord(0x2000, 1);
    m.SetWord(0x7FFF, 2);
    for (int bank = 1; bank <= 6; ++bank)
        m.SetBankWord(bank, 0x8000 + uint16_t(bank), uint16_t(100 + bank));
    const QString path = dir.filePath(QStringLiteral("a.ver"));
    ASSERT_TRUE(SaveVersionFile(m, path, VersionType::Planeta, nullptr));
    EXPECT_EQ(QFile(path).size(), 1920 * kRecordBytes);

    SimMemory back;
    EXPECT_EQ(LoadVersionFile(back, path, nullptr), 1920);
    EXPECT_EQ(back.Word(0x2000), 1);
    EXPECT_EQ(back.Word(0x7FFF), 2);
    for (int bank = 1; bank <= 6; ++bank)
        EXPECT_EQ(back.BankWord(bank, 0x8000 + uint16_t(bank)), 100 + bank) << bank;

    // A record that would run past the end of memory is skipped, not stored.
    QFile f(dir.filePath(QStringLiteral("b.ver")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    Record r{};
    r[0] = 0xF0;
    r[1] = 0xFF;
    f.write(reinterpret_cast<const char*>(r.data()), kRecordBytes);
    f.close();
    EXPECT_EQ(LoadVersionFile(back, f.fileName(), nullptr), 0);
    EXPECT_EQ(LoadVersionFile(back, dir.filePath(QStringLiteral("none.ver")), nullptr), -1);
}
