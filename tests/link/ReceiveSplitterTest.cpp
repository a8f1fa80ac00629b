// The receive splitter: frames cut out of the code stream in order, the hold
// rule, text dropped while frames are awaited, the capture, and a buffer
// full of held codes.
#include "TestSupport.h"

#include "link/Notation.h"
#include "link/ReceiveSplitter.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <random>

namespace {
using Codes = std::vector<uint8_t>;

Codes Cat(std::initializer_list<Codes> parts) {
    Codes all;
    for (const Codes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Codes of a text as the exchange sends it (no leading 0: the receiver
// starts in the Latin register).
Codes Text(const QString& text) {
    LineCodeState st;
    uint8_t buf[4096];
    const int n = EncodeCodes(st, text, buf, int(sizeof buf));
    return Codes(buf + 1, buf + n);
}

// A call frame from literal nibbles (header and mark included).
Codes Frame(const Codes& nibbles) {
    Codes f = {11, 11, 11, uint8_t(nibbles[3] == 1 ? 17 : 1)};
    for (size_t i = 4; i < nibbles.size(); ++i)
        f.push_back(LineCode::CodeOfNibble(nibbles[i]));
    return f;
}

struct Out : ReceiveSplitter::Output {
    QString text;
    std::vector<Codes> starts, ends, data;
    QStringList captured;
    int decoded = 0, headers = 0;
    void Text(const QString& t) override { text += t; }
    void Decoded() override { ++decoded; }
    void DataHeader() override { ++headers; }
    void DataFrame(const uint8_t* p, int n) override { data.emplace_back(p, p + n); }
    void CallStart(const CallStartNibbles& n) override { starts.emplace_back(n.begin(), n.end()); }
    void CallEnd(const CallEndNibbles& n) override { ends.emplace_back(n.begin(), n.end()); }
    void Captured(const QString& v) override { captured << v; }
};

class Splitter : public ::testing::Test {
protected:
    void SetUp() override { Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 0))); }
    void TearDown() override { Clock::SetTestTime(QDateTime()); }
    void Feed(const Codes& c) { rx.Feed(c.data(), int(c.size())); }

    Out out;
    ReceiveSplitter rx{out};
};

const Codes kEnd = {10, 10, 10, 0, 3, 1, 4, 1, 5, 9, 2, 6, 0, 0, 0, 0};
} // namespace

TEST_F(Splitter, TrailingElevenOrFourteenHoldsTheReadUntilTheNext) {
    Feed(Text(QStringLiteral("12:")));
    EXPECT_EQ(out.text, QString());
    EXPECT_GT(rx.HeldCount(), 0);
    Feed({1, 22}); // "30", still in the figures register
    EXPECT_EQ(out.text, QStringLiteral("12:30"));
    EXPECT_EQ(rx.HeldCount(), 0);
    EXPECT_GT(out.decoded, 0);
}

TEST_F(Splitter, CallFramesAreCutOutInStreamOrderAcrossReads) {
    const Codes stream =
        Cat({Text(QStringLiteral("ОТБОЙ")), Frame(kEnd), Text(QStringLiteral("_СТОП"))});
    const size_t cut = Text(QStringLiteral("ОТБОЙ")).size() + 7;
    Feed(Codes(stream.begin(), stream.begin() + long(cut)));
    EXPECT_TRUE(out.ends.empty());
    EXPECT_EQ(out.text, QString()); // the text before the frame waits with it
    Feed(Codes(stream.begin() + long(cut), stream.end()));
    ASSERT_EQ(out.ends.size(), 1u);
    EXPECT_EQ(out.ends[0], kEnd);
    EXPECT_EQ(out.text, QStringLiteral("ОТБОЙ_СТОП")); // Й right before the header is text

    // Start and end in one read, text between them shown once; a header
    // closed up by a cut frame is found too.
    out = Out();
    Codes start(28, 0);
    start[0] = start[1] = start[2] = 10;
    start[3] = 1;
    start[4] = 7;
    Codes outer = Frame(kEnd);
    Feed(Cat({{LineCode::kLatin},
              Text(QStringLiteral("A")),
              Frame(start),
              Text(QStringLiteral("B")),
              {11},
              Frame(kEnd),
              Codes(outer.begin() + 1, outer.end()),
              Text(QStringLiteral("D"))}));
    ASSERT_EQ(out.starts.size(), 1u);
    EXPECT_EQ(out.starts[0], start);
    EXPECT_EQ(out.ends.size(), 2u);
    EXPECT_EQ(out.text, QStringLiteral("ABD"));
    EXPECT_EQ(rx.HeldCount(), 0);
}

