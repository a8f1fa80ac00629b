// The receive parser: frames cut out of the code stream, text to the roll and
// the roll view, the capture, the request timers and the roll view redirect.
#include "TestSupport.h"

#include "link/AppState.h"
#include "link/Ats.h"
#include "link/Notation.h"
#include "link/RollView.h"
#include "platform/Clock.h"
#include "platform/Codec.h"
#include "platform/ProgramLog.h"
#include "tariff/ReceiveParser.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>
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

// Line codes of a text as the exchange would send it (no leading 0; the
// receiver starts in the Latin register, as the encoder assumes).
Codes Text(const QString& text) {
    LineCodeState st;
    uint8_t buf[4096];
    const int n = EncodeCodes(st, text, buf, int(sizeof buf));
    return Codes(buf + 1, buf + n);
}

Codes CallFrame(bool start, const std::vector<uint8_t>& nibbles) {
    Codes f = {11, 11, 11, uint8_t(start ? 17 : 1)};
    for (uint8_t n : nibbles)
        f.push_back(LineCode::CodeOfNibble(n));
    f.resize(start ? 28 : 16, LineCode::CodeOfNibble(0));
    return f;
}

Codes DataFrame(const Codes& payloadCodes) {
    return Cat({{14, 14, 14}, payloadCodes});
}

struct StatusList : IConsole {
    QStringList lines;
    QStringList panels;
    void AddStatus(const QString& line) override { lines << line; }
    void SetPanelText(int panel, const QString& text) override {
        panels << QString::number(panel) + text;
    }
};

struct Call {
    QString ats;
    bool start;
    std::vector<uint8_t> nibbles;
    bool operator==(const Call&) const = default;
};

struct CallRecorder : ICallSink {
    std::vector<Call> calls;
    void OnCallStart(TAts& ats, const std::array<uint8_t, 28>& n) override {
        calls.push_back({ats.Key, true, {n.begin(), n.end()}});
    }
    void OnCallEnd(TAts& ats, const std::array<uint8_t, 16>& n) override {
        calls.push_back({ats.Key, false, {n.begin(), n.end()}});
    }
};

// Stands for a statistics object: keeps each block it is given.
class BlockRecorder : public TAts {
public:
    BlockRecorder(AppState& app, int payload) : TAts(app, 1, nullptr), m_payload(payload) {}
    void Parse(uint8_t* data, int step) override {
        blocks.emplace_back(data, data + m_payload);
        steps.push_back(step);
    }
    std::vector<Codes> blocks;
    std::vector<int> steps;

private:
    int m_payload;
};

const QString kStamp = QStringLiteral("9,05|05,12,26|");

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::SetTestTime(QDateTime(QDate(2026, 12, 5), QTime(9, 5, 0)));
        SetLogDir(env.Dir());
        app.CurDir = env.Dir();
        app.RollDir = env.Dir() + QLatin1Char('/');
        app.Console = &status;
        app.Calls = &calls;
        app.View = &view;
        app.Receiver = &parser;
        for (int n = 1; n <= 2; ++n) {
            memos.push_back(std::make_unique<QPlainTextEdit>());
            TAtsControls c;
            c.Memo = memos.back().get();
            ats.push_back(std::make_unique<TAts>(app, n, &c));
            app.Ats[size_t(n - 1)] = ats.back().get();
        }
        app.CurrentAts = ats[0].get();
        app.CurrentAtsNumber = 1;
        parser.AttachRollView(&view);
        parser.AskNoAnswer = [this] {
            ++asked;
            return answer;
        };
    }
    void TearDown() override {
        ats.clear();
        Clock::SetTestTime(QDateTime());
        SetLogDir(QString());
    }
    TAts& A(int n = 1) { return *ats[size_t(n - 1)]; }
    void Feed(const Codes& codes, int n = 1) {
        TAts& a = A(n);
        std::copy(codes.begin(), codes.end(), a.RawRx.begin());
        a.RxCount = int(codes.size());
        parser.ReceiveParser(a);
    }
    QString Roll(int n = 1) {
        QFile f(A(n).RollFileName);
        return f.open(QIODevice::ReadOnly) ? Codec::FromCp1251(f.readAll()) : QString();
    }

    TestEnv env;
    AppState app;
    StatusList status;
    CallRecorder calls;
    RollView view;
    TReceive parser{app};
    std::vector<std::unique_ptr<QPlainTextEdit>> memos;
    std::vector<std::unique_ptr<TAts>> ats;
    int asked = 0;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
};
} // namespace

