// One long stream (text, call and data frames, stray 11 and 14 codes,
// register switches, line feeds) through the receive splitter, split into
// reads of random sizes: whatever the split, the same frames are handed over
// and the same text comes out, and both match what the stream was made of.
// The last run goes through a whole exchange object, into its roll.
#include "TestSupport.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "link/Notation.h"
#include "link/ReceiveSplitter.h"
#include "link/RequestSession.h"
#include "link/RequestTracker.h"
#include "platform/Clock.h"
#include "platform/Codec.h"

#include <QDir>
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

struct Sink : ReceiveSplitter::Output, ICallSink {
    std::vector<Frame>* out = nullptr;
    QString* text = nullptr;
    void Text(const QString& t) override { *text += t; }
    void DataFrame(const uint8_t* p, int n) override {
        Codes v;
        for (int k = 0; k < n; ++k)
            v.push_back(LineCode::Nibble(p[k]));
        v.push_back(5); // the step the requester set
        out->push_back({0, v});
    }
    void CallStart(const CallStartNibbles& n) override {
        out->push_back({1, {n.begin(), n.end()}});
    }
    void CallEnd(const CallEndNibbles& n) override { out->push_back({2, {n.begin(), n.end()}}); }
    void OnCallStart(const AtsSettings&, const CallStartNibbles& n) override { CallStart(n); }
    void OnCallEnd(const AtsSettings&, const CallEndNibbles& n) override { CallEnd(n); }
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
        Codes values;
        for (int k = 0; k < kPayload; ++k) {
            const uint8_t n = uint8_t(m_rng() % 16);
            f.push_back(LineCode::CodeOfNibble(n));
            values.push_back(n);
        }
        values.push_back(5); // DataCount
        frames.push_back({0, values});
        Put(s, f, false);
    }
    void Text(Segment& s, int count) {
        static const uint8_t kCommon[] = {1,  3,  5,  6,  7,  9,  10, 12, 13, 15, 16, 17, 18, 19,
                                          20, 21, 22, 23, 24, 25, 26, 28, 29, 30, 4,  4,  4};
        static const uint8_t kRegisters[] = {0, 27, 31};
        for (int i = 0; i < count; ++i) {
            const unsigned pick = m_rng() % 100;
            uint8_t c;
            if (pick < 6)
                c = 11;
            else if (pick < 12)
                c = 14;
            else if (pick < 15)
                c = 2;
            else if (pick < 18)
                c = 8;
            else if (pick < 22)
                c = kRegisters[m_rng() % 3];
            else
                c = kCommon[m_rng() % sizeof kCommon];
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

    // Feeds every segment in reads of 1..maxRead codes (0: whole segments).
    template <class Expect, class FeedCodes>
    void Run(unsigned seed, int maxRead, Expect expect, FeedCodes feed) {
        std::mt19937 rng(seed);
        for (const Segment& s : segments) {
            expect(s.framesExpected);
            size_t at = 0;
            while (at < s.stream.size()) {
                const size_t left = s.stream.size() - at;
                const size_t n =
                    maxRead == 0 ? left : std::min(left, size_t(1 + rng() % unsigned(maxRead)));
                feed(s.stream.data() + at, int(n));
                at += n;
            }
        }
    }

    TestEnv env;
    std::vector<Segment> segments;
    std::vector<Frame> expectedFrames;
    QString expectedText;
};
} // namespace

TEST_F(SplitTest, EverySplitGivesTheSameFramesAndText) {
    ASSERT_GT(expectedFrames.size(), 100u);
    const int kMaxReads[] = {0, 1, 2, 5, 17, 64, 300, 4000};
    for (unsigned seed = 1; seed <= 29; ++seed) {
        const int maxRead = kMaxReads[seed % std::size(kMaxReads)];
        std::vector<Frame> frames;
        QString text;
        Sink sink;
        sink.out = &frames;
        sink.text = &text;
        ReceiveSplitter rx(sink);
        Run(
            seed, maxRead,
            [&](bool expected) {
                EXPECT_EQ(rx.HeldCount(), 0) << "codes held over at the end of a segment";
                expected ? rx.ExpectFrames(3 + kPayload) : rx.StopFrames();
            },
            [&](const uint8_t* c, int n) { rx.Feed(c, n); });
        ASSERT_EQ(frames, expectedFrames) << "seed " << seed << " reads up to " << maxRead;
        ASSERT_EQ(text, expectedText) << "seed " << seed << " reads up to " << maxRead;
    }
}

TEST_F(SplitTest, ThroughAnExchangeTheRollGetsTheTextAndTheConsumersTheFrames) {
    AppState app;
    app.RollDir = env.Dir() + QLatin1Char('/');
    auto* port = new FakePort;
    TAts ats(app, 1, std::unique_ptr<SerialPort>(port));
    ats.SwitchPort(true);
    std::vector<Frame> frames;
    QString text;
    Sink sink;
    sink.out = &frames;
    sink.text = &text;
    ats.SetCallSink(&sink);
    RequestTracker tracker;
    RequestSession session(ats, tracker);
    session.DataCount = 5;
    session.FrameDone = false;
    session.Parse = [&](const uint8_t* data, int step) {
        Codes v(data, data + kPayload);
        v.push_back(uint8_t(step));
        frames.push_back({0, v});
    };
    Run(
        7, 64,
        [&](bool expected) {
            expected ? session.ExpectFrames(3 + kPayload) : session.StopFrames();
        },
        [&](const uint8_t* c, int n) { port->Arrive(Codes(c, c + n)); });
    WaitUntil([&] { return port->Input.empty(); });
    EXPECT_EQ(frames, expectedFrames);
    EXPECT_EQ(Codec::FromCp1251(FileBytes(ats.RollLog().FileName())), expectedText);
}