TEST_F(Splitter, DataFramesOnlyWhileExpectedAndTheTextAroundIsDropped) {
    Feed({27, 14, 14, 14, 4});
    EXPECT_EQ(out.text, QStringLiteral(":::_"));

    out.text.clear();
    rx.ExpectFrames(3 + 4);
    const Codes frame = {14, 14, 14, 2, 4, 6, 8};
    Feed(Cat({Text(QStringLiteral("ШУМ")), Codes(frame.begin(), frame.begin() + 5)}));
    EXPECT_TRUE(out.data.empty());
    EXPECT_FALSE(rx.LineReady());
    EXPECT_GE(out.headers, 1);
    Feed(Cat({Codes(frame.begin() + 5, frame.end()), Text(QStringLiteral("ШУМ"))}));
    ASSERT_EQ(out.data.size(), 1u);
    EXPECT_EQ(out.data[0], (Codes{2, 4, 6, 8}));
    EXPECT_EQ(out.text, QString());
    EXPECT_EQ(rx.HeldCount(), 0);

    // The dropped text still moved the register: after the frames, figures.
    rx.StopFrames();
    Feed({27, 1});
    EXPECT_EQ(out.text, QStringLiteral("3"));
}

TEST_F(Splitter, CaptureCompletedByALaterReadCutsPrefixAndValue) {
    rx.StartCapture(QStringLiteral("ЗНАКИ_"), 4);
    Feed(Text(QStringLiteral("ПАМЯТЬ_ЗНАКИ_12")));
    EXPECT_TRUE(rx.CapturePending());
    EXPECT_EQ(out.text, QString());
    // The second read goes on in the figures register the first one left.
    Feed(Cat({{22, 17}, {4}, Text(QStringLiteral("СТОП"))}));
    EXPECT_FALSE(rx.CapturePending());
    EXPECT_EQ(out.captured, QStringList{QStringLiteral("120+")});
    EXPECT_EQ(out.text, QStringLiteral("ПАМЯТЬ__СТОП"));
    EXPECT_EQ(rx.HeldCount(), 0);
    // The register in force after the capture is the one the text left.
    Feed({1});
    EXPECT_EQ(out.text, QStringLiteral("ПАМЯТЬ__СТОПЕ"));

    // A capture given up shows what it held at once.
    out.text.clear();
    rx.StartCapture(QStringLiteral("НЕТ"), 2);
    Feed(Text(QStringLiteral("ПРИВЕТ")));
    EXPECT_EQ(out.text, QString());
    rx.StopCapture();
    EXPECT_EQ(out.text, QStringLiteral("ПРИВЕТ"));
}

TEST_F(Splitter, FullBufferFlushesItsOldestCodesAsTextAndLosesNothing) {
    // Every read ends with 11 or 14, so the hold rule shows nothing; then a
    // capture that never matches holds the rest.
    std::mt19937 rng(7);
    Codes all;
    for (int read = 0; read < 70; ++read) {
        Codes chunk;
        static const uint8_t kLetters[] = {5, 7, 9, 13, 15, 19, 21, 23}; // no frame can start
        for (int i = 0; i < 997; ++i)
            chunk.push_back(kLetters[rng() % 8]);
        if (read < 35) chunk.push_back(read % 2 ? 14 : 11);
        if (read == 35) rx.StartCapture(QStringLiteral("НИКОГДА"), 3);
        Feed(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
        ASSERT_LE(rx.HeldCount(), ReceiveSplitter::kCapacity);
    }
    rx.StopCapture();
    rx.Flush();
    LineCodeState st;
    EXPECT_EQ(out.text, DecodeCodes(st, all.data(), int(all.size()), [] { return GetDateTime(); }));
}