TEST_F(ParserTest, TrailingElevenOrFourteenHoldsTheReadUntilTheNext) {
    Feed(Text(QStringLiteral("12:")));
    EXPECT_EQ(Roll(), QString());
    EXPECT_EQ(view.Text(), QString());
    EXPECT_GT(A().RxTextLen, 0);
    Feed({1, 22}); // "30", still in the figures register
    EXPECT_EQ(Roll(), QStringLiteral("12:30"));
    EXPECT_EQ(view.Text(), QStringLiteral("12:30"));
    EXPECT_EQ(A().RxTextLen, 0);
    EXPECT_TRUE(status.panels.contains(QStringLiteral("2Прием")));
}

TEST_F(ParserTest, CallEndFrameSplitOverTwoReadsIsCaughtByTheSecond) {
    const Codes frame = CallFrame(false, {3, 1, 4, 1, 5, 9, 2, 6});
    const Codes stream = Cat({Text(QStringLiteral("ОТБОЙ")), frame, Text(QStringLiteral("_СТОП"))});
    const size_t cut = Text(QStringLiteral("ОТБОЙ")).size() + 7;
    Feed(Codes(stream.begin(), stream.begin() + long(cut)));
    EXPECT_TRUE(calls.calls.empty());
    EXPECT_EQ(Roll(), QString()); // the text before the frame waits with it
    Feed(Codes(stream.begin() + long(cut), stream.end()));
    ASSERT_EQ(calls.calls.size(), 1u);
    EXPECT_FALSE(calls.calls[0].start);
    EXPECT_EQ(calls.calls[0].nibbles,
              (std::vector<uint8_t>{10, 10, 10, 0, 3, 1, 4, 1, 5, 9, 2, 6, 0, 0, 0, 0}));
    EXPECT_EQ(Roll(), QStringLiteral("ОТБОЙ_СТОП")); // Й right before the header is text
}

TEST_F(ParserTest, TwoCallFramesInOneReadGoInStreamOrderAndTextShowsOnce) {
    const Codes start = CallFrame(true, {1, 2, 3});
    const Codes end = CallFrame(false, {4, 5, 6});
    Feed(Cat({Text(QStringLiteral("A")), start, Text(QStringLiteral("B")), end,
              Text(QStringLiteral("D"))}));
    ASSERT_EQ(calls.calls.size(), 2u);
    EXPECT_TRUE(calls.calls[0].start);
    EXPECT_EQ(calls.calls[0].nibbles.size(), 28u);
    EXPECT_EQ(
        (std::vector<uint8_t>(calls.calls[0].nibbles.begin(), calls.calls[0].nibbles.begin() + 7)),
        (std::vector<uint8_t>{10, 10, 10, 1, 1, 2, 3}));
    EXPECT_FALSE(calls.calls[1].start);
    EXPECT_EQ(calls.calls[1].nibbles[4], 4);
    EXPECT_EQ(Roll(), QStringLiteral("ABD"));
    EXPECT_EQ(view.Text(), QStringLiteral("ABD"));
}

