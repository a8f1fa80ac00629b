// The receiver's patience is per block: a long unload with a silence before
// many of its blocks completes; only 50 silences in a row end it.
#include "VersionFiles.h"

#include "versions/VersionReceiver.h"

#include <gtest/gtest.h>

TEST(VersionReceiverSilence, CountsSilencesInARowNotOverTheWholeUnload) {
    VersionReceiver r;
    int64_t now = 0;
    int stored = 0;
    bool completed = false, gaveUp = false;
    r.OnAnswer = [](uint8_t) {};
    r.OnStore = [&](const Vers::Record&) {
        ++stored;
        return true;
    };
    r.OnCompleted = [&] { completed = true; };
    r.OnGaveUp = [&] { gaveUp = true; };
    r.Start(now);
    auto silence = [&](int intervals) {
        for (int i = 0; i < intervals; ++i) {
            now += VersionReceiver::kSilenceMs;
            r.Tick(now);
        }
    };
    auto frame = [&](uint16_t a) {
        const auto f = Vers::EncodeFrame(0, TestRecord(a));
        const std::vector<uint8_t> codes(f.begin(), f.end());
        r.Receive(codes.data(), codes.size(), now);
    };

    // 256 blocks, each after one silence, the last 49 of them after 49.
    const auto blocks = Blocks(0x8000, 0xBFC0);
    for (size_t i = 0; i < blocks.size(); ++i) {
        silence(i + 49 >= blocks.size() ? 49 : 1);
        ASSERT_FALSE(gaveUp) << "before block " << i;
        frame(blocks[i]);
    }
    EXPECT_EQ(stored, 256);
    silence(1);
    EXPECT_TRUE(completed);
    EXPECT_FALSE(gaveUp);
}
