// One long stream (text, call and data frames, stray 11 and 14 codes,
// register switches, line feeds) through the receive splitter, split into
// reads of random sizes: whatever the split, the same frames are handed over
// and the same text comes out, and both match what the stream was made of.
#include "TestSupport.h"

#include "link/Notation.h"
#include "link/ReceiveSplitter.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <random>

namespace {
using Codes = std::vector<uint8_t>;

struct Frame {
    int kind; // 0 data, 1 call start, 2 call end
    Codes values;
    bool operator==(const Frame&) const = default;
};

struct Segment {
    bool framesExpected = false;
    Codes stream;
    Codes text; // the codes that are not frames
};

constexpr int kPayload = 12;

struct Sink : ReceiveSplitter::Output {
    std::vector<Frame> frames;
    QString text;
    void Text(const QString& t) override { text += t; }
    void DataFrame(const uint8_t* p, int n) override { frames.push_back({0, Codes(p, p + n)}); }
    void CallStart(const CallStartNibbles& n) override {
        frames.push_back({1, {n.begin(), n.end()}});
    }
    void CallEnd(const CallEndNibbles& n) override { frames.push_back({2, {n.begin(), n.end()}}); }
};

// Builds a segment and the frames it holds. Text never makes a frame header by
// accident: no 11,11,11 at all, and while data frames are expected no
// 14,14,14 and no 14 right before a frame.
class Generator {
public:
    explicit Generator(unsigned seed) : m_rng(seed) {}

    Segment Make(bool framesExpected, int items, std::vector<Frame>& frames) {
        Segment s;
        s.framesExpected = framesExpected;
        for (int i = 0; i < items; ++i) {
            const unsigned pick = m_rng() % 20;
            if (pick < 2) {
                Call(s, frames, true);
            } else if (pick < 4) {
                Call(s, frames, false);
            } else if (pick < 7 && framesExpected) {
                Data(s, frames);
            } else if (pick == 7 && !framesExpected) {
                Put(s, {14, 14, 14}, true); // the data header as plain text
            } else {
                Text(s, 1 + int(m_rng() % 80));
            }
        }
        Put(s, {8, 2}, true); // ends clean: nothing held over
        return s;
    }

private:
    void Put(Segment& s, const Codes& c, bool text) {
        s.stream.insert(s.stream.end(), c.begin(), c.end());
        if (text) s.text.insert(s.text.end(), c.begin(), c.end());
    }
    bool EndsWith(const Segment& s, uint8_t code, int count) const {
        if (int(s.stream.size()) < count) return false;
        for (int k = 1; k <= count; ++k)
            if (s.stream[s.stream.size() - size_t(k)] != code) return false;
        return true;
    }
    void BeforeFrame(Segment& s) {
        if (s.framesExpected && EndsWith(s, 14, 1)) Put(s, {4}, true);
    }
    void Call(Segment& s, std::vector<Frame>& frames, bool start) {
        BeforeFrame(s);
        Codes f = {11, 11, 11, uint8_t(start ? 17 : 1)};
        while (f.size() < (start ? 28u : 16u))
            f.push_back(LineCode::CodeOfNibble(uint8_t(m_rng() % 10)));
        Codes nibbles;
        for (uint8_t c : f)
            nibbles.push_back(LineCode::Nibble(c));
        frames.push_back({start ? 1 : 2, nibbles});
        Put(s, f, false);
    }
    void Data(Segment& s, std::vector<Frame>& frames) {
        BeforeFrame(s);
        Codes f = {14, 14, 14};
        for (int k = 0; k < kPayload; ++k)
            f.push_back(LineCode::CodeOfNibble(uint8_t(m_rng() % 16)));
        frames.push_back({0, Codes(f.begin() + 3, f.end())});
        Put(s, f, false);
    }
    void Text(Segment& s, int count) {
        static const uint8_t kCommon[] = {1,  3,  5,  6,  7,  9,  10, 12, 13, 15, 16, 17, 18, 19,
                                          20, 21, 22, 23, 24, 25, 26, 28, 29, 30, 4,  4,  4};
        static const uint8_t kRegisters[] = {0, 27, 31};
        for (int i = 0; i < count; ++i) {
            const unsigned pick = m_rng() % 100;
            uint8_t c = pick < 6    ? 11
                        : pick < 12 ? 14
                        : pick < 15 ? 2
                        : pick < 18 ? 8
                        : pick < 22 ? kRegisters[m_rng() % 3]
                                    : kCommon[m_rng() % sizeof kCommon];
            if ((c == 11 && EndsWith(s, 11, 2)) ||
                (c == 14 && s.framesExpected && EndsWith(s, 14, 2)))
                c = 4;
            Put(s, {c}, true);
        }
        if (EndsWith(s, 11, 1) || EndsWith(s, 14, 1)) Put(s, {3}, true);
    }

    std::mt19937 m_rng;
};

class SplitTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 0)));
        Generator gen(20261205);
        segments.push_back(gen.Make(false, 300, expectedFrames));
        segments.push_back(gen.Make(true, 300, expectedFrames));
        segments.push_back(gen.Make(false, 200, expectedFrames));

        // What the roll must get: the text of the segments without frames
        // expected, decoded in order; the text dropped while frames were
        // expected still moves the register.
        LineCodeState st;
        for (const Segment& s : segments) {
            if (s.framesExpected) {
                for (uint8_t c : s.text)
                    if (c == 0 || c == 27 || c == 31) st.RxRegister = c;
            } else {
                expectedText += DecodeCodes(st, s.text.data(), int(s.text.size()),
                                            [] { return GetDateTime(); });
            }
        }
    }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }

    std::vector<Segment> segments;
    std::vector<Frame> expectedFrames;
    QString expectedText;
};
} // namespace

TEST_F(SplitTest, EverySplitGivesTheSameFramesAndText) {
    ASSERT_GT(expectedFrames.size(), 100u);
    const int kMaxReads[] = {0, 1, 2, 5, 17, 64, 300, 4000}; // 0: whole segments
    for (unsigned seed = 1; seed <= 29; ++seed) {
        const int maxRead = kMaxReads[seed % std::size(kMaxReads)];
        std::mt19937 rng(seed);
        Sink sink;
        ReceiveSplitter rx(sink);
        for (const Segment& s : segments) {
            EXPECT_EQ(rx.HeldCount(), 0) << "codes held over at the end of a segment";
            s.framesExpected ? rx.ExpectFrames(3 + kPayload) : rx.StopFrames();
            for (size_t at = 0, n = 0; at < s.stream.size(); at += n) {
                n = std::min(s.stream.size() - at,
                             maxRead ? size_t(1 + rng() % unsigned(maxRead)) : s.stream.size());
                rx.Feed(s.stream.data() + at, int(n));
            }
        }
        ASSERT_EQ(sink.frames, expectedFrames) << "seed " << seed << " reads up to " << maxRead;
        ASSERT_EQ(sink.text, expectedText) << "seed " << seed << " reads up to " << maxRead;
    }
}