TEST_F(ParserTest, HeaderClosedUpByACutFrameIsFoundToo) {
    // 11 | frame | 11,11,1,... : once the frame is out, the codes on both
    // sides of it make a second header.
    const Codes inner = CallFrame(false, {7});
    Codes outer = CallFrame(false, {8});
    Feed(Cat({{11}, inner, Codes(outer.begin() + 1, outer.end())}));
    ASSERT_EQ(calls.calls.size(), 2u);
    EXPECT_EQ(calls.calls[0].nibbles[4], 7);
    EXPECT_EQ(calls.calls[1].nibbles[4], 8);
    EXPECT_EQ(A().RxTextLen, 0);
}

TEST_F(ParserTest, DataHeaderIsTextWhileNoFramesAreExpected) {
    Feed({27, 14, 14, 14, 4});
    EXPECT_EQ(Roll(), QStringLiteral(":::_"));
}

TEST_F(ParserTest, DataFramesGoToTheCurrentParserAndTheTextAroundIsDropped) {
    BlockRecorder stats(app, 4);
    app.CurrentParser = &stats;
    TAts& a = A();
    a.FramesExpected = true;
    a.FrameLen = 3 + 4;
    a.DataCount = 7;
    const Codes payload = {LineCode::CodeOfNibble(1), LineCode::CodeOfNibble(0xA),
                           LineCode::CodeOfNibble(0xF), LineCode::CodeOfNibble(0)};
    Feed(Cat({Text(QStringLiteral("ШУМ")), DataFrame(payload), Text(QStringLiteral("ШУМ"))}));
    ASSERT_EQ(stats.blocks.size(), 1u);
    EXPECT_EQ(stats.blocks[0], (Codes{1, 0xA, 0xF, 0}));
    EXPECT_EQ(stats.steps[0], 7);
    EXPECT_EQ(Roll(), QString());
    EXPECT_EQ(a.RxTextLen, 0);
    EXPECT_TRUE(parser.TimerWeStillGetIt->isActive());

    // Bit mode: bits 1..4 of each payload code, one per byte.
    stats.blocks.clear();
    a.BitMode = true;
    Feed(DataFrame({0b10110, 0b00011, 0, 0}));
    ASSERT_EQ(stats.blocks.size(), 1u);
    EXPECT_EQ(stats.blocks[0], (Codes{1, 1, 0, 1}));
    EXPECT_EQ(Codes(a.Data.begin() + 4, a.Data.begin() + 8), (Codes{1, 0, 0, 0}));

    // Once the consumer has what it asked for, frames no longer reach it.
    a.FrameDone = true;
    Feed(DataFrame(payload));
    EXPECT_EQ(stats.blocks.size(), 1u);
}

TEST_F(ParserTest, DataFrameSplitAcrossReadsWaitsForItsLength) {
    BlockRecorder stats(app, 6);
    app.CurrentParser = &stats;
    A().FramesExpected = true;
    A().FrameLen = 9;
    const Codes frame = DataFrame({2, 4, 6, 8, 10, 12});
    Feed(Codes(frame.begin(), frame.begin() + 5));
    EXPECT_TRUE(stats.blocks.empty());
    EXPECT_FALSE(A().LineReady);
    Feed(Codes(frame.begin() + 5, frame.end()));
    ASSERT_EQ(stats.blocks.size(), 1u);
    EXPECT_EQ(stats.blocks[0], (Codes{8, 4, 12, 2, 10, 6}));
}

TEST_F(ParserTest, ProgressWindowFlashesOnEachDataFrame) {
    std::vector<QColor> colours;
    parser.ProgressVisible = [] { return true; };
    parser.SetProgressPanelColor = [&](const QColor& c) { colours.push_back(c); };
    A().FramesExpected = true;
    A().FrameLen = 4;
    Feed(DataFrame({2}));
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.back(), QColor(0, 255, 0));
    EXPECT_TRUE(parser.TimerReceiveData->isActive());
    parser.TimerReceiveDataTimer();
    EXPECT_EQ(colours.back(), QApplication::palette().color(QPalette::Button));
    EXPECT_FALSE(parser.TimerReceiveData->isActive());
}

TEST_F(ParserTest, CaptureCompletedByALaterReadCutsPrefixAndValue) {
    TAts& a = A();
    a.AwaitedPrefix = QStringLiteral("ЗНАКИ_");
    a.CaptureLength = 4;
    a.CapturePending = true;
    Feed(Text(QStringLiteral("ПАМЯТЬ_ЗНАКИ_12")));
    EXPECT_TRUE(a.CapturePending);
    EXPECT_EQ(Roll(), QString());
    // The second read goes on in the figures register the first one left.
    Feed(Cat({{22, 17}, {4}, Text(QStringLiteral("СТОП"))}));
    EXPECT_FALSE(a.CapturePending);
    EXPECT_EQ(a.CapturedValue, QStringLiteral("120+"));
    EXPECT_EQ(Roll(), QStringLiteral("ПАМЯТЬ__СТОП"));
    EXPECT_EQ(a.RxTextLen, 0);

    // The register in force after the capture is the one the text left.
    Feed({1});
    EXPECT_EQ(Roll(), QStringLiteral("ПАМЯТЬ__СТОПЕ"));
}

TEST_F(ParserTest, CaptureThatGivesUpShowsWhatItHeld) {
    TAts& a = A();
    a.AwaitedPrefix = QStringLiteral("НЕТ");
    a.CaptureLength = 2;
    a.CapturePending = true;
    Feed(Text(QStringLiteral("ПРИВЕТ")));
    EXPECT_EQ(Roll(), QString());
    parser.SendRequest(a, QStringLiteral("РЯ_1-"));
    for (int i = 0; i < 101 && a.CapturePending; ++i)
        parser.TimerStatTimer();
    EXPECT_FALSE(a.CapturePending);
    EXPECT_FALSE(parser.TimerStat->isActive());
    EXPECT_EQ(Roll(), QStringLiteral("ПРИВЕТ"));
}

TEST_F(ParserTest, OtherExchangesTextGoesOnlyToItsRoll) {
    Feed(Text(QStringLiteral("ВТОРАЯ")), 2);
    EXPECT_EQ(Roll(2), QStringLiteral("ВТОРАЯ"));
    EXPECT_EQ(view.Text(), QString());
    Feed(Text(QStringLiteral("ПЕРВАЯ")), 1);
    EXPECT_EQ(view.Text(), QStringLiteral("ПЕРВАЯ"));
}

TEST_F(ParserTest, RollViewFocusRedirectsTextToTheHiddenList) {
    Feed(Text(QStringLiteral("ДО")));
    parser.RollViewEnter();
    EXPECT_TRUE(A().RedirectText);
    EXPECT_FALSE(view.AutoScroll());
    Feed(Cat({{8, 2}, Text(QStringLiteral("ВО_ВРЕМЯ"))}));
    EXPECT_EQ(view.Text(), QStringLiteral("ДО"));
    EXPECT_EQ(memos[0]->toPlainText(),
              QStringLiteral("\n") + kStamp + QStringLiteral("  ВО_ВРЕМЯ"));
    parser.RollViewExit();
    EXPECT_FALSE(A().RedirectText);
    EXPECT_TRUE(view.AutoScroll());
    EXPECT_EQ(view.Text(), QStringLiteral("ДО\n") + kStamp + QStringLiteral("  ВО_ВРЕМЯ"));
    EXPECT_TRUE(memos[0]->toPlainText().isEmpty());
    EXPECT_TRUE(Roll().endsWith(QStringLiteral("ВО_ВРЕМЯ")));
}

TEST_F(ParserTest, RollWriteFailureSaysCantWriteAndStillShows) {
    QFile blocker(env.Path(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    A().RollFile.close();
    A().RollFileName = env.Path(QStringLiteral("not-a-folder/Varnel1.rul"));
    Feed(Text(QStringLiteral("ТЕКСТ")));
    EXPECT_EQ(status.lines, QStringList{QStringLiteral("Cant Write")});
    EXPECT_EQ(view.Text(), QStringLiteral("ТЕКСТ"));
    EXPECT_EQ(A().RxTextLen, 0);
}

TEST_F(ParserTest, FullBufferFlushesItsOldestCodesAsText) {
    // Every read ends with 14, so nothing is ever shown by the hold rule; and
    // a capture that never matches holds the rest. Nothing may be lost.
    std::mt19937 rng(7);
    Codes all;
    TAts& a = A();
    a.AwaitedPrefix = QStringLiteral("НИКОГДА");
    a.CaptureLength = 3;
    for (int read = 0; read < 70; ++read) {
        Codes chunk;
        static const uint8_t kLetters[] = {5, 7, 9, 13, 15, 19, 21, 23}; // no frame can start
        for (int i = 0; i < 997; ++i)
            chunk.push_back(kLetters[rng() % 8]);
        // First held by a trailing 11 or 14, then by a capture.
        if (read < 35) chunk.push_back(read % 2 ? 14 : 11);
        a.CapturePending = read >= 35;
        Feed(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
        ASSERT_LE(a.RxTextLen, TReceive::kRxTextSize);
    }
    a.CapturePending = false;
    parser.FlushHeld(a);
    LineCodeState st;
    EXPECT_EQ(Roll(), DecodeCodes(st, all.data(), int(all.size()), [] { return GetDateTime(); }));
}

TEST_F(ParserTest, SendRequestArmsTheTimersAndTheWatchdogAsks) {
    TAts& a = A();
    a.AnswerTicks = 55;
    app.RequestPending = true;
    parser.SendRequest(a, QStringLiteral("ТО_8,1,2,10,,1-"));
    EXPECT_EQ(a.AnswerTicks, 0);
    EXPECT_TRUE(parser.TimerStat->isActive());
    EXPECT_TRUE(parser.TimerWeStillDontGet->isActive());
    EXPECT_EQ(app.LastRequest, QStringLiteral("ТО_8,1,2,10,,1-"));
    EXPECT_GT(a.OutQueueLen, 0); // queued (the port is closed; no roll echo)
    EXPECT_EQ(Roll(), QString());

    answer = QMessageBox::Cancel;
    parser.TimerWeStillDontGetTimer();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(parser.TimerWeStillDontGet->isActive());
    EXPECT_FALSE(app.AbortRequest);

    answer = QMessageBox::Retry;
    const int queued = a.OutQueueLen;
    parser.TimerWeStillDontGetTimer();
    EXPECT_GT(a.OutQueueLen, queued); // sent again
    EXPECT_TRUE(parser.TimerWeStillDontGet->isActive());

    answer = QMessageBox::Abort;
    parser.TimerWeStillDontGetTimer();
    EXPECT_TRUE(app.AbortRequest);

    a.PaceTimer->stop();
}

TEST_F(ParserTest, ContinuationSpacesFromTheThirdFrameUnlessSuppressed) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    pty.MapToPort(1);
    QCheckBox box;
    TAtsControls c;
    c.CheckBoxPort = &box;
    TAts line(app, 1, &c);
    box.click();
    ASSERT_TRUE(line.PortIsOpen());
    ASSERT_EQ(pty.ReadMaster(1, 2000), Codes{4});
    line.FramesExpected = true;
    line.FrameLen = 4;
    for (int counter : {0, 1, 2, 3}) {
        line.FrameCounter = counter;
        line.NoContinue = counter == 3;
        std::copy_n(Codes{14, 14, 14, 2}.begin(), 4, line.RawRx.begin());
        line.RxCount = 4;
        parser.ReceiveParser(line);
        const Codes sent = pty.ReadMaster(3, counter == 2 ? 2000 : 100);
        EXPECT_EQ(sent, (counter == 2 ? Codes{4, 4, 4} : Codes{})) << "FrameCounter " << counter;
    }
}
